#include "core/CodePageText.h"

#include "platform/CodePage.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {
constexpr int kUtf8 = 65001;

// The text's length, or -1 when there is no terminating zero inside the buffer.
int TextLength(const char* buffer, int bufferSize)
{
    const void* end = std::memchr(buffer, '\0', static_cast<size_t>(bufferSize));
    return end ? static_cast<int>(static_cast<const char*>(end) - buffer) : -1;
}

// 0, the needed size or -1, with the buffer rewritten only on 0.
int Convert(char* buffer, int bufferSize, int fromCodePage, int toCodePage)
{
    if (!buffer || bufferSize <= 0)
        return -1;
    const int length = TextLength(buffer, bufferSize);
    if (length < 0)
        return -1;
    std::string out;
    Platform::ConvertOptions options;
    options.replaceUnconvertible = true;
    const Platform::ConvertResult r =
        Platform::ConvertCodePage(fromCodePage, toCodePage, std::string_view(buffer, static_cast<size_t>(length)),
                                  &out, options);
    if (!r.ok())
        return -1;
    if (out.size() + 1 > static_cast<size_t>(bufferSize)) {
        if (out.size() + 1 > static_cast<size_t>(INT32_MAX))
            return -1;
        return static_cast<int>(out.size() + 1);
    }
    std::memcpy(buffer, out.data(), out.size());
    buffer[out.size()] = '\0';
    return 0;
}
} // namespace

int ConvertCodePageInPlace(char* buffer, int bufferSize, int fromCodePage, int toCodePage)
{
    return Convert(buffer, bufferSize, fromCodePage, toCodePage);
}

int ConvertFromUTF8InPlace(char* buffer, int bufferSize, int targetCodePage)
{
    const int r = Convert(buffer, bufferSize, kUtf8, targetCodePage);
    if (r == -1 && buffer && bufferSize > 0) {
        for (int i = 0; i < bufferSize && buffer[i] != '\0'; ++i) {
            if (static_cast<unsigned char>(buffer[i]) >= 128)
                buffer[i] = '?';
        }
    }
    return r;
}
