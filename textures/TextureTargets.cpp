#include "textures/TextureTargets.h"

#include <string>

namespace {

// Only the blank itself counts; tabs are part of a name.
std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

PStringArray ParseTextureTargetList(std::string_view text)
{
    PStringArray list;
    size_t pos = 0;
    while (pos <= text.size())
    {
        size_t cut = text.find(';', pos);
        if (cut == std::string_view::npos) cut = text.size();
        std::string token(TrimBlanks(text.substr(pos, cut - pos)));
        if (token.empty()) break;
        for (char& c : token)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (token == "s3tc")
            token = "dxtc";
        else if (token == "etc")
            token = "etc1";
        list.Add(Orvo::PString(token));
        pos = cut + 1;
    }
    return list;
}

const PStringArray& DefaultTextureTargets()
{
    static const PStringArray list = ParseTextureTargetList("Velmar;DXTC");
    return list;
}

std::string FormatTextureTargetList(const PStringArray& list)
{
    std::string text;
    for (const Orvo::PString& name : list)
    {
        if (!text.empty()) text += "; ";
        text += name.View();
    }
    return text;
}

bool TextureTargetListHas(const PStringArray& list, std::string_view name)
{
    if (list.IsEmpty()) return false;
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return list.Contains(Orvo::PString(lower));
}

void CopyTextureTargetList(PStringArray& destination, const PStringArray& source)
{
    if (&destination == &source) return;
    destination.Clear();
    for (const Orvo::PString& name : source) destination.Add(name);
}
