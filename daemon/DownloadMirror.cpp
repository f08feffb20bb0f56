#include "daemon/DownloadMirror.h"

#include "core/ConfigFile.h"
#include "daemon/AssetDatabase.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"
#include "engine/ConfigFileBound.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TDBTagRef LoadIndex(const std::string& mirror)
{
    TDBTagRef index;
    struct stat st;
    std::string path = mirror + "/index.txt";
    if (mirror.empty() || lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return TDBTagRef();
    const ConfigFileResult read = LoadConfigFileEx(index, "", path);
    if (read == ConfigFileResult::kTooLarge) DLOG("download station: %s", Orvo::ConfigFileTooLargeText(path).c_str());
    if (read != ConfigFileResult::kOK) return TDBTagRef();
    return index.GetChildContainer("assets");
}

// The mirror folder (its real path); empty when none is set or it is no folder. False when the setting could
// not be read.
bool MirrorFolder(AssetDatabase& db, std::string& folder)
{
    folder.clear();
    std::string setting;
    if (!db.GetSettingString("internet", "dls-mirror", setting)) return false;
    std::string mirror = NormalisePath(setting);
    char real[PATH_MAX];
    if (!mirror.empty() && realpath(mirror.c_str(), real) && FolderExists(real)) folder = real;
    return true;
}

}  // namespace

int OpenMirrorPackage(const std::string& mirror, const std::string& name)
{
    if (mirror.empty() || !IsSafeFileName(name)) return -1;
    int dir = open((mirror + "/packages").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return -1;
    int fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    close(dir);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)))
    {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool FindInMirror(const std::string& mirror, const KUID& k, KUID& latest, std::string& package)
{
    TDBTagRef assets = LoadIndex(mirror);
    bool found = false;
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
    {
        TDBTagRef e = assets.GetChildContainerAt(i);
        KUID have = e.GetChildKUID("kuid");
        std::string file(e.GetChildString("package").View());
        if (have.userId != k.userId || have.contentId != k.contentId || !IsSafeFileName(file)) continue;
        if (!found || latest.version < have.version)
        {
            latest = have;
            package = file;
            found = true;
        }
    }
    return found;
}

bool RefreshStationListing(AssetDatabase& db, std::string& mirror)
{
    // One refresh at a time: two that saw the same change would read the index twice.
    static std::mutex mutex;
    if (!MirrorFolder(db, mirror)) return false;
    struct stat st;
    std::string key = mirror;
    if (!mirror.empty() && stat((mirror + "/index.txt").c_str(), &st) == 0)
        key += ":" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
               std::to_string(st.st_size);
    std::lock_guard lk(mutex);
    if (!db.TakeStationKey(key)) return true;
    std::set<std::pair<int32_t, int32_t>> listed;
    TDBTagRef assets = LoadIndex(mirror);
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
    {
        KUID k = assets.GetChildContainerAt(i).GetChildKUID("kuid");
        if (!k.IsNull()) listed.emplace(k.userId, k.contentId);
    }
    db.SetStationListing(std::move(listed));
    return true;
}

bool RefreshStationListing(AssetDatabase& db)
{
    std::string mirror;
    return RefreshStationListing(db, mirror);
}
