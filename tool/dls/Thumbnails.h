#pragma once
// Thumbnails for the download station: always JPEG files, written whole.
#include "engine/FilePath.h"
#include "engine/String.h"

#include <cstdint>
#include <string_view>

// Thumbnails larger than this are refused rather than read.
constexpr uint64_t kMaxThumbnailBytes = uint64_t(64) << 20;

// True for data that begins as a JPEG file does.
bool IsJPEGData(std::string_view bytes);

// Writes the image data as a JPEG file at `target`: JPEG data as it is, any other image converted.
// `name` names the source in messages. False with the reason when the data is not an image or the file
// cannot be written; the target is then left as it was.
bool WriteJPEGThumbnail(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason);
// The same from an image file.
bool WriteJPEGThumbnailFromFile(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& reason);

// Decodes an image (PNG, BMP, TGA, JPEG) and writes it as a JPEG file at `target`. False with the reason
// when the data is not an image or the file cannot be written.
bool ConvertImageToJPEG(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason);
