#pragma once
// The download station's local mirror: a folder named by the setting "internet"/"dls-mirror" holding
// "index.txt" and "packages/*.cdp".
//
// index.txt:   assets { 0 { kuid <kuid2:u:c:v>  package "name.cdp" } 1 { ... } }
#include "core/KUID.h"

#include <string>

class AssetDatabase;

// The mirror folder (absolute, existing); empty when none is set.
std::string MirrorFolder(AssetDatabase& db);
// The newest version of an asset the mirror lists, and its package file name.
bool FindInMirror(const std::string& mirror, const KUID& k, KUID& latest, std::string& package);
// Tells the database which assets the station lists (read again only when the setting or the index
// changed).
void RefreshStationListing(AssetDatabase& db);
