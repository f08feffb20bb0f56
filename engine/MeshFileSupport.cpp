#include "engine/MeshFileSupport.h"

#include "engine/File.h"
#include "engine/MemoryFile.h"

#include <cstring>
#include <limits>

namespace Orvo {

bool MeshFileSupport::ReadPaddedString(MemoryFile& in, std::string& out)
{
    const size_t start = in.Tell();
    uint32_t length = 0;
    if (!in.Read(length)) return false;
    // Compared before the padding is added, so a huge count cannot wrap around.
    if (length > in.Remaining() || PaddedSize(length) - 4 > in.Remaining())
    {
        in.Seek(start);
        return false;
    }
    out.assign(reinterpret_cast<const char*>(in.Data() + in.Tell()), length);
    in.Skip(PaddedSize(length) - 4);
    return true;
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& in, PString& out)
{
    std::string text;
    if (!ReadPaddedString(in, text)) return false;
    out = PString(text);
    return true;
}

bool MeshFileSupport::WriteBytes(File& out, const void* data, size_t size)
{
    return size == 0 || out.Write(data, size) == size;
}

bool MeshFileSupport::WriteU32(File& out, uint32_t value)
{
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return WriteBytes(out, b, 4);
}

bool MeshFileSupport::WriteU16(File& out, uint16_t value)
{
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    return WriteBytes(out, b, 2);
}

bool MeshFileSupport::WriteF32(File& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return WriteU32(out, bits);
}

bool MeshFileSupport::WritePaddedString(File& out, std::string_view text)
{
    if (text.size() > std::numeric_limits<uint32_t>::max() - 3) return false;
    static const uint8_t zeros[4] = {};
    return WriteU32(out, static_cast<uint32_t>(text.size())) && WriteBytes(out, text.data(), text.size()) &&
           WriteBytes(out, zeros, PaddedSize(text.size()) - 4 - text.size());
}

int64_t MeshFileSupport::MarkSizePos(File& out)
{
    const int64_t mark = out.Tell();
    if (mark < 0 || !WriteU32(out, 0)) return -1;
    return mark;
}

bool MeshFileSupport::WriteSizeAtMark(File& out, int64_t mark)
{
    const int64_t end = out.Tell();
    if (mark < 0 || end < mark + 4) return false;
    const uint64_t length = static_cast<uint64_t>(end - (mark + 4));
    if (length > std::numeric_limits<uint32_t>::max()) return false;
    return out.Seek(mark) && WriteU32(out, static_cast<uint32_t>(length)) && out.Seek(end);
}

}  // namespace Orvo
