#pragma once
// Texture descriptions (files named "<name>.texture.txt"): one "Key=Value" per line, for example
//
//   Primary=body.png
//   Alpha=body_alpha.tga
//   AlphaHint=auto
//   Tile=st
//
// Keys compare without regard to case; a later line of a key replaces an earlier one; blank lines, lines
// without "=" and lines starting with ";" or "//" are ignored. The keys the engine reads are listed in
// textures/README.md. The parsed description is also offered as configuration data: a root holding one
// container "Texture" whose children are the keys with their raw values.
#include "engine/ConfigParser.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace Orvo {

struct TextureDescription
{
    static constexpr size_t kMaxFileBytes = 64 * 1024;
    static constexpr size_t kMaxLineBytes = 512;

    ConfigData config;  // root { Texture { key value ... } }
    bool nonAscii = false;

    // The "Texture" container (never null after a successful parse).
    const ConfigData* Texture() const;
    // A key's value, or empty.
    std::string Get(std::string_view key) const;
    bool Has(std::string_view key) const;

    // Parses description text; false with the reason for text too large, a line too long or a NUL byte.
    bool Parse(std::string_view text, std::string& error);
};

}  // namespace Orvo
