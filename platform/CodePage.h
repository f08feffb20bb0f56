#pragma once
// Text conversion between Windows code page numbers, through iconv. Code page 0 (the ANSI code
// page) and 65001 are UTF-8; 1200 is UTF-16LE; the rest map to their iconv names.
#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

constexpr int kCodePageAnsi = 0;
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageUtf16LE = 1200;

enum class [[nodiscard]] ConvertStatus{
    Ok,
    UnknownCodePage,  // a code page number this system cannot convert
    InvalidInput,     // the input is not valid text in its code page
    Unconvertible,    // a character has no form in the target code page
    BufferTooSmall,   // the output did not fit; `size` tells what it needs
};

struct ConvertResult
{
    ConvertStatus status = ConvertStatus::Ok;
    size_t size = 0;         // bytes written, or needed when the buffer is too small
    size_t errorOffset = 0;  // input offset of the offending byte for InvalidInput / Unconvertible
    size_t replaced = 0;     // characters replaced (only with replaceUnconvertible)
    bool ok() const { return status == ConvertStatus::Ok; }
};

struct ConvertOptions
{
    // Put '?' in place of characters the target cannot hold (as WideCharToMultiByte does by
    // default) instead of failing.
    bool replaceUnconvertible = false;
};

// The iconv name of a code page, or nullptr when the number is not known here.
const char* CodePageName(int codePage);
// True when the code page is known and the system's iconv can convert it.
bool IsCodePageSupported(int codePage);

// Converts `input` from `fromCodePage` to `toCodePage` into `out` (capacity `outCapacity`). With
// `out` null nothing is written and `size` is the exact number of bytes the conversion needs.
// On BufferTooSmall `size` is likewise the full size needed. No terminating zero is added.
ConvertResult ConvertCodePage(int fromCodePage, int toCodePage, const void* input, size_t inputLength, void* out,
                              size_t outCapacity, const ConvertOptions& options = {});
// The same into a string (which holds the converted bytes; UTF-16 output is bytes too).
ConvertResult ConvertCodePage(int fromCodePage, int toCodePage, std::string_view input, std::string* out,
                              const ConvertOptions& options = {});

}  // namespace Platform
