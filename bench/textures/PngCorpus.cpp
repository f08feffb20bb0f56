#include "bench/textures/PngCorpus.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

bool ReadPng(const std::string& path, RgbaImage& image)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    if (png.width == 0 || png.height == 0 || png.width > 16384 || png.height > 16384)
    {
        png_image_free(&png);
        return false;
    }
    image.name = path;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr))
    {
        png_image_free(&png);
        return false;
    }
    return true;
}

namespace {

void CropToBlocks(RgbaImage& image)
{
    const int w = image.width / 4 * 4, h = image.height / 4 * 4;
    if (w == image.width && h == image.height) return;
    std::vector<uint8_t> cropped(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        std::memcpy(&cropped[static_cast<size_t>(y) * w * 4], &image.rgba[static_cast<size_t>(y) * image.width * 4],
                    static_cast<size_t>(w) * 4);
    image.rgba.swap(cropped);
    image.width = w;
    image.height = h;
}

}  // namespace

std::vector<RgbaImage> LoadCorpus(const std::vector<std::string>& sources, uint64_t maxPixels)
{
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    for (const std::string& source : sources)
    {
        std::error_code ec;
        if (fs::is_directory(source, ec))
        {
            for (const auto& entry : fs::recursive_directory_iterator(source, ec))
                if (entry.is_regular_file() && entry.path().extension() == ".png") paths.push_back(entry.path());
        }
        else if (source.size() > 4 && source.compare(source.size() - 4, 4, ".png") == 0)
        {
            paths.push_back(source);
        }
        else
        {
            std::ifstream list(source);
            for (std::string line; std::getline(list, line);)
                if (line.size() > 4 && line.compare(line.size() - 4, 4, ".png") == 0) paths.push_back(line);
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());

    std::vector<RgbaImage> corpus;
    uint64_t pixels = 0;
    for (const std::string& path : paths)
    {
        if (maxPixels != 0 && pixels >= maxPixels) break;
        RgbaImage image;
        if (!ReadPng(path, image)) continue;
        CropToBlocks(image);
        if (image.width < 4 || image.height < 4) continue;
        pixels += static_cast<uint64_t>(image.width) * image.height;
        corpus.push_back(std::move(image));
    }
    return corpus;
}

RgbaImage MakeAtlas(const std::vector<RgbaImage>& corpus, int width, int height)
{
    RgbaImage atlas;
    atlas.name = "atlas";
    atlas.width = width;
    atlas.height = height;
    atlas.rgba.assign(static_cast<size_t>(width) * height * 4, 255);
    if (corpus.empty()) return atlas;
    int x = 0, y = 0, shelf = 0;
    for (size_t n = 0; y < height; n = (n + 1) % corpus.size())
    {
        const RgbaImage& img = corpus[n];
        if (x > 0 && x + img.width > width)
        {
            x = 0;
            y += shelf;
            shelf = 0;
            if (y >= height) break;
        }
        const int w = std::min(img.width, width - x), h = std::min(img.height, height - y);
        for (int row = 0; row < h; ++row)
            std::memcpy(&atlas.rgba[(static_cast<size_t>(y + row) * width + x) * 4],
                        &img.rgba[static_cast<size_t>(row) * img.width * 4], static_cast<size_t>(w) * 4);
        x += w;
        shelf = std::max(shelf, h);
    }
    return atlas;
}
