#pragma once
// A counted array of interned strings (texture target lists). Storage grows in steps of 128 entries;
// Clear releases the strings and keeps the storage. Membership compares by interned identity.
#include "engine/PString.h"

#include <cstddef>
#include <vector>

class PStringArray
{
public:
    static constexpr size_t kGrowStep = 128;

    PStringArray() = default;

    size_t GetCount() const { return items_.size(); }
    size_t GetCapacity() const { return items_.capacity(); }
    bool IsEmpty() const { return items_.empty(); }
    const Orvo::PString& operator[](size_t i) const { return items_[i]; }
    const Orvo::PString* begin() const { return items_.data(); }
    const Orvo::PString* end() const { return items_.data() + items_.size(); }

    void Add(const Orvo::PString& s);
    // Adds only when not present yet; true when added.
    bool AddUnique(const Orvo::PString& s);
    bool Contains(const Orvo::PString& s) const;
    void Clear() { items_.clear(); }

    friend bool operator==(const PStringArray& a, const PStringArray& b) { return a.items_ == b.items_; }

private:
    std::vector<Orvo::PString> items_;
};
