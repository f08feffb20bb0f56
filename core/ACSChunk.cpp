#include "core/ACSChunk.h"

#include "core/SoupArena.h"

#include "engine/TextCase.h"

size_t ACSChunk::CountChildren(ACSName name) const
{
    size_t n = 0, count = GetChildCount();
    for (size_t i = 0; i < count; ++i)
        if (Orvo::EqualsNoCase(GetChildNameAt(i).View(), name.text)) ++n;
    return n;
}

bool ACSChunk::Contains(const ACSChunk* node) const
{
    if (node == this) return true;
    size_t count = GetChildCount();
    for (size_t i = 0; i < count; ++i)
    {
        const ACSChunk* c = GetChildAt(i);
        if (c && c->IsContainer() && c->Contains(node)) return true;
    }
    return false;
}

SoupArena* ACSChunk::Arena() const { return arenaShift_ ? SoupArena::Of(this, arenaShift_) : nullptr; }

void ACSChunk::operator delete(ACSChunk* node, std::destroying_delete_t)
{
    const uint8_t shift = node->arenaShift_;
    node->~ACSChunk();
    if (shift)
        SoupArena::NodeGone(node, shift);
    else
        ::operator delete(node);
}
