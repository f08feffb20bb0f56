#include "engine/SharedMemory.h"

namespace Orvo {

SharedMemory::~SharedMemory()
{
    Close();
}

bool SharedMemory::Create(const std::string& name, size_t size)
{
    Close();
    m_error.clear();
    return m_block.Create(name, size, false, &m_error);
}

bool SharedMemory::Open(const std::string& name, bool writable)
{
    Close();
    m_error.clear();
    return m_block.Open(name, writable, &m_error);
}

void SharedMemory::Close()
{
    if (m_block.IsOpen() && m_block.CreatedNew() && m_removeOnClose)
        Platform::SharedMemoryBlock::Unlink(m_block.Name());
    m_block.Close();
}

} // namespace Orvo
