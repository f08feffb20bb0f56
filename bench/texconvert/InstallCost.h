#pragma once
// What compiling textures on install costs: "installfrompath" of one asset holding textures, the same install
// without its texture descriptions (the pictures stay), and "compresstexture" of the same folder alone, in
// interleaved rounds in one installation of the given stage. Prints the figures and returns the median
// install with textures over the sum of the other two medians.
#include <filesystem>
#include <string>
#include <vector>

double MeasureInstallCost(const std::filesystem::path& stageBin, const std::filesystem::path& base,
                          const std::vector<std::string>& images, size_t textures, int rounds);
