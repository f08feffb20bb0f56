#include "engine/Exception.h"

#include <cstdarg>
#include <cstdio>

namespace Orvo {

Exception::~Exception() = default;

Exception Exception::Format(const char* format, ...)
{
    if (!format) return Exception();
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0)
    {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return Exception(std::move(text));
}

}  // namespace Orvo
