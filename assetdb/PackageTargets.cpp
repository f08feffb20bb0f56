#include "assetdb/PackageTargets.h"

#include <algorithm>

std::string RefusedTextureTargets(const std::vector<std::string>& targets)
{
    auto has = [&](const char* name) { return std::find(targets.begin(), targets.end(), name) != targets.end(); };
    if (!has("atc") || !(has("pvrtc") || has("ios"))) return {};
    return std::string("The texture targets \"atc\" and \"") + (has("pvrtc") ? "pvrtc" : "ios") +
           "\" cannot be served by one package: a texture is either ATC or PVRTC. Export a package for each.";
}
