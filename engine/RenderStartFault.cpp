#include "engine/RenderStartFault.h"

#include "engine/Options.h"
#include "engine/TextCase.h"

#include <cstdlib>

namespace Orvo {

bool RenderStartFailureForced(RenderStartPoint point, const Options& options)
{
    const char* words = std::getenv("VELMAR_TEST_RENDER_FAIL");
    return words != nullptr && RenderStartFailureForced(point, options, words);
}

bool RenderStartFailureForced(RenderStartPoint point, const Options& options, std::string_view words)
{
    const std::string_view name = point == RenderStartPoint::OS ? "os" : "kernel";
    const bool nullRender = options.Has("NullRender");
    while (!words.empty())
    {
        const size_t comma = words.find(',');
        std::string_view word = words.substr(0, comma);
        words = comma == std::string_view::npos ? std::string_view() : words.substr(comma + 1);
        while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
        const bool always = word.size() > 7 && word.substr(word.size() - 7) == "-always";
        if (always) word.remove_suffix(7);
        if (word == name || word == "both")
        {
            if (always || !nullRender) return true;
        }
    }
    return false;
}

}  // namespace Orvo
