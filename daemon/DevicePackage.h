#pragma once
// What a device package holds. export-package makes, in UserData/packages/<name>/, each asset's device copy
// "<spaced KUID>/": its files with every texture description compiled for the package's targets (the
// compiled "x.texture" beside "x.texture.txt"), without the pictures those descriptions were compiled from
// (a picture the configuration names itself stays); "<name>.cdp", the archive of the device copies; and
// "package.txt", the package's name, targets, dependencies and assets. A package for other targets holds
// other compiled textures.
#include "core/KUID.h"
#include "daemon/DaemonResults.h"

#include <string>
#include <vector>

// Removes from a device copy whose descriptions are all compiled the pictures they were compiled from.
// False, with the reason in the results, when a picture could not be removed.
bool LeaveOutCompiledPictures(const std::string& copy, const KUID& kuid, DaemonResults* results);
