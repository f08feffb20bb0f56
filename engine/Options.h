#pragma once
// Engine options: words such as "-render=OpenGL -hidewindow -LogFile=/dev/null". A word is "-key" (a
// flag) or "-key=value"; the value may be double-quoted to hold blanks. Keys compare without regard
// to case; a later word replaces an earlier one of the same key.
#include "engine/String.h"

#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class Options
{
public:
    Options() = default;
    explicit Options(std::string_view text) { ProcessRaw(text); }

    // Adds the words of `text`; returns how many were taken.
    int ProcessRaw(std::string_view text);
    void Set(std::string_view key, std::string_view value);
    void Remove(std::string_view key);
    void Clear() { items_.clear(); }

    bool Has(std::string_view key) const { return FindItem(key) != nullptr; }
    // The value text, "" for a flag, nullptr when the key is absent.
    const char* Get(std::string_view key) const;
    String GetString(std::string_view key, std::string_view fallback = {}) const;
    // A missing key, or a value that is not wholly a number, gives the fallback.
    long GetInt(std::string_view key, long fallback = 0) const;
    double GetFloat(std::string_view key, double fallback = 0.0) const;

    // Lists: the value split at the separators set for the key (default ","). `position` starts at
    // 0 and moves on; false when no item is left.
    void SetSeparators(std::string_view key, std::string_view separators);
    bool GetNext(std::string_view key, size_t& position, String& item) const;

    // The options as text again ("-key=value -flag"), values with blanks quoted.
    String ToText() const;
    size_t Count() const { return items_.size(); }

private:
    struct Item
    {
        std::string key;
        std::string value;
        std::string separators = ",";
        bool hasValue = false;
    };
    const Item* FindItem(std::string_view key) const;
    Item* FindItem(std::string_view key);
    Item& FindOrAddItem(std::string_view key);
    std::vector<Item> items_;
};

}  // namespace Orvo
