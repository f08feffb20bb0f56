#pragma once

#include <cstddef>
#include <utility>

namespace Orvo {

// Counted handle of an intrusively reference-counted object (anything with AddRef() and Release(), such as
// a ReferenceCount subclass). Assignment takes the new reference before dropping the old one, so assigning
// an object to the handle that already holds its last reference is safe.
template <class T>
class AutoReference
{
public:
    AutoReference() = default;
    AutoReference(std::nullptr_t) {}
    // Takes a new reference on the object.
    explicit AutoReference(T* object) : object_(object)
    {
        if (object_) object_->AddRef();
    }
    AutoReference(const AutoReference& other) : AutoReference(other.object_) {}
    AutoReference(AutoReference&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ~AutoReference()
    {
        if (object_) object_->Release();
    }

    AutoReference& operator=(const AutoReference& other)
    {
        Assign(other.object_);
        return *this;
    }
    AutoReference& operator=(AutoReference&& other) noexcept
    {
        if (this != &other)
        {
            T* old = std::exchange(object_, std::exchange(other.object_, nullptr));
            if (old) old->Release();
        }
        return *this;
    }
    AutoReference& operator=(T* object)
    {
        Assign(object);
        return *this;
    }

    void Assign(T* object)
    {
        if (object) object->AddRef();
        T* old = std::exchange(object_, object);
        if (old) old->Release();
    }
    void Reset() { Assign(nullptr); }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool operator==(const AutoReference& other) const { return object_ == other.object_; }
    bool operator==(const T* other) const { return object_ == other; }

private:
    T* object_ = nullptr;
};

}  // namespace Orvo
