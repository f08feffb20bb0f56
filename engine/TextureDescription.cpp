#include "engine/TextureDescription.h"

#include "engine/TextCase.h"

#include <algorithm>

namespace Orvo {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

const ConfigData* TextureDescription::Texture() const { return config.Find("Texture"); }

std::string TextureDescription::Get(std::string_view key) const
{
    const ConfigData* t = Texture();
    const ConfigData* item = t ? t->Find(key) : nullptr;
    return item ? item->value : std::string();
}

bool TextureDescription::Has(std::string_view key) const
{
    const ConfigData* t = Texture();
    return t != nullptr && t->Find(key) != nullptr;
}

bool TextureDescription::Parse(std::string_view text, std::string& error)
{
    config = ConfigData();
    config.kind = ConfigData::Container;
    config.children.emplace_back();
    ConfigData& texture = config.children.back();
    texture.name = "Texture";
    texture.kind = ConfigData::Container;
    nonAscii = false;
    if (text.size() > kMaxFileBytes)
    {
        error = "the description is larger than " + std::to_string(kMaxFileBytes) + " bytes";
        return false;
    }
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int lineNumber = 0;
    while (!text.empty())
    {
        const size_t cut = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, cut);
        text.remove_prefix(std::min(cut + 1, text.size()));
        ++lineNumber;
        if (line.size() > kMaxLineBytes)
        {
            error =
                "line " + std::to_string(lineNumber) + " is longer than " + std::to_string(kMaxLineBytes) + " bytes";
            return false;
        }
        if (line.find('\0') != std::string_view::npos)
        {
            error = "line " + std::to_string(lineNumber) + " holds a NUL byte";
            return false;
        }
        for (char c : line) nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line.substr(0, 2) == "//") continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key.empty()) continue;
        ConfigData* item = nullptr;
        for (ConfigData& child : texture.children)
            if (EqualsNoCase(child.name, key)) item = &child;
        if (item == nullptr)
        {
            texture.children.emplace_back();
            item = &texture.children.back();
            item->name.assign(key);
        }
        item->value.assign(value);
        item->kind = ConfigData::Raw;
        item->line = lineNumber;
    }
    return true;
}

}  // namespace Orvo
