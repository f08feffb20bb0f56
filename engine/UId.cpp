#include "engine/UId.h"

#include <cstdio>
#include <cstring>

namespace Orvo {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `pos`; false on anything else.
bool ReadHex(std::string_view text, size_t& pos, int digits, uint64_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i, ++pos)
    {
        if (pos >= text.size()) return false;
        const int v = HexValue(text[pos]);
        if (v < 0) return false;
        value = (value << 4) | uint64_t(v);
    }
    return true;
}

bool ReadDash(std::string_view text, size_t& pos)
{
    if (pos >= text.size() || text[pos] != '-') return false;
    ++pos;
    return true;
}

}  // namespace

bool UId::Parse(std::string_view text, UId& out)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return false;
    UId id;
    size_t pos = 0;
    uint64_t v = 0;
    if (!ReadHex(text, pos, 8, v)) return false;
    id.data1 = uint32_t(v);
    if (!ReadDash(text, pos) || !ReadHex(text, pos, 4, v)) return false;
    id.data2 = uint16_t(v);
    if (!ReadDash(text, pos) || !ReadHex(text, pos, 4, v)) return false;
    id.data3 = uint16_t(v);
    if (!ReadDash(text, pos) || !ReadHex(text, pos, 4, v)) return false;
    id.data4[0] = uint8_t(v >> 8);
    id.data4[1] = uint8_t(v);
    if (!ReadDash(text, pos) || !ReadHex(text, pos, 12, v)) return false;
    for (int i = 0; i < 6; ++i) id.data4[2 + i] = uint8_t(v >> (8 * (5 - i)));
    out = id;
    return true;
}

std::string UId::ToText() const
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", data1, data2, data3, data4[0],
                  data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return buf;
}

bool UId::IsNil() const { return *this == UId(); }

bool operator==(const UId& a, const UId& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

bool operator<(const UId& a, const UId& b)
{
    if (a.data1 != b.data1) return a.data1 < b.data1;
    if (a.data2 != b.data2) return a.data2 < b.data2;
    if (a.data3 != b.data3) return a.data3 < b.data3;
    return std::memcmp(a.data4, b.data4, sizeof a.data4) < 0;
}

}  // namespace Orvo
