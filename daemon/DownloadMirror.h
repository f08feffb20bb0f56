#pragma once
// The download station's local mirror: a folder named by the setting "internet"/"dls-mirror" holding
// "index.txt" and "packages/*.cdp".
//
// index.txt:   assets { 0 { kuid <kuid2:u:c:v>  package "name.cdp" } 1 { ... } }
#include "core/KUID.h"

#include <string>

class AssetDatabase;

// Opens the package file `name` of the mirror for reading: only a regular file directly in the mirror's
// "packages" folder, reached without following a link (neither the folder nor the file may be one).
// -1 when there is no such file.
int OpenMirrorPackage(const std::string& mirror, const std::string& name);
// The newest version of an asset the mirror lists, and its package file name.
bool FindInMirror(const std::string& mirror, const KUID& k, KUID& latest, std::string& package);
// Tells the database which assets the station lists (read again only when the setting or the index
// changed). `mirror` gets the mirror folder it went by (its real path; empty when none is set or it is no
// folder). False when the setting could not be read: the listing stays as it was.
bool RefreshStationListing(AssetDatabase& db, std::string& mirror);
bool RefreshStationListing(AssetDatabase& db);
