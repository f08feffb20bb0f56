#include "render/MaterialRecord.h"

Orvo::PString MaterialTypeName(const Orvo::PString& shortName) { return Orvo::PStringCache::Ins(shortName, 0, "m."); }

Orvo::PString ConcatenateNames(const Orvo::PString& a, const Orvo::PString& b)
{
    if (a.empty()) return b;
    return Orvo::PStringCache::Ins(a, a.length(), b.View());
}
