#pragma once
// Completion callbacks: an object that runs one piece of work and answers with a boolean. The worker runs
// them directly, on the main thread or on a worker thread (VelmarWorker::CallTask).
#include <atomic>
#include <mutex>

class TCXCallback
{
public:
    enum State
    {
        Idle = 0,
        Running = 1,
        Finished = 2,
        Cancelled = 3
    };

    // A new callback holds one reference, owned by its creator.
    TCXCallback() = default;
    TCXCallback(const TCXCallback&) = delete;
    TCXCallback& operator=(const TCXCallback&) = delete;

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release()
    {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // Runs the work with the call's argument. Exceptions pass through to the caller (the worker catches
    // them in VelmarWorker::InternalCallTask).
    bool Invoke(void* argument);

    // The worker calls this instead of Invoke when it drops a queued call unrun (VelmarWorker::CancelTasks).
    void Cancel();

    State GetState() const;

protected:
    virtual ~TCXCallback() = default;
    virtual bool OnInvoke(void* argument) = 0;
    virtual void OnCancel() {}

private:
    std::atomic<long> refs_{1};
    mutable std::mutex lock_;  // guards the state word
    State state_ = Idle;
};

// A callback bound to a member function `bool T::Method(void*)` of a target object and a user pointer.
// The member function receives the call's argument, or the user pointer when the call passes none.
// The target is not owned: it must outlive the call.
template <class T>
class TCXCallbackCPPVoidPtr : public TCXCallback
{
public:
    using Method = bool (T::*)(void*);

    static TCXCallbackCPPVoidPtr* Create(T* target, Method method, void* user = nullptr)
    {
        return new TCXCallbackCPPVoidPtr(target, method, user);
    }

    T* GetTarget() const { return target_; }
    void* GetUserPointer() const { return user_; }

protected:
    bool OnInvoke(void* argument) override
    {
        if (!target_ || !method_) return false;
        return (target_->*method_)(argument ? argument : user_);
    }

private:
    TCXCallbackCPPVoidPtr(T* target, Method method, void* user) : target_(target), method_(method), user_(user) {}

    T* target_;
    Method method_;
    void* user_;
};
