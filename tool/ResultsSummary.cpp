#include "tool/ResultsSummary.h"

#include "assetdb/ResultsLog.h"
#include "core/CodePageText.h"
#include "core/KUID.h"

#include <mutex>
#include <vector>

namespace {

const char* PrefixOf(uint32_t kind)
{
    switch (kind)
    {
    case kResultMessage: return "; ";
    case kResultWarning: return "! ";
    case kResultError: return "- ";
    case kResultSuccess: return "+ ";
    default: return "";
    }
}

}  // namespace

Orvo::AnsiString Utf8ToLocalText(const Orvo::String& text)
{
    if (text.View().empty()) return Orvo::AnsiString();
    std::vector<char> buffer(text.View().begin(), text.View().end());
    buffer.push_back('\0');
    int needed = ConvertFromUTF8InPlace(buffer.data(), int(buffer.size()), 0);
    if (needed > 0)
    {
        std::vector<char> larger(size_t(needed) + 1, '\0');
        std::copy(buffer.begin(), buffer.end(), larger.begin());
        buffer.swap(larger);
        ConvertFromUTF8InPlace(buffer.data(), int(buffer.size()), 0);
    }
    // On failure the buffer holds the text with its non-ASCII bytes replaced, which is what we show.
    return Orvo::AnsiString(Orvo::String(buffer.data()));
}

void PrintResultsSummary(ResultsLog& log) { PrintResultsSummary(log, stdout); }

void PrintResultsSummary(ResultsLog& log, std::FILE* out)
{
    std::lock_guard<std::mutex> hold(log.GetMutex());
    log.SetReadUnlocked(true);
    unsigned errors = 0;
    unsigned warnings = 0;
    for (const ResultsLog::Result& r : log.ResultsUnlocked())
    {
        if (r.kind == kResultWarning)
            ++warnings;
        else if (r.kind == kResultError)
            ++errors;
        KUID kuid = KUID::Null();
        const std::string source = r.source.GetValueText();
        if (!source.empty()) kuid.ParseText(source, false);
        const Orvo::AnsiString text = Utf8ToLocalText(r.text);
        std::fprintf(out, "%s%s : %s\n", PrefixOf(r.kind), KUID::ToText(kuid).c_str(), text.c_str());
    }
    std::fprintf(out, "OK (%u Errors, %u Warnings)\n", errors, warnings);
}
