#include "core/SoupBinary.h"

#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"

#include <cstdint>
#include <cstring>

namespace {

uint32_t LoadU32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t LoadU16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Reads the chunks in [p, end) as children of `into`, whose own nesting depth is `depth`.
bool ReadChunks(const uint8_t* p, const uint8_t* end, TDBContainerTag& into, int depth)
{
    while (p != end)
    {
        size_t left = static_cast<size_t>(end - p);
        if (left < 4) return false;
        uint32_t size = LoadU32(p);
        p += 4;
        left -= 4;
        if (size > left || size < 3) return false;
        const uint8_t* chunkEnd = p + size;
        uint16_t nameLen = LoadU16(p);
        p += 2;
        if (nameLen > size - 3) return false;
        const std::string_view name(reinterpret_cast<const char*>(p), nameLen);
        p += nameLen;
        uint8_t type = *p++;
        const size_t payload = static_cast<size_t>(chunkEnd - p);

        if (type == kACSContainer)
        {
            if (depth + 1 > kMaxSoupDepth) return false;
            auto* sub = new TDBContainerTag;
            sub->AddRef();
            into.AdoptNewChild(name, sub);
            if (!ReadChunks(p, chunkEnd, *sub, depth + 1)) return false;
            p = chunkEnd;
            continue;
        }

        auto* tag = new TDBDataTag;
        tag->AddRef();
        into.AdoptNewChild(name, tag);
        ACSRawDataCore& d = tag->Data();
        const char* bytes = reinterpret_cast<const char*>(p);
        switch (type)
        {
        case kACSNull:
            if (payload != 0) return false;
            break;
        case kACSBinary: d.SetBinary(bytes, payload); break;
        case kACSString: d.SetString(std::string_view(bytes, payload)); break;
        case kACSFloat:
            if (payload % 4) return false;
            d.SetRaw(kACSFloat, bytes, payload);
            break;
        case kACSInteger:
            if (payload % 4) return false;
            d.SetRaw(kACSInteger, bytes, payload);
            break;
        case kACSKUID:
        {
            if (payload % 8) return false;
            std::vector<KUID> kuids(payload / 8);
            for (size_t i = 0; i < kuids.size(); ++i)
                kuids[i] = KUID::FromStreamWords(LoadU32(p + i * 8), LoadU32(p + i * 8 + 4));
            d.SetKUIDs(kuids.data(), kuids.size());
            break;
        }
        default: return false;
        }
        p = chunkEnd;
    }
    return true;
}

}  // namespace

bool HasSoupBinaryMagic(const void* data, size_t size)
{
    return data && size >= 4 && std::memcmp(data, "ACS$", 4) == 0;
}

SoupBinaryResult ReadSoupBinaryBody(const void* data, size_t size, TDBTagRef& out)
{
    out.Release();
    TDBTagRef tree = TDBTagRef::NewContainer();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (size && !p) return SoupBinaryResult::kDamaged;
    if (!ReadChunks(p, p + size, *tree.GetContainer(), 0)) return SoupBinaryResult::kDamaged;
    out = std::move(tree);
    return SoupBinaryResult::kOK;
}

SoupBinaryResult ReadSoupBinary(const void* data, size_t size, TDBTagRef& out)
{
    out.Release();
    if (!HasSoupBinaryMagic(data, size)) return SoupBinaryResult::kNotValid;
    if (size < kSoupBinaryHeaderSize) return SoupBinaryResult::kDamaged;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t version = LoadU32(p + 4);
    if (version > kSoupBinaryVersion) return SoupBinaryResult::kNewerVersion;
    if (version == 0) return SoupBinaryResult::kNotValid;
    uint32_t bodySize = LoadU32(p + 12);
    if (bodySize != size - kSoupBinaryHeaderSize) return SoupBinaryResult::kDamaged;
    return ReadSoupBinaryBody(p + kSoupBinaryHeaderSize, bodySize, out);
}

SoupBinaryResult ReadSoupBinary(TStream& in, uint64_t size, TDBTagRef& out)
{
    out.Release();
    if (size > in.Remaining() || size > SIZE_MAX)
    {
        // Tell a foreign file from a cut-off one by whatever of the magic is there.
        char magic[4];
        size_t got = in.Read(magic, size < 4 ? static_cast<size_t>(size) : 4);
        return HasSoupBinaryMagic(magic, got) ? SoupBinaryResult::kDamaged : SoupBinaryResult::kNotValid;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.ReadExact(bytes.data(), bytes.size())) return SoupBinaryResult::kDamaged;
    return ReadSoupBinary(bytes.data(), bytes.size(), out);
}

const char* SoupBinaryResultText(SoupBinaryResult r)
{
    switch (r)
    {
    case SoupBinaryResult::kOK: return "ok";
    case SoupBinaryResult::kNotValid: return "not a valid configuration file";
    case SoupBinaryResult::kDamaged: return "the file is damaged";
    case SoupBinaryResult::kNewerVersion: return "the file was made by a newer version";
    }
    return "unknown";
}
