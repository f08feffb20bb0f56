#pragma once
// The benchmark's corpus: PNG images read with libpng into RGBA, cropped to whole 4 x 4 blocks.
#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage
{
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // rows packed, 4 bytes per pixel: red, green, blue, alpha
};

// Reads one PNG; false when the file is not a readable PNG.
bool ReadPng(const std::string& path, RgbaImage& image);

// Reads every PNG named in the list file (one path per line) or found below a directory, in name order,
// crops each to a multiple of 4 in both directions and drops images smaller than one block. Stops adding
// images once maxPixels is reached (0: no limit).
std::vector<RgbaImage> LoadCorpus(const std::vector<std::string>& sources, uint64_t maxPixels);

// One image of the given size filled with the corpus images side by side, row after row.
RgbaImage MakeAtlas(const std::vector<RgbaImage>& corpus, int width, int height);
