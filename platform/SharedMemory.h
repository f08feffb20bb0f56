#pragma once
// Named shared memory (POSIX shm objects), mapped for as long as the object lives. A block serves one user:
// it is created exclusively with mode 0600, and a block that another user owns or whose mode is not exactly
// 0600 is never opened. Names live in a folder every user may write (/dev/shm): no open of a name follows a
// symbolic link or waits (a FIFO there), and only a regular file is ever taken for a block. A block's memory
// is reserved when it is made (posix_fallocate), so a full /dev/shm is an error then, never a SIGBUS later;
// reads and writes go through the descriptor, so even a block some other maker left without memory reads as
// zeros and fails writes instead of raising SIGBUS.
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

    // Creates the new block `name` with `size` zero bytes, owned by this user with mode 0600 (checked
    // with fstat after creation), its memory reserved: without room for it (a full /dev/shm) the block is
    // not made and `error` says so. A block of that name that exists already is an error: it is never
    // taken over. `name` may be given with or without its leading '/'; it must not contain another '/'.
    // On failure `errorNumber` gets the reason's errno: EEXIST when anything at all had the name (a block, a
    // link, a FIFO, a folder), ENOSPC when there was no room, EINVAL for a bad name or size. That number is
    // what the create itself met: the name may look different by the time the caller looks at it again.
    bool Create(const std::string& name, size_t size, std::string* error = nullptr, int* errorNumber = nullptr);
    // Opens an existing block (a regular file) of this user whose mode is exactly 0600; its whole current size
    // is mapped.
    // Fails on a block of size 0 (its creator has not sized it yet), and, for writing, on a block whose
    // memory cannot be reserved.
    bool Open(const std::string& name, bool writable = true, std::string* error = nullptr);
    // Removes a block this user owns (a leftover of a process that died). False, with the reason, when
    // there is none, another user owns it or what is there is no block (a link, a FIFO).
    static bool RemoveOwn(const std::string& name, std::string* error = nullptr);
    void Close();
    // Removes this block's name, but only while the name still stands for this block: a block made since
    // under the same name (after this one's name was removed) is left alone. The mapping stays valid.
    bool RemoveName();
    // Removes the name; mappings that are open stay valid until closed.
    static bool Unlink(const std::string& name);
    // True when anything has the name: a block of anybody's, a link, a FIFO.
    static bool Exists(const std::string& name);

    bool IsOpen() const { return data_ != nullptr; }
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
};

// The POSIX form of a block name ("/name"), or empty when the name cannot be one.
std::string SharedMemoryName(const std::string& name);

}  // namespace Platform
