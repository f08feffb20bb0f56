#include "core/TCXCallback.h"

bool TCXCallback::Invoke(void* argument)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_state = Running;
    }
    struct MarkFinished {
        TCXCallback* self;
        ~MarkFinished()
        {
            std::lock_guard<std::mutex> guard(self->m_lock);
            self->m_state = Finished;
        }
    } mark{this};
    return OnInvoke(argument);
}

void TCXCallback::Cancel()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_state = Cancelled;
    }
    OnCancel();
}

TCXCallback::State TCXCallback::GetState() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_state;
}
