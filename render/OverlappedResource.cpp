#include "render/OverlappedResource.h"

#include "engine/Time.h"
#include "platform/UniqueNumber.h"

#include <algorithm>
#include <atomic>
#include <chrono>

// ---- requests and handles ----

OverlappedResource::OverlappedResource()
    : creationTime_(Orvo::Time::GetSeconds()), sequence_(Platform::NextUniqueNumber())
{}

OverlappedResource::State OverlappedResource::GetState() const { return state_.load(); }

bool OverlappedResource::IsCancelled() const { return cancelled_.load(); }

Overlapped::~Overlapped()
{
    if (request_) OverlappedResourceSystem::Cancel(*this);
}

void Overlapped::SetRequest(OverlappedResource* request)
{
    if (request_ && request_ != request) OverlappedResourceSystem::Cancel(*this);
    request_ = request;
    if (request_) request_->owner_ = this;
}

// ---- the worker ----

class OverlappedResourceSystem::Worker : public Orvo::Thread
{
public:
    explicit Worker(OverlappedResourceSystem& system) : system_(system) { SetName("overlapped"); }
    ~Worker() override { Join(); }

protected:
    uint32_t Run() override
    {
        system_.RunWorker();
        return 0;
    }

private:
    OverlappedResourceSystem& system_;
};

OverlappedResourceSystem::OverlappedResourceSystem() : worker_(std::make_unique<Worker>(*this)) { worker_->Start(); }

OverlappedResourceSystem::~OverlappedResourceSystem()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    work_.notify_all();
    worker_.reset();  // joins after the request it runs
    // What is left belongs to its handles, which finish it on their own threads.
    std::lock_guard<std::mutex> hold(lock_);
    for (OverlappedResource* r : queue_)
    {
        r->state_ = OverlappedResource::StateIdle;
        r->system_ = nullptr;
    }
    for (OverlappedResource* r : finished_) r->system_ = nullptr;
    queue_.clear();
    finished_.clear();
}

bool OverlappedResourceSystem::RunsLater(const OverlappedResource* a, const OverlappedResource* b)
{
    // The heap keeps its greatest element first: a request that runs later is the lesser one.
    if (a->priority_ != b->priority_) return a->priority_ < b->priority_;
    return a->sequence_ > b->sequence_;
}

void OverlappedResourceSystem::RunWorker()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;)
    {
        work_.wait_for(hold, std::chrono::milliseconds(1000), [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        if (queue_.empty()) continue;
        // Every queued request's priority is its age: the oldest comes first.
        const double now = Orvo::Time::GetSeconds();
        for (OverlappedResource* r : queue_) r->priority_ = float(now - r->creationTime_);
        std::make_heap(queue_.begin(), queue_.end(), RunsLater);
        std::pop_heap(queue_.begin(), queue_.end(), RunsLater);
        OverlappedResource* request = queue_.back();
        queue_.pop_back();
        request->state_ = OverlappedResource::StateRunning;
        running_ = request;
        hold.unlock();
        const bool processed = request->Process();
        hold.lock();
        request->attempted_ = true;
        if (processed)
        {
            request->state_ = OverlappedResource::StateProcessed;
            finished_.push_back(request);
        }
        else
            request->state_ = OverlappedResource::StateIdle;
        running_ = nullptr;
        done_.notify_all();
    }
}

// ---- queueing ----

bool OverlappedResourceSystem::Submit(Overlapped& handle, OverlappedResourceSystem* system,
                                      OverlappedResourceCallback::Function process,
                                      OverlappedResourceCallback::Function complete, void* argument,
                                      const std::string& name)
{
    auto* request = new OverlappedResourceCallback(argument, process, complete);
    request->SetName(name);
    handle.SetRequest(request);
    request->system_ = system;
    return system != nullptr && system->Enqueue(request);
}

bool OverlappedResourceSystem::Enqueue(OverlappedResource* request)
{
    if (request == nullptr) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const auto state = request->state_.load();
    if (stopping_ || queue_.size() >= kMaxQueued ||
        (state != OverlappedResource::StateIdle && state != OverlappedResource::StateComplete))
        return false;
    request->system_ = this;
    request->state_ = OverlappedResource::StateQueued;
    queue_.push_back(request);
    std::push_heap(queue_.begin(), queue_.end(), RunsLater);
    work_.notify_one();
    return true;
}

void OverlappedResourceSystem::RemoveQueued(OverlappedResource* request)
{
    auto it = std::find(queue_.begin(), queue_.end(), request);
    if (it == queue_.end()) return;
    *it = queue_.back();
    queue_.pop_back();
    std::make_heap(queue_.begin(), queue_.end(), RunsLater);
}

void OverlappedResourceSystem::RemoveFinished(OverlappedResource* request)
{
    auto it = std::find(finished_.begin(), finished_.end(), request);
    if (it != finished_.end()) finished_.erase(it);
}

size_t OverlappedResourceSystem::QueuedCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return queue_.size();
}

size_t OverlappedResourceSystem::FinishedCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return finished_.size();
}

// ---- finishing on the requester's thread ----

bool OverlappedResourceSystem::Step(OverlappedResource* request)
{
    if (request == nullptr) return false;
    OverlappedResourceSystem* system = request->system_;
    return system ? system->StepHere(request) : StepWithoutSystem(request);
}

bool OverlappedResourceSystem::StepWithoutSystem(OverlappedResource* request)
{
    using R = OverlappedResource;
    if (request->state_ == R::StateComplete) return true;
    if (request->state_ == R::StateProcessed)
    {
        request->state_ = request->Complete() ? R::StateComplete : R::StateIdle;
        return request->state_ == R::StateComplete;
    }
    if (request->cancelled_)
    {
        request->state_ = R::StateIdle;
        return false;
    }
    if (request->state_ == R::StateIdle && request->attempted_) return false;
    request->attempted_ = true;
    if (!request->Process())
    {
        request->state_ = R::StateIdle;
        return false;
    }
    request->state_ = request->Complete() ? R::StateComplete : R::StateIdle;
    return request->state_ == R::StateComplete;
}

bool OverlappedResourceSystem::StepHere(OverlappedResource* request)
{
    using R = OverlappedResource;
    {
        std::unique_lock<std::mutex> hold(lock_);
        if (request->state_ == R::StateQueued)
        {
            RemoveQueued(request);
            request->state_ = R::StateTaken;
        }
        else if (request->state_ == R::StateRunning)
            done_.wait(hold, [request] { return request->state_ != R::StateRunning; });
        if (request->state_ == R::StateComplete) return true;
    }
    slots_.LockRequest(request);
    bool complete = false;
    std::unique_lock<std::mutex> hold(lock_);
    if (request->state_ == R::StateComplete)
        complete = true;  // another thread finished it while this one waited for the slot
    else if (request->state_ == R::StateProcessed)
    {
        RemoveFinished(request);
        hold.unlock();
        complete = request->Complete();
        hold.lock();
        request->state_ = complete ? R::StateComplete : R::StateIdle;
    }
    if (!complete)
    {
        if (request->cancelled_)
            request->state_ = R::StateIdle;
        else if (request->state_ != R::StateIdle || !request->attempted_)
        {
            request->state_ = R::StateTaken;
            request->attempted_ = true;
            hold.unlock();
            bool done = request->Process();
            if (done) done = request->Complete();
            hold.lock();
            request->state_ = done ? R::StateComplete : R::StateIdle;
            complete = done;
        }
    }
    hold.unlock();
    slots_.UnlockRequest(request);
    return complete;
}

void OverlappedResourceSystem::Cancel(Overlapped& handle)
{
    OverlappedResource* request = handle.request_;
    if (request == nullptr) return;
    request->cancelled_ = true;
    Step(request);
    handle.request_ = nullptr;
    delete request;
}

bool OverlappedResourceSystem::Poll(Overlapped& handle)
{
    OverlappedResource* request = handle.request_;
    if (request == nullptr) return false;
    OverlappedResource::State state;
    if (OverlappedResourceSystem* system = request->system_)
    {
        std::lock_guard<std::mutex> hold(system->lock_);
        state = request->state_;
    }
    else
        state = request->state_;
    if (state == OverlappedResource::StateIdle || state == OverlappedResource::StateComplete)
    {
        handle.request_ = nullptr;
        delete request;
    }
    return handle.request_ != nullptr;
}
