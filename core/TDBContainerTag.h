#pragma once
// A named-children node of the soup: (name, child) pairs in order, each child held by one reference.
#include "core/ACSChunk.h"
#include "core/SoupChildList.h"

#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

class TDBContainerTag : public ACSChunk
{
public:
    TDBContainerTag() = default;

    uint8_t GetType() const override { return kACSContainer; }

    size_t GetChildCount() const override { return children_.size(); }
    ACSChunk* GetChildAt(size_t i) const override { return i < children_.size() ? children_[i].second : nullptr; }
    const Orvo::PString& GetChildNameAt(size_t i) const override;
    ptrdiff_t FindChild(ACSName name) const override;
    bool AddChild(ACSName name, ACSChunk* child) override;
    bool SetChild(ACSName name, ACSChunk* child) override;
    bool RemoveChild(ACSName name) override;
    bool RemoveChildAt(size_t i) override;
    void RemoveAllChildren() override;
    TDBContainerTag* CreateContainer(ACSName name) override;
    ACSChunk* CreateDataTag(ACSName name) override;
    // Renames the child at i; false when out of range.
    bool RenameChildAt(size_t i, ACSName name);
    // Appends a child that the caller knows cannot form a cycle (a node made just now), taking over the
    // caller's reference. Used by the file readers.
    void AdoptNewChild(Orvo::PString name, ACSChunk* child) { children_.emplace_back(std::move(name), child); }
    // The same with the name interned in place (no handle is copied or moved).
    void AdoptNewChild(std::string_view name, ACSChunk* child)
    {
        children_.emplace_back(std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple(child));
    }
    // Appends every (name, child) of `from`, each taking over a reference the caller held, and leaves `from`
    // empty; the same conditions as AdoptNewChild. One allocation where appending one by one grows the list,
    // and none when this node was made in an arena (the list then stands in the arena).
    void AdoptNewChildren(std::vector<std::pair<Orvo::PString, ACSChunk*>>& from);
    void Reserve(size_t n) { children_.reserve(n); }

    ACSChunk* Clone() const override;

protected:
    ~TDBContainerTag() override;

private:
    SoupChildList children_;
};
