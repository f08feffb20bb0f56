#include "tool/dls/DLSText.h"

namespace {

template <typename Range>
Orvo::String JoinKUIDs(const Range& kuids)
{
    std::string out;
    for (const KUID& k : kuids)
    {
        if (!out.empty()) out += ", ";
        out += k.ToString();
    }
    return Orvo::String(std::move(out));
}

}  // namespace

Orvo::String EscapeLineBreaks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '\r' || c == '\n')
        {
            out += "\\n";
            const char pair = c == '\r' ? '\n' : '\r';
            if (i + 1 < text.size() && text[i + 1] == pair) ++i;
        }
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return Orvo::String(std::move(out));
}

Orvo::String JoinKUIDList(const ChunkedList<KUID>& list) { return JoinKUIDs(list); }

Orvo::String JoinKUIDSet(const std::set<KUID>& set) { return JoinKUIDs(set); }
