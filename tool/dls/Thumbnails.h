#pragma once
// Thumbnails for the download station: always JPEG files, written as any file the user names is written
// (tool/dls/AssetArchive.h, WriteExportFile).
#include "engine/FilePath.h"
#include "engine/String.h"
#include "tool/dls/AssetArchive.h"

#include <cstdint>
#include <string_view>

// Thumbnails larger than this are refused rather than read.
constexpr uint64_t kMaxThumbnailBytes = uint64_t(64) << 20;

// True for data that begins as a JPEG file does.
bool IsJPEGData(std::string_view bytes);

// Writes the image data as a JPEG file at `target`: JPEG data as it is, any other image converted. `name` names
// the source in messages. A target that is one of `kept` is refused. False with the reason when the data is not an
// image or the file cannot be written; the target is then left as it was.
// `written`, when given, gets the file written.
bool WriteJPEGThumbnail(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason, const ExportKeptFiles& kept = {},
                        Platform::FileIdentity* written = nullptr);
// The same from an image file (only a regular file is read); a target that is that file is refused too.
bool WriteJPEGThumbnailFromFile(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& reason,
                                ExportKeptFiles kept = {}, Platform::FileIdentity* written = nullptr);
