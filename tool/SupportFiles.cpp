#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "platform/OutputFile.h"
#include "platform/RegularFile.h"

namespace {

// The path as the file system sees it: substitutions and the engine's case-insensitive match resolved.
std::string RealPath(std::string_view path)
{
    std::string real;
    return Orvo::File::Resolve(path, real) ? real : std::string(path);
}

}  // namespace

bool ReadUserConfigFile(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format,
                        const char* what, const std::string& unreadable, TDBTagRef& out, ResultsLog& log)
{
    out.Release();
    const std::string real = RealPath(ConfigFilePath(resourceName, path.View()));
    std::string bytes;
    switch (Platform::ReadRegularFile(real, Orvo::kMaxConfigFileBytes, bytes))
    {
    case Platform::RegularFileStatus::kOK: break;
    case Platform::RegularFileStatus::kTooLarge:
        log.PostResult(kResultError, Orvo::ConfigFileTooLargeText(path.View()) + ".");
        return false;
    case Platform::RegularFileStatus::kNotRegular:
        log.PostResultF(kResultError, "The %s '%s' is not a regular file; it was not read.", what, path.c_str());
        return false;
    case Platform::RegularFileStatus::kMissing:
    case Platform::RegularFileStatus::kUnreadable: log.PostResult(kResultError, unreadable); return false;
    }
    if (ParseConfigData(out, bytes, ConfigFileFormFor(path.View(), format), real.c_str()) == ConfigFileResult::kOK)
        return true;
    out.Release();
    log.PostResult(kResultError, unreadable);
    return false;
}

bool WriteUserFile(const Orvo::File::Path& path, std::string_view data, std::string& reason)
{
    return Platform::WriteOutputFile(RealPath(path.View()), data, 0666, &reason);
}
