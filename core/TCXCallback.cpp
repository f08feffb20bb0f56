#include "core/TCXCallback.h"

bool TCXCallback::Invoke(void* argument)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        state_ = Running;
    }
    struct MarkFinished
    {
        TCXCallback* self;
        ~MarkFinished()
        {
            std::lock_guard<std::mutex> guard(self->lock_);
            self->state_ = Finished;
        }
    } mark{this};
    return OnInvoke(argument);
}

void TCXCallback::Cancel()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        state_ = Cancelled;
    }
    OnCancel();
}

TCXCallback::State TCXCallback::GetState() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}
