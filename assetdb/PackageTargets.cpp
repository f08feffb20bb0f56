#include "assetdb/PackageTargets.h"

#include <algorithm>

std::string RefusedTextureTargets(const std::vector<std::string>& targets)
{
    auto has = [&](const char* name) { return std::find(targets.begin(), targets.end(), name) != targets.end(); };
    if (!has("atc") || !(has("pvrtc") || has("ios"))) return {};
    return std::string("The texture targets \"atc\" and \"") + (has("pvrtc") ? "pvrtc" : "ios") +
           "\" cannot be served by one package: a texture is either ATC or PVRTC. Export a package for each.";
}

std::string DevicePackageName(std::string_view packagePath)
{
    std::string name(packagePath);
    while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    if (const size_t cut = name.find_last_of("/\\"); cut != std::string::npos) name = name.substr(cut + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cdp") == 0) name.resize(name.size() - 4);
    return name;
}
