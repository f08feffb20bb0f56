#pragma once
// The texture target lists a device package can be made for (export-package, request 49).
#include <string>
#include <vector>

// Why the targets cannot be served by one package, empty when they can: "atc" together with "pvrtc" or
// "ios" (an ATC texture is made by our codec library, a PVRTC one by PVRTexTool, and one compiled texture
// cannot be both). The names are lower-case, as ParseTextureTargetList gives them.
std::string RefusedTextureTargets(const std::vector<std::string>& targets);
