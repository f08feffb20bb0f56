#pragma once
// The encoded script source form (".gse"). It hides the text from a casual look and detects damage;
// it is an encoding, not protection: anyone with this code can decode it.
//
//   "VGSE" | u32 version (1) | u32 text length | u32 CRC-32 of the text | text under the key stream
//
// Little-endian. The file must be exactly 16 + length bytes long.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kGseHeaderSize = 16;
constexpr uint32_t kGseVersion = 1;

std::string EncodeGseSource(std::string_view text);

// False, with the reason in `error`, for anything but an intact file of this form.
bool DecodeGseSource(std::string_view file, std::string* text, std::string* error);
