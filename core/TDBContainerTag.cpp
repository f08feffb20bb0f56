#include "core/TDBContainerTag.h"

#include "core/SoupArena.h"
#include "core/TDBDataTag.h"
#include "engine/TextCase.h"

TDBContainerTag::~TDBContainerTag()
{
    for (auto& c : children_)
        if (c.second) c.second->Release();
}

const Orvo::PString& TDBContainerTag::GetChildNameAt(size_t i) const
{
    return i < children_.size() ? children_[i].first : Orvo::PString::Empty();
}

ptrdiff_t TDBContainerTag::FindChild(ACSName name) const
{
    const size_t n = children_.size();
    const size_t len = name.text.size();
    for (size_t i = 0; i < n; ++i)
    {
        const Orvo::PString& have = children_[i].first;
        if (name.interned && have == *name.interned) return static_cast<ptrdiff_t>(i);
        if (have.length() == len && Orvo::EqualsNoCase(have.View(), name.text)) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

bool TDBContainerTag::AddChild(ACSName name, ACSChunk* child)
{
    if (!child || child->Contains(this)) return false;
    child->AddRef();
    children_.emplace_back(name.Intern(), child);
    return true;
}

bool TDBContainerTag::SetChild(ACSName name, ACSChunk* child)
{
    if (!child || child->Contains(this)) return false;
    ptrdiff_t i = FindChild(name);
    if (i < 0)
    {
        child->AddRef();
        children_.emplace_back(name.Intern(), child);
        return true;
    }
    child->AddRef();
    children_[static_cast<size_t>(i)].second->Release();
    children_[static_cast<size_t>(i)].second = child;
    return true;
}

bool TDBContainerTag::RemoveChild(ACSName name)
{
    ptrdiff_t i = FindChild(name);
    return i >= 0 && RemoveChildAt(static_cast<size_t>(i));
}

bool TDBContainerTag::RemoveChildAt(size_t i)
{
    if (i >= children_.size()) return false;
    ACSChunk* c = children_[i].second;
    children_.erase(i);
    if (c) c->Release();
    return true;
}

void TDBContainerTag::RemoveAllChildren()
{
    auto old = std::move(children_);
    children_.clear();
    for (auto& c : old)
        if (c.second) c.second->Release();
}

TDBContainerTag* TDBContainerTag::CreateContainer(ACSName name)
{
    auto* c = new TDBContainerTag;
    c->AddRef();
    children_.emplace_back(name.Intern(), c);
    return c;
}

ACSChunk* TDBContainerTag::CreateDataTag(ACSName name)
{
    auto* d = new TDBDataTag;
    d->AddRef();
    children_.emplace_back(name.Intern(), d);
    return d;
}

bool TDBContainerTag::RenameChildAt(size_t i, ACSName name)
{
    if (i >= children_.size()) return false;
    children_[i].first = name.Intern();
    return true;
}

ACSChunk* TDBContainerTag::Clone() const
{
    auto* copy = new TDBContainerTag;
    copy->AddRef();
    copy->children_.reserve(children_.size());
    for (const auto& c : children_) copy->children_.emplace_back(c.first, c.second->Clone());
    return copy;
}

void TDBContainerTag::AdoptNewChildren(std::vector<std::pair<Orvo::PString, ACSChunk*>>& from)
{
    if (from.empty()) return;
    if (children_.empty())
        if (SoupArena* arena = Arena())
            if (void* memory = arena->Allocate(from.size() * sizeof(SoupChildList::Child)))
            {
                children_.AdoptInto(memory, from.data(), from.size());
                from.clear();
                return;
            }
    children_.reserve(children_.size() + from.size());
    for (auto& c : from) children_.emplace_back(std::move(c.first), c.second);
    from.clear();
}
