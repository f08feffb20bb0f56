#pragma once
// A 128-bit id in the GUID layout ("4C414E80-BBDA-11d4-9AD7-0001025364B8"), the key of plug-in types.
#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

struct UId
{
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    UId() = default;
    // The text form, hex digits in any case, optionally in braces; an unreadable text gives the nil id.
    explicit UId(std::string_view text) { Parse(text, *this); }

    // False (and `out` left alone) unless the text is exactly 8-4-4-4-12 hex digits, optionally in "{}".
    static bool Parse(std::string_view text, UId& out);
    // Upper-case text form without braces.
    std::string ToText() const;
    bool IsNil() const;

    friend bool operator==(const UId& a, const UId& b);
    friend bool operator!=(const UId& a, const UId& b) { return !(a == b); }
    friend bool operator<(const UId& a, const UId& b);
};

}  // namespace Orvo
