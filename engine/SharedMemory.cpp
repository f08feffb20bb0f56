#include "engine/SharedMemory.h"

namespace Orvo {

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::Create(const std::string& name, size_t size)
{
    Close();
    error_.clear();
    return block_.Create(name, size, false, &error_);
}

bool SharedMemory::Open(const std::string& name, bool writable)
{
    Close();
    error_.clear();
    return block_.Open(name, writable, &error_);
}

void SharedMemory::Close()
{
    if (block_.IsOpen() && block_.CreatedNew() && removeOnClose_) Platform::SharedMemoryBlock::Unlink(block_.Name());
    block_.Close();
}

}  // namespace Orvo
