#include "engine/SharedMemory.h"

namespace Orvo {

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::Create(const std::string& name, size_t size)
{
    Close();
    error_.clear();
    // An existing block is opened only when it is this user's own with mode 0600 (Open checks).
    created_ = block_.Create(name, size, &error_);
    if (created_ || !Platform::SharedMemoryBlock::Exists(name)) return created_;
    error_.clear();
    return block_.Open(name, true, &error_);
}

bool SharedMemory::Open(const std::string& name, bool writable)
{
    Close();
    error_.clear();
    return block_.Open(name, writable, &error_);
}

void SharedMemory::Close()
{
    if (block_.IsOpen() && created_ && removeOnClose_) Platform::SharedMemoryBlock::Unlink(block_.Name());
    block_.Close();
    created_ = false;
}

}  // namespace Orvo
