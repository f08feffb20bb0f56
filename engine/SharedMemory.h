#pragma once
// A named block of memory shared between processes. Create makes the block or opens it when it
// already exists (AlreadyExisted tells which); the process that made it removes the name again
// when it closes the block, while other processes keep their mappings until they close.
#include <cstddef>
#include <string>

#include "platform/SharedMemory.h"

namespace Orvo {

class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    bool Create(const std::string& name, size_t size);
    bool Open(const std::string& name, bool writable = true);
    void Close();

    bool IsOpen() const { return m_block.IsOpen(); }
    bool AlreadyExisted() const { return m_block.IsOpen() && !m_block.CreatedNew(); }
    void* GetData() const { return m_block.Data(); }
    size_t GetSize() const { return m_block.Size(); }
    const std::string& GetError() const { return m_error; }
    // Keep the name after Close even when this object created it.
    void SetRemoveOnClose(bool remove) { m_removeOnClose = remove; }

    bool Read(size_t offset, void* out, size_t length) const { return m_block.Read(offset, out, length); }
    bool Write(size_t offset, const void* in, size_t length) { return m_block.Write(offset, in, length); }

private:
    Platform::SharedMemoryBlock m_block;
    std::string m_error;
    bool m_removeOnClose = true;
};

} // namespace Orvo
