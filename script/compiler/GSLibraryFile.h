#pragma once
// The script library file (".gsl") that a compile writes: the checked token stream of a source and
// of the sources it includes. Little-endian:
//
//   "VGSL" | u32 version (1) | u32 body size (file size - 16)
//   body:  str source name | u32 CRC-32 of the source text
//          u32 include count | count x { str name | u32 CRC-32 of its text }
//          u32 token count   | count x { u8 kind | u16 unit | u32 line | u16 length | bytes }
//   u32 CRC-32 of everything before it
//
// str = u16 length | bytes. A token's unit is 0 for the source itself and i for include i-1. Tokens of
// an included source come before those of the source that includes it.
#include "script/compiler/GSToken.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t kGslVersion = 1;
constexpr size_t kGslMaxIncludes = 4096;
constexpr size_t kGslMaxName = 4096;

struct GSLibraryInclude
{
    std::string name;
    uint32_t crc = 0;
};

struct GSLibraryToken
{
    GSTokenKind kind = GSTokenKind::End;
    uint16_t unit = 0;
    uint32_t line = 0;
    std::string text;
};

struct GSLibrary
{
    std::string sourceName;
    uint32_t sourceCrc = 0;
    std::vector<GSLibraryInclude> includes;
    std::vector<GSLibraryToken> tokens;
};

// Builds a library file piece by piece, so a large source's tokens need not be copied first.
class GSLibraryWriter
{
public:
    // Names longer than kGslMaxName are cut; more than kGslMaxIncludes includes is the caller's error.
    GSLibraryWriter(std::string_view sourceName, uint32_t sourceCrc, const std::vector<GSLibraryInclude>& includes);
    // Room for this many more tokens holding this many text bytes, to spare regrowing the buffer.
    void Reserve(size_t tokens, size_t textBytes);
    // Token texts are at most 65535 bytes (the scanner's limit); longer ones are cut.
    void AddToken(GSTokenKind kind, uint16_t unit, uint32_t line, std::string_view text);
    // The finished file; the writer is spent afterwards.
    std::string Finish();

private:
    std::string out_;
    size_t countAt_ = 0;
    uint32_t count_ = 0;
};

std::string EncodeGSLibrary(const GSLibrary& lib);

// False, with the reason in `error`, for anything but an intact library of this version.
bool DecodeGSLibrary(std::string_view file, GSLibrary* lib, std::string* error);
