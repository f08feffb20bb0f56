#include "engine/Options.h"

#include "engine/TextCase.h"

#include <cerrno>
#include <cstdlib>

namespace Orvo {

const Options::Item* Options::FindItem(std::string_view key) const
{
    for (const Item& i : items_)
        if (EqualsNoCase(i.key, key)) return &i;
    return nullptr;
}

Options::Item* Options::FindItem(std::string_view key)
{
    return const_cast<Item*>(static_cast<const Options*>(this)->FindItem(key));
}

Options::Item& Options::FindOrAddItem(std::string_view key)
{
    if (Item* item = FindItem(key)) return *item;
    items_.push_back(Item{std::string(key), {}, ",", false});
    return items_.back();
}

int Options::ProcessRaw(std::string_view text)
{
    int taken = 0;
    size_t i = 0;
    while (i < text.size())
    {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        // One word: runs to the next blank outside double quotes; quotes are removed.
        std::string word;
        bool quoted = false;
        for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i)
        {
            if (text[i] == '"')
                quoted = !quoted;
            else
                word.push_back(text[i]);
        }
        std::string_view w(word);
        while (!w.empty() && w[0] == '-') w.remove_prefix(1);
        if (w.empty()) continue;
        size_t eq = w.find('=');
        std::string_view key = w.substr(0, eq);
        if (key.empty()) continue;
        Item& item = FindOrAddItem(key);
        item.hasValue = eq != std::string_view::npos;
        item.value = item.hasValue ? std::string(w.substr(eq + 1)) : std::string();
        ++taken;
    }
    return taken;
}

void Options::Set(std::string_view key, std::string_view value)
{
    Item& item = FindOrAddItem(key);
    item.value.assign(value);
    item.hasValue = true;
}

void Options::Remove(std::string_view key)
{
    for (auto it = items_.begin(); it != items_.end(); ++it)
        if (EqualsNoCase(it->key, key))
        {
            items_.erase(it);
            return;
        }
}

const char* Options::Get(std::string_view key) const
{
    const Item* item = FindItem(key);
    return item ? item->value.c_str() : nullptr;
}

String Options::GetString(std::string_view key, std::string_view fallback) const
{
    const Item* item = FindItem(key);
    return item ? String(item->value) : String(fallback);
}

long Options::GetInt(std::string_view key, long fallback) const
{
    const Item* item = FindItem(key);
    if (!item || item->value.empty()) return fallback;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(item->value.c_str(), &end, 0);
    if (errno || end == item->value.c_str() || !TrimView(end).empty()) return fallback;
    return v;
}

double Options::GetFloat(std::string_view key, double fallback) const
{
    const Item* item = FindItem(key);
    if (!item || item->value.empty()) return fallback;
    char* end = nullptr;
    double v = std::strtod(item->value.c_str(), &end);
    if (end == item->value.c_str() || !TrimView(end).empty()) return fallback;
    return v;
}

void Options::SetSeparators(std::string_view key, std::string_view separators)
{
    FindOrAddItem(key).separators.assign(separators);
}

bool Options::GetNext(std::string_view key, size_t& position, String& item) const
{
    const Item* it = FindItem(key);
    // A trailing separator adds no empty last item.
    if (!it || !it->hasValue || position >= it->value.size()) return false;
    size_t end = it->value.find_first_of(it->separators, position);
    if (end == std::string::npos) end = it->value.size();
    item = String(std::string_view(it->value).substr(position, end - position));
    position = end < it->value.size() ? end + 1 : end;
    return true;
}

String Options::ToText() const
{
    String out;
    for (const Item& i : items_)
    {
        if (!out.IsEmpty()) out += ' ';
        out += '-';
        out += i.key;
        if (!i.hasValue) continue;
        out += '=';
        bool blanks = i.value.find_first_of(" \t") != std::string::npos;
        if (blanks) out += '"';
        out += i.value;
        if (blanks) out += '"';
    }
    return out;
}

}  // namespace Orvo
