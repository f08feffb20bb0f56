#include "core/SoupBinary.h"

#include <cstring>

namespace {

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutU16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

bool WriteChunk(std::string_view name, const ACSChunk& tag, std::string& out, int depth);

bool WriteChildren(const ACSChunk& c, std::string& out, int depth)
{
    const size_t n = c.GetChildCount();
    for (size_t i = 0; i < n; ++i)
        if (!WriteChunk(c.GetChildNameAt(i).View(), *c.GetChildAt(i), out, depth)) return false;
    return true;
}

bool WriteChunk(std::string_view name, const ACSChunk& tag, std::string& out, int depth)
{
    if (name.size() > 0xFFFF) return false;
    const size_t sizeAt = out.size();
    PutU32(out, 0);
    PutU16(out, static_cast<uint16_t>(name.size()));
    out.append(name);
    const uint8_t type = tag.GetType();
    out.push_back(static_cast<char>(type));
    if (type == kACSContainer)
    {
        if (depth + 1 > kMaxSoupDepth) return false;
        if (!WriteChildren(tag, out, depth + 1)) return false;
    }
    else if (const ACSRawDataCore* d = tag.GetData())
    {
        if (type == kACSKUID)
        {
            const size_t n = d->GetCount();
            for (size_t i = 0; i < n; ++i)
            {
                KUID k = d->GetKUID(i);
                PutU32(out, k.StreamWord0());
                PutU32(out, k.StreamWord1());
            }
        }
        else if (type != kACSNull)
        {
            out.append(reinterpret_cast<const char*>(d->GetBytes()), d->GetByteSize());
        }
    }
    const size_t size = out.size() - sizeAt - 4;
    if (size > 0xFFFFFFFFu) return false;
    const uint32_t s = static_cast<uint32_t>(size);
    std::memcpy(out.data() + sizeAt, &s, 4);
    return true;
}

}  // namespace

bool WriteSoupBinaryBody(const TDBTagRef& container, std::string& out)
{
    const size_t start = out.size();
    if (container.Get() && !WriteChildren(*container.Get(), out, 0))
    {
        out.resize(start);
        return false;
    }
    return true;
}

bool WriteSoupBinaryChunk(std::string_view name, const TDBTagRef& tag, std::string& out)
{
    const size_t start = out.size();
    if (!tag.Get()) return false;
    if (!WriteChunk(name, *tag.Get(), out, 0))
    {
        out.resize(start);
        return false;
    }
    return true;
}

bool WriteSoupBinary(const TDBTagRef& tree, std::string& out)
{
    const size_t start = out.size();
    out.append("ACS$", 4);
    PutU32(out, kSoupBinaryVersion);
    PutU32(out, 0);
    PutU32(out, 0);
    if (!WriteSoupBinaryBody(tree, out))
    {
        out.resize(start);
        return false;
    }
    const size_t body = out.size() - start - kSoupBinaryHeaderSize;
    if (body > 0xFFFFFFFFu)
    {
        out.resize(start);
        return false;
    }
    const uint32_t b = static_cast<uint32_t>(body);
    std::memcpy(out.data() + start + 12, &b, 4);
    return true;
}

bool WriteSoupBinary(const TDBTagRef& tree, TStream& out)
{
    std::string bytes;
    return WriteSoupBinary(tree, bytes) && out.WriteExact(bytes.data(), bytes.size());
}
