#pragma once
// Background requests: slow mesh work (building a collision tree for a large mesh) handed to one worker
// thread that runs queued requests oldest first while the requester goes on. The requester keeps an
// Overlapped handle; later it polls the request, finishes it itself (Step), or cancels it.
//
// Whoever makes an OverlappedResourceSystem hands it to what may use it; users given none do without
// background requests. The program itself creates none.
//
// Request states: 0 idle, failed or cancelled; 1 queued; 2 run by the worker; 3 processed, waiting for
// completion; 4 complete; 5 taken out of the queue by the requester. Process runs on the worker (or on
// the requester in Step); Complete always runs on the requester's thread, so a result is handed over
// there. The queue holds at most 5000 requests: a request it refuses stays idle, and Step still does it on
// the requester's thread, so no work is lost.
#include "render/RequestSlotTable.h"

#include "engine/Thread.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Overlapped;
class OverlappedResourceSystem;

class OverlappedResource
{
public:
    enum State : uint32_t
    {
        StateIdle = 0,
        StateQueued = 1,
        StateRunning = 2,
        StateProcessed = 3,
        StateComplete = 4,
        StateTaken = 5,
    };

    OverlappedResource();
    virtual ~OverlappedResource() = default;
    OverlappedResource(const OverlappedResource&) = delete;
    OverlappedResource& operator=(const OverlappedResource&) = delete;

    // The work, and its hand-over on the requester's thread; false when it failed.
    virtual bool Process() { return true; }
    virtual bool Complete() { return true; }

    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    double GetCreationTime() const { return creationTime_; }
    State GetState() const;
    bool IsCancelled() const;
    Overlapped* GetOwner() const { return owner_; }

private:
    friend class Overlapped;
    friend class OverlappedResourceSystem;

    Overlapped* owner_ = nullptr;
    OverlappedResourceSystem* system_ = nullptr;
    std::string name_{"unknown"};
    float priority_ = 0.0f;  // the request's age when the worker last chose
    // Changed under the system's lock; read at any time.
    std::atomic<State> state_{StateIdle};
    std::atomic<bool> cancelled_{false};
    bool attempted_ = false;  // Process has run (a refused request has not)
    double creationTime_;
    uint64_t sequence_;  // creation order, for requests made within one clock tick
};

// A request made of two plain functions of one argument; a missing function counts as success.
class OverlappedResourceCallback : public OverlappedResource
{
public:
    using Function = bool (*)(void* argument);

    OverlappedResourceCallback(void* argument, Function process, Function complete)
        : argument_(argument), process_(process), complete_(complete)
    {}
    bool Process() override { return process_ ? process_(argument_) : true; }
    bool Complete() override { return complete_ ? complete_(argument_) : true; }

private:
    void* argument_;
    Function process_;
    Function complete_;
};

// The requester's handle. Destroying it cancels and finishes its request, then deletes it.
class Overlapped
{
public:
    Overlapped() = default;
    virtual ~Overlapped();
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    OverlappedResource* GetRequest() const { return request_; }
    // Links a request (owned from now on) to this handle; a request held before is cancelled first.
    void SetRequest(OverlappedResource* request);

    // Where the work leaves its result for the requester.
    void* result = nullptr;

private:
    friend class OverlappedResourceSystem;
    OverlappedResource* request_ = nullptr;
};

class OverlappedResourceSystem
{
public:
    static constexpr size_t kMaxQueued = 5000;

    // Starts the worker thread; the new system becomes the process's current one.
    OverlappedResourceSystem();
    // Stops the worker (after the request it runs); requests still queued or processed stay with their
    // handles and are finished by Step on the requester's thread.
    virtual ~OverlappedResourceSystem();
    OverlappedResourceSystem(const OverlappedResourceSystem&) = delete;
    OverlappedResourceSystem& operator=(const OverlappedResourceSystem&) = delete;

    // Makes a callback request for the handle and queues it on `system` (none: the request stays idle for
    // Step). True when it was queued.
    static bool Submit(Overlapped& handle, OverlappedResourceSystem* system,
                       OverlappedResourceCallback::Function process, OverlappedResourceCallback::Function complete,
                       void* argument, const std::string& name);
    // Queues a request (idle or complete ones only); false when the queue is full or it is busy.
    bool Enqueue(OverlappedResource* request);
    // Finishes a request on the calling thread: takes it out of the queue (or waits while the worker runs
    // it), completes what was processed and processes what was not. True when it is complete.
    static bool Step(OverlappedResource* request);
    // Marks the handle's request cancelled, steps it (a queued request never runs) and deletes it.
    static void Cancel(Overlapped& handle);
    // Deletes the handle's request once it is idle or complete; true while the handle still has one.
    static bool Poll(Overlapped& handle);

    size_t QueuedCount() const;
    size_t FinishedCount() const;
    RequestSlotTable& GetSlots() { return slots_; }

private:
    class Worker;
    friend class OverlappedResource;

    static bool RunsLater(const OverlappedResource* a, const OverlappedResource* b);
    static bool StepWithoutSystem(OverlappedResource* request);
    bool StepHere(OverlappedResource* request);
    void RemoveQueued(OverlappedResource* request);
    void RemoveFinished(OverlappedResource* request);
    void RunWorker();

    mutable std::mutex lock_;
    std::condition_variable work_;               // queued work, or the worker told to stop
    std::condition_variable done_;               // the worker finished a request
    std::vector<OverlappedResource*> queue_;     // a heap: the oldest request at the front
    std::vector<OverlappedResource*> finished_;  // processed, waiting for completion
    OverlappedResource* running_ = nullptr;
    bool stopping_ = false;
    RequestSlotTable slots_;
    std::unique_ptr<Worker> worker_;
};
