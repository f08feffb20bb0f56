#include "tool/dls/Thumbnails.h"

#include "engine/Bitmap.h"
#include "engine/File.h"
#include "platform/RegularFile.h"

#include <memory>

bool IsJPEGData(std::string_view bytes)
{
    return bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
           static_cast<uint8_t>(bytes[2]) == 0xFF;
}

bool WriteJPEGThumbnail(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason, const ExportKeptFiles& kept, Platform::FileIdentity* written)
{
    if (IsJPEGData(bytes)) return WriteExportFile(target, bytes, kept, "thumbnail", reason, written);
    std::unique_ptr<Orvo::Bitmap> image =
        Orvo::Bitmap::LoadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), name, reason);
    std::string jpeg;
    // The ".jpg" of the target chooses the JPEG encoder.
    return image && image->Encode(target.View(), jpeg, &reason) &&
           WriteExportFile(target, jpeg, kept, "thumbnail", reason, written);
}

bool WriteJPEGThumbnailFromFile(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& reason,
                                ExportKeptFiles kept, Platform::FileIdentity* written)
{
    std::string path, bytes;
    ExportKeptFile picture{{}, "the picture it is made from"};
    if (!Orvo::File::Resolve(source.View(), path) ||
        Platform::ReadRegularFile(path, kMaxThumbnailBytes, bytes, &picture.file) != Platform::RegularFileStatus::kOK)
    {
        reason = Orvo::String::Format("Unable to read the thumbnail '%s'.", source.c_str());
        return false;
    }
    kept.push_back(std::move(picture));
    return WriteJPEGThumbnail(bytes, source.View(), target, reason, kept, written);
}
