#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/ConfigFileBound.h"
#include "platform/OutputFile.h"

bool ReadUserConfigFile(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format,
                        const char* what, const std::string& unreadable, TDBTagRef& out, ResultsLog& log)
{
    switch (LoadConfigFileEx(out, resourceName, path.View(), format))
    {
    case ConfigFileResult::kOK: return true;
    case ConfigFileResult::kTooLarge:
        log.PostResult(kResultError, Orvo::ConfigFileTooLargeText(path.View()) + ".");
        break;
    case ConfigFileResult::kNotRegular:
        log.PostResultF(kResultError, "The %s '%s' is not a regular file; it was not read.", what, path.c_str());
        break;
    default: log.PostResult(kResultError, unreadable); break;
    }
    out.Release();
    return false;
}

bool WriteUserFile(const Orvo::File::Path& path, std::string_view data, std::string& reason)
{
    // The path as given: the file the system finds for it, or a new one of exactly that name.
    return Platform::WriteOutputFile(path.str(), data, 0666, &reason);
}
