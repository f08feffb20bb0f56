#pragma once
// A named block of memory shared between processes. Create makes the block or opens it when it
// already exists as this user's own with mode 0600 (AlreadyExisted tells which); the process that made it removes the name again
// when it closes the block, while other processes keep their mappings until they close.
#include <cstddef>
#include <string>

#include "platform/SharedMemory.h"

namespace Orvo {

class SharedMemory
{
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    bool Create(const std::string& name, size_t size);
    bool Open(const std::string& name, bool writable = true);
    void Close();

    bool IsOpen() const { return block_.IsOpen(); }
    bool AlreadyExisted() const { return block_.IsOpen() && !created_; }
    void* GetData() const { return block_.Data(); }
    size_t GetSize() const { return block_.Size(); }
    const std::string& GetError() const { return error_; }
    // Keep the name after Close even when this object created it.
    void SetRemoveOnClose(bool remove) { removeOnClose_ = remove; }

    bool Read(size_t offset, void* out, size_t length) const { return block_.Read(offset, out, length); }
    bool Write(size_t offset, const void* in, size_t length) { return block_.Write(offset, in, length); }

private:
    Platform::SharedMemoryBlock block_;
    std::string error_;
    bool removeOnClose_ = true;
    bool created_ = false;
};

}  // namespace Orvo
