#include "tool/dls/ExportSources.h"

#include "platform/FolderWalk.h"
#include "tool/Support.h"

#include <map>
#include <utility>

namespace {

using Key = std::pair<dev_t, ino_t>;

// Every regular file below one asset folder, opened as the daemon's copy opens it (by descriptor, never through a
// link), each noted once with the reason it is kept.
class SourceFiles : public Platform::FolderVisitor
{
public:
    SourceFiles(std::map<Key, std::string>& files, std::string folder) : files_(files), folder_(std::move(folder)) {}

    bool EnterFolder(const std::string&, const Platform::Folder&) override { return true; }
    bool File(const std::string& path, const Platform::OpenedFile& file) override
    {
        const Key key{file.Stat().st_dev, file.Stat().st_ino};
        if (files_.count(key) == 0)
            files_[key] =
                "it is '" + folder_ + "/" + path + "', a file of the asset folder '" + folder_ + "' this export reads";
        // Past the bound the walk stops; the caller sees the count.
        return files_.size() <= kMaxExportSourceFiles;
    }
    void LeftOut(const std::string&) override {}

private:
    std::map<Key, std::string>& files_;
    std::string folder_;
};

}  // namespace

bool KeepExportSources(const Orvo::File::Path& folder, const std::vector<Orvo::File::Path>& assetFolders,
                       Platform::KeptInputs& kept, std::string& why)
{
    std::map<Key, std::string> files;
    for (const Orvo::File::Path& asset : assetFolders)
    {
        // A folder that cannot be read whole is not installed whole either: what was read of it is kept.
        const std::string onDisk = OnDiskPath(asset).str();
        Platform::Folder top;
        SourceFiles visitor(files, onDisk);
        if (top.Open(onDisk)) (void)Platform::WalkFolder(top, visitor);
        if (files.size() > kMaxExportSourceFiles)
        {
            why = "The folder '" + folder.str() + "' holds more than " + std::to_string(kMaxExportSourceFiles) +
                  " files in its asset folders, more than one export reads: export its folders one at a time.";
            return false;
        }
    }
    for (const auto& [key, reason] : files) kept.Add({key.first, key.second, true}, reason);
    return true;
}
