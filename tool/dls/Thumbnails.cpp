#include "tool/dls/Thumbnails.h"

#include "engine/Bitmap.h"
#include "engine/File.h"

#include <memory>

bool IsJPEGData(std::string_view bytes)
{
    return bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
           static_cast<uint8_t>(bytes[2]) == 0xFF;
}

bool WriteJPEGThumbnail(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason)
{
    if (!IsJPEGData(bytes)) return ConvertImageToJPEG(bytes, name, target, reason);
    if (Orvo::File::WriteFileReplacing(target.View(), bytes)) return true;
    reason = Orvo::String(Orvo::File::LastError().message);
    return false;
}

bool WriteJPEGThumbnailFromFile(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& reason)
{
    std::string bytes;
    if (!Orvo::File::ReadFile(source.View(), bytes, kMaxThumbnailBytes))
    {
        reason = Orvo::String::Format("Unable to read the thumbnail '%s'.", source.c_str());
        return false;
    }
    return WriteJPEGThumbnail(bytes, source.View(), target, reason);
}

bool ConvertImageToJPEG(std::string_view bytes, std::string_view name, const Orvo::File::Path& target,
                        Orvo::String& reason)
{
    std::unique_ptr<Orvo::Bitmap> image =
        Orvo::Bitmap::LoadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), name, reason);
    if (!image) return false;
    // The ".jpg" of the target chooses the JPEG writer.
    return image->Save(target.View(), &reason);
}
