#pragma once
// Long-running database tasks. A VADTask is the results log the task reports into (a task failed when
// its log holds an error); a VADTaskThread is the body that runs it, on a thread of its own or on the
// calling thread.
#include "assetdb/ResultsLog.h"

#include <cstdint>
#include <thread>

class VADConnection;

class VADTask : public ResultsLog
{
public:
    VADTask() = default;
    ~VADTask() override = default;

    bool Failed() const { return ErrorCount() > 0; }
};

class VADTaskThread
{
public:
    VADTaskThread() = default;
    VADTaskThread(const VADTaskThread&) = delete;
    VADTaskThread& operator=(const VADTaskThread&) = delete;
    virtual ~VADTaskThread();

    // Runs the body on the calling thread and returns when it has finished.
    void RunOnCallingThread(VADTask& task);
    // Runs the body on a thread of its own; Wait returns when it has finished. False when one runs already.
    bool Start(VADTask& task);
    void Wait();

protected:
    virtual void Run(VADTask& task) = 0;

private:
    std::thread thread_;
};

// Database tasks first need this much free disk below the installation root.
constexpr uint64_t kVADTaskMinFreeDisk = 104857600ull;

// Repairs the database (request 70 on `link`) with a repair mode (100 normal, 150 extended, 50 patcher, 20
// base). The flag byte asks the daemon for progress lines (0 for the patcher mode).
class VADTaskRepairDatabase : public VADTaskThread
{
public:
    VADTaskRepairDatabase(VADConnection& link, uint32_t mode, uint8_t progress, uint32_t reserved = 0);

    uint32_t GetMode() const { return mode_; }

protected:
    void Run(VADTask& task) override;

private:
    VADConnection& link_;
    uint32_t mode_;
    uint8_t progress_;
    uint32_t reserved_;
};
