#include "assetdb/VADTask.h"

#include "assetdb/VADClient.h"
#include "platform/Disk.h"

VADTaskThread::~VADTaskThread() { Wait(); }

void VADTaskThread::RunOnCallingThread(VADTask& task) { Run(task); }

bool VADTaskThread::Start(VADTask& task)
{
    if (thread_.joinable()) return false;
    thread_ = std::thread([this, &task] { Run(task); });
    return true;
}

void VADTaskThread::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

VADTaskRepairDatabase::VADTaskRepairDatabase(VADConnection& link, uint32_t mode, uint8_t progress, uint32_t reserved)
    : link_(link), mode_(mode), progress_(progress), reserved_(reserved)
{}

void VADTaskRepairDatabase::Run(VADTask& task)
{
    (void)reserved_;
    std::string root = link_.Root();
    if (root.empty()) root.push_back('.');
    Platform::DiskSpace space;
    // A disk that cannot be examined is not refused: the daemon reports its own failure then.
    if (Platform::GetDiskSpace(root, &space) && space.freeBytes < kVADTaskMinFreeDisk)
    {
        task.PostResult(kResultError, "Not enough free disk space to repair the asset database (100 MiB are needed).");
        return;
    }
    if (!VADClient(link_).RepairDatabase(mode_, &task, progress_) && task.ErrorCount() == 0)
        task.PostResult(kResultError, "The asset database could not be repaired.");
}
