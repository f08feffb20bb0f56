#pragma once
// Named shared memory (POSIX shm objects, mode 0600), mapped for as long as the object lives.
#include <cstddef>
#include <string>

namespace Platform {

class SharedMemoryBlock
{
public:
    // Largest block this layer agrees to create or map.
    static constexpr size_t kMaxSize = size_t{1} << 30;

    SharedMemoryBlock() = default;
    ~SharedMemoryBlock() { Close(); }
    SharedMemoryBlock(SharedMemoryBlock&& other) noexcept;
    SharedMemoryBlock& operator=(SharedMemoryBlock&& other) noexcept;
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    // Creates the block `name` with `size` bytes (zero-filled when new). With `exclusive` an existing
    // block is an error; without, an existing block is opened and grown to `size` if smaller.
    // `name` may be given with or without its leading '/'; it must not contain another '/'.
    bool Create(const std::string& name, size_t size, bool exclusive, std::string* error = nullptr);
    // Opens an existing block; its whole current size is mapped. Fails on a block of size 0 (its
    // creator has not sized it yet).
    bool Open(const std::string& name, bool writable = true, std::string* error = nullptr);
    void Close();
    // Removes the name; mappings that are open stay valid until closed.
    static bool Unlink(const std::string& name);
    static bool Exists(const std::string& name);

    bool IsOpen() const { return data_ != nullptr; }
    bool CreatedNew() const { return createdNew_; }  // this Create made the object
    void* Data() const { return data_; }
    size_t Size() const { return size_; }
    const std::string& Name() const { return name_; }

    // Bounds-checked copies; false when [offset, offset+length) lies outside the mapping, or outside
    // the object because another process shrank it.
    bool Read(size_t offset, void* out, size_t length) const;
    bool Write(size_t offset, const void* in, size_t length);

private:
    bool Map(int fd, size_t size, bool writable, std::string* error);
    bool InBounds(size_t offset, size_t length) const;

    std::string name_;
    int fd_ = -1;
    void* data_ = nullptr;
    size_t size_ = 0;
    bool writable_ = false;
    bool createdNew_ = false;
};

// The POSIX form of a block name ("/name"), or empty when the name cannot be one.
std::string SharedMemoryName(const std::string& name);

}  // namespace Platform
