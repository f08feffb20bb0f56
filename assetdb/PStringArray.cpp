#include "assetdb/PStringArray.h"

void PStringArray::Add(const Orvo::PString& s)
{
    if (items_.size() == items_.capacity()) items_.reserve((items_.size() / kGrowStep + 1) * kGrowStep);
    items_.push_back(s);
}

bool PStringArray::AddUnique(const Orvo::PString& s)
{
    if (Contains(s)) return false;
    Add(s);
    return true;
}

bool PStringArray::Contains(const Orvo::PString& s) const
{
    for (const Orvo::PString& item : items_)
        if (item == s) return true;
    return false;
}
