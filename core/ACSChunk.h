#pragma once
// The reference-counted base of every node of the configuration tree ("soup").
//
// A container (TDBContainerTag) holds (name, child) pairs in order; a data tag (TDBDataTag) holds one
// value. Names are compared without regard to case and the first match wins. The base answers every
// operation, so callers need not know which kind of node they hold: child operations on a data tag find
// nothing and change nothing, data operations on a container give null.
#include "core/ACSRawDataCore.h"

#include "engine/PString.h"
#include "engine/String.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

// A tag name as any of the program's string types hand it over.
struct ACSName
{
    std::string_view text;
    const Orvo::PString* interned = nullptr;  // set when the caller already holds the pooled string

    ACSName(const char* t) : text(t ? t : "") {}
    ACSName(std::string_view t) : text(t) {}
    ACSName(const std::string& t) : text(t) {}
    ACSName(const Orvo::String& t) : text(t.View()) {}
    ACSName(const Orvo::PString& t) : text(t.View()), interned(&t) {}

    Orvo::PString Intern() const { return interned ? *interned : Orvo::PString(text); }
};

class SoupArena;
class TDBContainerTag;

class ACSChunk
{
public:
    ACSChunk() = default;
    ACSChunk(const ACSChunk&) = delete;
    ACSChunk& operator=(const ACSChunk&) = delete;

    void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference and deletes the node at zero.
    void Release() const
    {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete const_cast<ACSChunk*>(this);
    }
    int RefCount() const { return refs_.load(std::memory_order_relaxed); }

    // 1 for a container, else the value's type code.
    virtual uint8_t GetType() const = 0;
    bool IsContainer() const { return GetType() == kACSContainer; }

    // --- children (containers) ---
    virtual size_t GetChildCount() const { return 0; }
    virtual ACSChunk* GetChildAt(size_t) const { return nullptr; }
    // The shared empty string when out of range.
    virtual const Orvo::PString& GetChildNameAt(size_t) const { return Orvo::PString::Empty(); }
    // Index of the first child of that name, or -1.
    virtual ptrdiff_t FindChild(ACSName) const { return -1; }
    ACSChunk* GetChild(ACSName name) const
    {
        ptrdiff_t i = FindChild(name);
        return i < 0 ? nullptr : GetChildAt(static_cast<size_t>(i));
    }
    size_t CountChildren(ACSName name) const;
    // Appends without searching; takes its own reference. False when the node is not a container or
    // when the child would contain its new parent.
    virtual bool AddChild(ACSName, ACSChunk*) { return false; }
    // Replaces the first child of that name, or appends when there is none.
    virtual bool SetChild(ACSName, ACSChunk*) { return false; }
    // Removes the first child of that name; false when there is none.
    virtual bool RemoveChild(ACSName) { return false; }
    virtual bool RemoveChildAt(size_t) { return false; }
    virtual void RemoveAllChildren() {}
    // Appends a new empty container / data tag and returns it (owned by this node).
    virtual TDBContainerTag* CreateContainer(ACSName) { return nullptr; }
    virtual ACSChunk* CreateDataTag(ACSName) { return nullptr; }

    // --- data (data tags) ---
    // Null for a container.
    virtual const ACSRawDataCore* GetData() const { return nullptr; }
    virtual bool SetData(const ACSRawDataCore&) { return false; }
    virtual bool SetData(ACSRawDataCore&&) { return false; }

    // A deep copy with one reference held by the caller.
    virtual ACSChunk* Clone() const = 0;
    // True when `node` is this node or lies below it.
    bool Contains(const ACSChunk* node) const;

    // The arena the node was made in (a tree read from text), or nullptr for a node of its own.
    SoupArena* Arena() const;

    // Nodes made in an arena give their memory back to it, the others to the heap.
    void operator delete(ACSChunk* node, std::destroying_delete_t);

protected:
    virtual ~ACSChunk() = default;

private:
    friend class SoupArena;
    mutable std::atomic<int> refs_{0};
    uint8_t arenaShift_ = 0;  // 0: allocated on its own; else the size of the arena block holding it (a power of 2)
};

// Most nesting the file forms accept, and so the most the program builds into a tree it writes.
constexpr int kMaxSoupDepth = 64;
