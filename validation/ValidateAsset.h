#pragma once
// The validation driver: one asset folder, from its content source and configuration file to the
// daemon's own check of the folder; and the task that runs it on the main thread for the command host.
#include "engine/FilePath.h"
#include "engine/PString.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

class ResultsLog;

namespace TETLib {

class Container;

// Held while one asset's configuration is checked, so that one asset is validated at a time.
std::recursive_mutex& ValidationLock();

// The asset database's own check of an asset folder (the daemon's request 64 on the link the validation was
// asked on): its verdict, its findings in the log. An empty check passes no folder.
using AssetFolderCheck = std::function<bool(std::string_view source, const Orvo::File::Path& folder, ResultsLog& log)>;

// Validates one asset folder (absolute); once its configuration passed, `folderCheck` has the last word.
// `sourceName` may be empty: the folder's content source is then taken from its path. True when the asset
// passed, or is not validated (packed content).
bool ValidateAssetFolder(ResultsLog& log, const Orvo::PString& sourceName, const Orvo::File::Path& folder,
                         const AssetFolderCheck& folderCheck);

// Both stages for one configuration file; false when either failed.
bool ValidateConfig(Container& root, const Orvo::PString& sourceName, const Orvo::File::Path& configPath,
                    ResultsLog& log);

class ValidateAssetTask
{
public:
    ValidateAssetTask(const Orvo::PString& sourceName, const Orvo::File::Path& folder, ResultsLog& log,
                      const AssetFolderCheck& folderCheck)
        : sourceName_(&sourceName), folder_(&folder), log_(&log), folderCheck_(&folderCheck)
    {}
    // Runs the driver on the main thread (at once when called there) and returns its answer.
    static bool Start(ValidateAssetTask& task);
    bool Run(void* argument);
    bool GetResult() const { return result_ != 0; }
    uint64_t GetStartThread() const { return threadId_; }

private:
    const Orvo::PString* sourceName_;
    const Orvo::File::Path* folder_;
    ResultsLog* log_;
    const AssetFolderCheck* folderCheck_;
    uint8_t result_ = 0;
    uint64_t threadId_ = 0;
};

// The command host's validate job: the driver run as a task (on the main thread) while the data manager stands.
bool ValidateAssetForCommandHost(const Orvo::PString& sourceName, const Orvo::File::Path& folder, ResultsLog& log,
                                 const AssetFolderCheck& folderCheck);

}  // namespace TETLib
