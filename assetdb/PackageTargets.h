#pragma once
// What a device package is made for and named (export-package, request 49).
#include <string>
#include <string_view>
#include <vector>

// The name of the package made for the package path given: its last part (after '/' or '\\', trailing ones
// dropped) without a ".cdp" ending. The package's files are made in UserData/packages/<name>/ as "<name>.cdp"
// and "package.txt", whatever folder the path names.
std::string DevicePackageName(std::string_view packagePath);

// Why the targets cannot be served by one package, empty when they can: "atc" together with "pvrtc" or
// "ios" (an ATC texture is made by our codec library, a PVRTC one by PVRTexTool, and one compiled texture
// cannot be both). The names are lower-case, as ParseTextureTargetList gives them.
std::string RefusedTextureTargets(const std::vector<std::string>& targets);
