#pragma once

#include <cstddef>
#include <utility>

namespace Orvo {

// Counted handle of an intrusively reference-counted object (anything with AddRef() and Release(), such as
// a ReferenceCount subclass). Assignment takes the new reference before dropping the old one, so assigning
// an object to the handle that already holds its last reference is safe.
template <class T>
class AutoReference {
public:
    AutoReference() = default;
    AutoReference(std::nullptr_t) {}
    // Takes a new reference on the object.
    explicit AutoReference(T* object) : m_object(object) { if (m_object) m_object->AddRef(); }
    AutoReference(const AutoReference& other) : AutoReference(other.m_object) {}
    AutoReference(AutoReference&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ~AutoReference() { if (m_object) m_object->Release(); }

    AutoReference& operator=(const AutoReference& other) { Assign(other.m_object); return *this; }
    AutoReference& operator=(AutoReference&& other) noexcept
    {
        if (this != &other) {
            T* old = std::exchange(m_object, std::exchange(other.m_object, nullptr));
            if (old) old->Release();
        }
        return *this;
    }
    AutoReference& operator=(T* object) { Assign(object); return *this; }

    void Assign(T* object)
    {
        if (object) object->AddRef();
        T* old = std::exchange(m_object, object);
        if (old) old->Release();
    }
    void Reset() { Assign(nullptr); }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool operator==(const AutoReference& other) const { return m_object == other.m_object; }
    bool operator==(const T* other) const { return m_object == other; }

private:
    T* m_object = nullptr;
};

} // namespace Orvo
