#include "core/CodePageText.h"

#include "platform/CodePage.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {
constexpr int kUtf8 = 65001;

// UTF-16 text ends with a zero of two bytes, every other form with one.
size_t TerminatorSize(int codePage) { return codePage == Platform::kCodePageUtf16LE ? 2 : 1; }

// The text's length in bytes, or -1 when there is no terminating zero inside the buffer.
int TextLength(const char* buffer, int bufferSize, size_t unit)
{
    for (size_t i = 0; i + unit <= static_cast<size_t>(bufferSize); i += unit)
    {
        if (buffer[i] == '\0' && (unit == 1 || buffer[i + 1] == '\0')) return static_cast<int>(i);
    }
    return -1;
}

// 0, the needed size or -1, with the buffer rewritten only on 0.
int Convert(char* buffer, int bufferSize, int fromCodePage, int toCodePage)
{
    if (!buffer || bufferSize <= 0) return -1;
    const int length = TextLength(buffer, bufferSize, TerminatorSize(fromCodePage));
    if (length < 0) return -1;
    std::string out;
    Platform::ConvertOptions options;
    options.replaceUnconvertible = true;
    const Platform::ConvertResult r = Platform::ConvertCodePage(
        fromCodePage, toCodePage, std::string_view(buffer, static_cast<size_t>(length)), &out, options);
    if (!r.ok()) return -1;
    const size_t needed = out.size() + TerminatorSize(toCodePage);
    if (needed > static_cast<size_t>(bufferSize))
        return needed > static_cast<size_t>(INT32_MAX) ? -1 : static_cast<int>(needed);
    std::memcpy(buffer, out.data(), out.size());
    std::memset(buffer + out.size(), 0, TerminatorSize(toCodePage));
    return 0;
}
}  // namespace

int ConvertCodePageInPlace(char* buffer, int bufferSize, int fromCodePage, int toCodePage)
{
    return Convert(buffer, bufferSize, fromCodePage, toCodePage);
}

int ConvertFromUTF8InPlace(char* buffer, int bufferSize, int targetCodePage)
{
    const int r = Convert(buffer, bufferSize, kUtf8, targetCodePage);
    if (r == -1 && buffer && bufferSize > 0)
    {
        for (int i = 0; i < bufferSize && buffer[i] != '\0'; ++i)
        {
            if (static_cast<unsigned char>(buffer[i]) >= 128) buffer[i] = '?';
        }
    }
    return r;
}
