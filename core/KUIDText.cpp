// The interned text forms of KUIDs.
#include "core/KUID.h"

#include "engine/PString.h"

Orvo::PString KUID::ToText(const KUID& k)
{
    char buf[48];
    return Orvo::PString(buf, k.FormatText(buf));
}

Orvo::PString KUID::ToSpacedText(const KUID& k)
{
    char buf[48];
    return Orvo::PString(buf, k.FormatSpacedText(buf));
}
