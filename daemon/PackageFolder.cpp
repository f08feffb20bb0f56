#include "daemon/PackageFolder.h"

#include "daemon/CrashPoint.h"
#include "daemon/FolderOps.h"
#include "platform/Interruption.h"
#include "platform/OutputFlush.h"
#include "platform/RenameNoReplace.h"
#include "platform/TemporaryFolder.h"
#include "platform/UniqueNumber.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Whether every entry below `earlier` has an entry of the same name and kind below `now`: then each of its files
// is replaced by the new copy's file of that name. Anything but files and folders, or a tree that cannot be read
// whole, is not.
bool HasNothingMore(const std::string& earlier, const std::string& now)
{
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(earlier, ec))) return false;
    fs::recursive_directory_iterator it(earlier, ec), end;
    for (; !ec && it != end; it.increment(ec))
    {
        const fs::file_status was = it->symlink_status(ec);
        if (ec || (!fs::is_regular_file(was) && !fs::is_directory(was))) return false;
        const std::string below = it->path().string().substr(earlier.size());  // "/a/b"
        const fs::file_status is = fs::symlink_status(now + below, ec);
        if (ec || is.type() != was.type()) return false;
    }
    return !ec;
}

// What became of an earlier device copy set aside once the new one stood in its place.
struct EarlierCopyLeft
{
    bool removed = false;  // the new copy has every name it has, and it was removed (whole unless `error` says why)
    bool kept = false;     // else it was kept among the backups of uncommitted work, in `keptIn`
    std::string keptIn;
    std::string error;
};

// The earlier copy `aside` goes as an export takes it, once the new one stands at `now`: removed when the new copy
// has every name it has, else kept in backupsRoot as "<package> <copy name> (earlier package copy)", or left where it
// is when it cannot be kept.
EarlierCopyLeft TakeEarlierCopy(const std::string& aside, const std::string& now, const std::string& backupsRoot,
                                const std::string& packageName, const std::string& copyName)
{
    EarlierCopyLeft left;
    if (HasNothingMore(aside, now))
    {
        left.removed = true;
        if (!RemoveFolderTree(aside)) left.error = std::strerror(errno);
        return left;
    }
    left.kept = KeepUncommittedWork(aside, backupsRoot, packageName + " " + copyName + " (earlier package copy)", true,
                                    &left.error, &left.keptIn);
    return left;
}

}  // namespace

bool PackageFolderStands(const std::string& place, std::string& error)
{
    error.clear();
    struct stat st;
    // A link to a folder is the folder it leads to, as a link to an output file is that file.
    if (::stat(place.c_str(), &st) == 0)
    {
        if (S_ISDIR(st.st_mode)) return true;
        error = "it is not a folder";
        return false;
    }
    if (errno != ENOENT || ::lstat(place.c_str(), &st) == 0)
        error = errno == ENOENT ? "it is a link that leads nowhere" : std::strerror(errno);
    return false;
}

bool PlaceDeviceCopies(const std::string& making, const std::string& place, const std::string& packageName,
                       const std::vector<KUID>& assets, const std::string& backupsRoot, DaemonResults* results)
{
    for (const KUID& k : assets)
    {
        const std::string name = k.ToSpacedString(), from = making + "/" + name, to = place + "/" + name;
        auto failed = [&](const std::string& why) {
            PostResult(results, kResultError,
                       "The package's copy of $(ASSET_KUID) could not be put in '$(FILE_PATH)': "
                       "$(REASON).",
                       k, {{"asset_kuid", k.ToString()}, {"file_path", to}, {"reason", why}});
            return false;
        };
        const std::string suffix = Platform::OwnNameBeside("");
        // A package folder on another file system (a link leading there) gets the copy copied into it first, into a
        // folder made for it (recorded as the daemon's own work until it is in place), so that it too goes to its
        // place in one rename.
        Platform::TemporaryFolder moving;
        std::string error;
        struct stat made, there;
        if (::stat(from.c_str(), &made) == 0 && ::stat(place.c_str(), &there) == 0 && made.st_dev != there.st_dev)
        {
            if (!moving.Make(place + "/.vadnew-" + name + suffix)) return failed(std::strerror(errno));
            if (!CopyFolderTree(from, moving.Path(), &error)) return failed(error);
        }
        const auto putInPlace = [&] {
            return moving.IsMade() ? moving.PutInPlace(to) : Platform::RenameNoReplace(from, to);
        };
        if (putInPlace()) continue;
        if (errno != EEXIST) return failed(std::strerror(errno));
        // The earlier copy goes only once the new one is on disk, or a power cut could leave neither: a copy copied
        // onto the package folder's file system is synced here (the caller synced the folder it was made in).
        if (moving.IsMade() && !Platform::SyncFileSystems({place}, &error))
            return failed("it could not be written to disk: " + error);
        // The earlier copy is taken aside under a name of its own (the copy's name is free for a moment), so that
        // nothing is replaced that was not looked at. Recorded first: a kill before the new copy is in place gives
        // the earlier one its name back.
        const std::string aside = place + "/.vadold-" + name + suffix;
        uint64_t setAside = 0;
        {
            const Platform::TemporariesLock held;
            setAside = Platform::NoteSetAside(held, aside, to);
            if (!Platform::RenameNoReplace(to, aside))
            {
                const std::string why = std::strerror(errno);
                Platform::ForgetTemporary(held, setAside);
                return failed(why);
            }
        }
        if (!putInPlace())
        {
            const std::string why = std::strerror(errno);
            const Platform::TemporariesLock held;
            if (Platform::RenameNoReplace(aside, to)) Platform::ForgetTemporary(held, setAside);
            return failed(why);
        }
        CrashPoint("placed");
        // From here on the earlier copy is the daemon's to remove (the new one has every name it has), or a user's
        // to keep: either way it does not go back.
        struct ForgetSetAside
        {
            uint64_t note;
            ~ForgetSetAside()
            {
                const Platform::TemporariesLock held;
                Platform::ForgetTemporary(held, note);
            }
        } forgetSetAside{setAside};
        const EarlierCopyLeft left = TakeEarlierCopy(aside, to, backupsRoot, packageName, name);
        if (left.removed && !left.error.empty())
            PostResult(results, kResultWarning,
                       "The earlier copy of $(ASSET_KUID) in the package could not be removed whole; what is left "
                       "of it is '$(FILE_PATH)'.",
                       k, {{"asset_kuid", k.ToString()}, {"file_path", aside}});
        else if (left.kept)
            PostResult(results, kResultWarning,
                       "The earlier copy of $(ASSET_KUID) in the package held files the new copy does not have; it "
                       "was kept in '$(FILE_PATH)'.",
                       k, {{"asset_kuid", k.ToString()}, {"file_path", left.keptIn}});
        else if (!left.removed)
            PostResult(results, kResultWarning,
                       "The earlier copy of $(ASSET_KUID) in the package held files the new copy does not have; it "
                       "could not be kept among the backups ($(REASON)) and was left as '$(FILE_PATH)'.",
                       k, {{"asset_kuid", k.ToString()}, {"file_path", aside}, {"reason", left.error}});
    }
    return true;
}

std::vector<std::string> CleanupPackageLeftovers(const std::string& packagesRoot, const std::string& backupsRoot,
                                                 Platform::EndedOwnWork& ended)
{
    std::vector<std::string> done;
    std::error_code ec;
    for (fs::directory_iterator it(packagesRoot, ec), end; !ec && it != end; it.increment(ec))
    {
        // A package folder may be a link leading to another file system: the records prove its entries wherever.
        if (!it->is_directory(ec)) continue;
        const std::string place = it->path().string(), packageName = it->path().filename().string();
        for (const Platform::ProvenWork& work : DecideProven(ended, place, Platform::OwnWorkKind::kAside, ".vadold-"))
        {
            const std::string aside = place + "/" + work.name, own = place + "/" + work.ownName;
            if (Platform::RenameNoReplace(aside, own))
            {
                done.push_back("gave the earlier package copy " + aside + " its name " + work.ownName + " back");
                continue;
            }
            if (errno != EEXIST)
            {
                done.push_back("left the earlier package copy " + aside + " as it is: " + std::strerror(errno));
                TakeOn(place, work);
                continue;
            }
            // The export had put its new copy in place: the earlier one goes as the export would have taken it.
            const EarlierCopyLeft left = TakeEarlierCopy(aside, own, backupsRoot, packageName, work.ownName);
            if (left.removed)
                done.push_back(left.error.empty()
                                   ? "removed the earlier package copy " + aside
                                   : "could not remove all of the earlier package copy " + aside + ": " + left.error);
            else if (left.kept)
                done.push_back("the earlier package copy " + aside + " held files the new copy " + own +
                               " does not have: kept in " + left.keptIn);
            else
                done.push_back("the earlier package copy " + aside + " held files the new copy " + own +
                               " does not have, and could not be kept (" + left.error + "): it stays as it is");
            TakeOn(place, work);  // what stays of it
        }
    }
    return done;
}

bool FolderTreeHoldsFile(const std::string& folder, const Platform::FileIdentity& file)
{
    if (!file.known) return false;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        if (Platform::FileIdentity::OfName(it->path().string()).IsSameFile(file)) return true;
    return false;
}
