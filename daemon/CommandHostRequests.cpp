// Requests served through the command host (validate, archive install, package export), the folder
// check, the archive entry of an asset, and the host's own registration and job replies.
#include "daemon/RequestHandlers.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/PackageTargets.h"
#include "core/ConfigFile.h"
#include "core/TFile.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "daemon/DevicePackage.h"
#include "daemon/FolderOps.h"
#include "daemon/PackageFolder.h"
#include "daemon/TextureCompile.h"
#include "platform/FileWriting.h"
#include "platform/Interruption.h"
#include "platform/OutputFile.h"
#include "platform/OutputFlush.h"
#include "platform/OwnFolders.h"
#include "platform/RenameNoReplace.h"
#include "platform/TemporaryFolder.h"
#include "platform/UniqueFd.h"
#include "platform/UniqueNumber.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMaxEntryFolderBytes = 200ull << 20;  // an archive entry must fit in one reply
constexpr size_t kMaxExportAssets = 100000;
constexpr uint32_t kTexturesAllConverted = 2;  // the texture-convert job's answer when nothing failed

ResultParams PathParam(const std::string& p) { return {{"file_path", p}}; }

// A regular file that begins as a package does ("ACS$"); nothing more is looked at.
bool StartsAsPackage(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    char magic[4];
    const bool package = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, magic, 4, 0) == 4 &&
                         std::memcmp(magic, "ACS$", 4) == 0;
    ::close(fd);
    return package;
}

}  // namespace

namespace {

// Runs the job on the command host; its results go on the request's log, in the order the host posted them.
bool RunHostJob(RequestContext& c, const VADJob& job, VADHostReply& reply)
{
    std::string error;
    if (c.server.Broker().RunJob(job, c.from.get(), reply, error))
    {
        for (VADResultNotification& r : reply.results) c.results.push_back(std::move(r));
        reply.results.clear();
        return true;
    }
    DLOG("command host job %u failed: %s", job.command, error.c_str());
    PostResult(&c.results, kResultError, "The command host could not run the job: " + error);
    return false;
}

// The results from `first` on that name no asset are about `asset`, whose package copy is `copy`: they name it,
// and a file in the copy by its path inside the asset ("a.texture", not the package's working folder).
void AttributeToAsset(DaemonResults& results, size_t first, const KUID& asset, const std::string& copy)
{
    const std::string prefix = copy + "/";
    for (size_t i = first; i < results.size(); ++i)
    {
        VADResultNotification& r = results[i];
        if (!r.hasSource)
        {
            r.hasSource = 1;
            r.source = asset;
        }
        for (size_t at; (at = r.text.find(prefix)) != std::string::npos;) r.text.erase(at, prefix.size());
    }
}

// The packages being made, by the folder they go to: a second export to the same package while one runs would
// remove the first one's working folder under it, and both would fail. It is refused at once instead.
class PackagesInProgress
{
public:
    // False when the package is being made already.
    bool Claim(const std::string& folder)
    {
        std::lock_guard<std::mutex> hold(lock_);
        return folders_.insert(folder).second;
    }
    void Release(const std::string& folder)
    {
        std::lock_guard<std::mutex> hold(lock_);
        folders_.erase(folder);
    }

private:
    std::mutex lock_;
    std::unordered_set<std::string> folders_;
};

PackagesInProgress& ExportsInProgress()
{
    static PackagesInProgress exports;
    return exports;
}

std::string CacheFile(const DaemonRoot& root, const char* stem, const char* ext)
{
    return Platform::OwnNameBeside(root.UserData("cache") + "/" + stem) + ext;
}

// An export's job file in the cache ("export-<pid>-<n>.crak"), which the host writes: made empty, owner-only and
// exclusively (never a file that was there), noted as the daemon's own work, and removed with its note when done.
class OwnJobFile
{
public:
    explicit OwnJobFile(const DaemonRoot& root)
    {
        for (int attempt = 0; attempt < 8 && path_.empty(); ++attempt)
        {
            const std::string path = CacheFile(root, "export", ".crak");
            const Platform::TemporariesLock held;
            const Platform::UniqueFd fd(
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (fd.Get() < 0)
            {
                if (errno == EEXIST) continue;
                return;
            }
            note_ = Platform::NoteTemporary(held, AT_FDCWD, path, false, fd.Get());
            path_ = path;
        }
    }
    ~OwnJobFile()
    {
        if (path_.empty()) return;
        const Platform::TemporariesLock held;
        if (Platform::IsOwnWork(held, path_)) ::unlink(path_.c_str());
        Platform::ForgetTemporary(held, note_);
    }
    OwnJobFile(const OwnJobFile&) = delete;
    OwnJobFile& operator=(const OwnJobFile&) = delete;

    // Empty when none could be made (errno says why).
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    uint64_t note_ = 0;
};

// The absolute asset folder a (source, path) pair names: an absolute path inside the source's folder, or
// a path relative to it. Empty when it lies outside the installation's content folders.
std::string ContentPath(const DaemonRoot& root, const std::string& source, const std::string& path)
{
    std::string base = root.SourceFolder(source);
    if (base.empty()) return {};
    std::string abs;
    if (!path.empty() && path[0] == '/')
        abs = NormalisePath(path);
    else if (IsSafeRelativePath(path))
        abs = NormalisePath(base + "/" + path);
    return !abs.empty() && IsPathInside(abs, base) && abs != NormalisePath(base) ? abs : std::string();
}

int32_t Validate(RequestContext& c, const VADValidateRequest& req, VADBoolReply& answer)
{
    std::string folder = ContentPath(c.server.Root(), req.source, req.folder);
    if (folder.empty() || !FolderExists(folder))
    {
        PostResult(&c.results, kResultError, "$vad_unable_read_config_at", KUID::Null(), PathParam(req.folder));
        return kVADStatusFailed;
    }
    VADJob job;
    job.command = VAD_CMDHOST_VALIDATE;
    job.source = req.source;
    job.path = folder;
    VADHostReply reply;
    if (!RunHostJob(c, job, reply)) return kVADStatusFailed;
    const bool passed = reply.answer != 0;
    // The verdict becomes the validation state of the asset, when the folder is still that asset's active copy
    // (an asset deleted or replaced meanwhile has no state of this folder to keep); a state the store cannot
    // keep fails the request.
    if (!req.kuid.IsNull() && c.Db().ActiveFolder(req.kuid) == folder &&
        c.Db().SetValidation(req.kuid, passed ? kValidationPassed : kValidationFailed) == DbStatus::kFailed)
    {
        PostResult(&c.results, kResultError, "The asset database could not keep the validation result of the asset.",
                   req.kuid);
        return kVADStatusFailed;
    }
    answer.value = passed ? 1 : 0;
    return kVADStatusOK;
}

int32_t FolderCheck(RequestContext& c, const VADTextPairRequest& req, VADBoolReply& answer)
{
    std::string folder = ContentPath(c.server.Root(), req.first, req.second);
    bool ok = false;
    if (folder.empty())
        PostResult(&c.results, kResultError,
                   "The folder '$(FILE_PATH)' is not inside the installation's content folders.", KUID::Null(),
                   PathParam(req.second));
    else if (!FolderExists(folder))
        PostResult(&c.results, kResultError, "The folder '$(FILE_PATH)' does not exist.", KUID::Null(),
                   PathParam(folder));
    else
    {
        AssetRecord rec;
        std::string reason;
        if (!ReadAssetFolder(folder, rec, &reason))
            PostUnreadableAssetFolder(&c.results, kResultError, KUID::Null(), folder, reason);
        else
        {
            ok = true;
            // Every name below the folder must be one an archive can carry.
            std::error_code ec;
            for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            {
                std::string name = it->path().filename().string();
                if (!IsSafeArchiveFileName(name))
                {
                    PostResult(&c.results, kResultError, "The file name '$(FILE_PATH)' cannot be stored in a package.",
                               rec.kuid, PathParam(it->path().string()));
                    ok = false;
                }
            }
        }
    }
    answer.value = ok ? 1 : 0;
    return kVADStatusOK;
}

int32_t ArchiveEntry(RequestContext& c, const VADKuidValueRequest& req, VADTreeReply& reply)
{
    NoteUnusedOption(c, "detail bits", static_cast<uint32_t>(req.value) & ~4u);
    // What is installed while the user's copy is held aside is a run's copy, for that run alone to pack.
    if (c.Db().RefusesHeld(req.kuid, c.Connection(), &c.results, "packed")) return kVADStatusFailed;
    std::string folder = c.server.Database().ActiveFolder(req.kuid);
    if (folder.empty()) return kVADStatusNotFound;
    if (FolderSize(folder) > kMaxEntryFolderBytes)
    {
        PostResult(&c.results, kResultError, "Asset $(ASSET_KUID) is too large for an archive entry.", req.kuid,
                   {{"asset_kuid", req.kuid.ToString()}});
        return kVADStatusFailed;
    }
    TDBTagRef entry;
    Orvo::String reason;
    std::vector<std::string> leftOut;
    if (!MakeArchiveEntryFromFolder(entry, Orvo::File::Path(folder), (req.value & 4) != 0, reason, &leftOut))
    {
        PostResult(&c.results, kResultError, std::string(reason.View()), req.kuid);
        return kVADStatusFailed;
    }
    PostLeftOutFiles(&c.results, req.kuid, leftOut);
    // Setting the tag moves it to the end, so it is only set when the config's own differs: the entry
    // keeps the config's tag order.
    if (entry.GetChildKUID("kuid") != req.kuid) entry.SetChildKUID("kuid", req.kuid);
    return VADTreeToBytes(entry, reply.tree) ? kVADStatusOK : kVADStatusFailed;
}

int32_t AssetFolders(RequestContext& c, const VADKuidListRequest& req, VADAssetFoldersReply& reply)
{
    if (req.kuids.size() > kMaxExportAssets) return kVADStatusBadPayload;
    for (const KUID& k : req.kuids)
        if (c.Db().RefusesHeld(k, c.Connection(), &c.results, "packed")) return kVADStatusFailed;
    reply.folders.reserve(req.kuids.size());
    for (const KUID& k : req.kuids)
    {
        VADAssetInfo info;
        const bool installed = c.Db().Info(k, 0, info) && info.IsInstalled();
        reply.folders.emplace_back(installed ? 1 : 0, installed ? c.Db().ActiveFolder(k) : std::string());
    }
    return kVADStatusOK;
}

int32_t InstallArchive(RequestContext& c, const VADPathOptionRequest& req, VADBoolReply& answer)
{
    NoteUnusedOption(c, "option value", req.value);
    NoteUnusedOption(c, "flag", req.flag);
    // The archive is checked whole (never held in memory), and the job names it: the host checks it again and
    // reads each entry in place, so the package is read once on its way to the installed copies.
    ContentArchiveFile archive;
    Orvo::String result;
    std::string path = NormalisePath(req.path);
    // A package will be installed by the command host: one that is not running yet is started now, so that its
    // start-up goes on while the package is checked.
    if (!path.empty() && StartsAsPackage(path)) c.server.Broker().StartAhead();
    if (path.empty() || !archive.Open(result, path))
    {
        PostResult(&c.results, kResultError, "$vad_unreadable_cdp", KUID::Null(), PathParam(req.path));
        // Why: damaged, not a package at all, or made by a newer version.
        if (!result.IsEmpty()) PostResult(&c.results, kResultError, std::string(result.View()));
        return kVADStatusFailed;
    }
    ArchiveJobContents contents;
    for (const ArchiveFileEntry& e : archive.Entries()) contents.kuids.push_back(e.kuid);
    // An entry without a KUID cannot be installed: each is named, and each counts as not installed.
    const size_t withoutKUID = archive.EntriesWithoutKUIDCount();
    for (const std::string& name : archive.EntriesWithoutKUID())
        PostResult(&c.results, kResultError,
                   "The entry '$(ENTRY_NAME)' of '$(FILE_PATH)' has no valid KUID; it was not installed.", KUID::Null(),
                   {{"file_path", req.path}, {"entry_name", name}});
    if (withoutKUID > archive.EntriesWithoutKUID().size())
        PostResult(&c.results, kResultError,
                   std::to_string(withoutKUID - archive.EntriesWithoutKUID().size()) +
                       " more entries of '$(FILE_PATH)' have no valid KUID; they were not installed.",
                   KUID::Null(), PathParam(req.path));
    VADJob job;
    job.command = VAD_CMDHOST_ARCHIVE_INSTALL;
    job.archiveId = static_cast<uint32_t>(Platform::NextUniqueNumber());
    job.path = path;
    job.kuids = contents.kuids;
    // An asset open for editing is refused (its user's changes are not replaced), the rest of the package
    // installs. Deletes of the package's assets wait for no one: they are refused until the install is done.
    c.Db().BeginPackageInstall(job.kuids, &c.results);
    std::vector<KUID> installed;
    // An empty list would ask the host for every entry of the file.
    if (!job.kuids.empty())
    {
        // Assets the database knows nothing of may be staged by the host and installed in batches (one store
        // transaction each); the rest are opened, written and committed one at a time. The staging folder is
        // the daemon's to remove, whatever becomes of the host.
        job.unknown = c.Db().UnknownAssets(job.kuids);
        if (!job.unknown.empty())
        {
            // Made here and noted as the daemon's own work: a kill leaves it to the sweep at the next start.
            const std::string staging = CacheFile(c.server.Root(), "install", ".staging");
            if (!Platform::MakeOwnFolder(staging, job.staging, 0700))
            {
                // Without it every asset is installed one at a time instead.
                DLOG("the staging folder %s could not be made: %s", staging.c_str(), std::strerror(errno));
                job.staging.clear();
                job.unknown.clear();
            }
        }
        VADHostReply reply;
        bool ran = RunHostJob(c, job, reply);
        c.Db().EndPackageInstall(job.kuids);
        if (!job.staging.empty()) Platform::RemoveOwnFolder(job.staging);
        if (!ran) return kVADStatusFailed;
        installed = std::move(reply.installed);
    }
    const size_t total = contents.kuids.size() + withoutKUID;
    answer.value = installed.size() == total ? 1 : 0;
    if (!answer.value)
        PostResult(&c.results, kResultError,
                   std::to_string(total - std::min(installed.size(), total)) + " of " + std::to_string(total) +
                       " assets of '$(FILE_PATH)' were not installed.",
                   KUID::Null(), PathParam(req.path));
    return kVADStatusOK;
}

// The folder that holds the file `path` leads to, links followed; `path`'s own folder where it cannot be resolved.
std::string RealFolderOf(const std::string& path)
{
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return (ec ? fs::path(path) : real).parent_path().string();
}

// The folder an export makes package `name` in, below `packages`: "<name>.export-partial" where nothing has that
// name, else a hidden name of this process's own. Made here (never a folder that was there) and recorded as the
// process's own work, so that after a kill only that folder is removed. False with errno set.
bool MakeExportFolder(Platform::TemporaryFolder& making, const std::string& packages, const std::string& name)
{
    std::error_code ec;
    if (!FolderExists(packages)) fs::create_directories(packages, ec);
    if (making.Make(packages + "/" + name + kExportPartialSuffix) || errno != EEXIST) return making.IsMade();
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        if (making.Make(Platform::OwnNameBeside(packages + "/.vadexport")) || errno != EEXIST) return making.IsMade();
    }
    return false;
}

int32_t ExportPackage(RequestContext& c, const VADExportPackageRequest& req, VADEmptyPayload&)
{
    if (req.kuids.size() > kMaxExportAssets) return kVADStatusBadPayload;
    // What is installed while the user's copy is held aside is a run's copy, not the user's.
    for (const KUID& k : req.kuids)
        if (c.Db().RefusesHeld(k, c.Connection(), &c.results, "exported")) return kVADStatusFailed;
    // Targets no package can serve are refused before anything is copied or converted.
    if (const std::string refused = RefusedTextureTargets(req.targets); !refused.empty())
    {
        PostResult(&c.results, kResultError, refused);
        return kVADStatusFailed;
    }
    const DaemonRoot& root = c.server.Root();
    // The package is named by the last part of the path given; it always goes under UserData/packages.
    const std::string name = DevicePackageName(req.packagePath);
    // Room is left for the suffix of the folder the package is made in.
    if (!IsSafeFileName(name) || name.size() > kMaxFileNameBytes - 16)
    {
        PostResult(&c.results, kResultError, "'$(FILE_PATH)' is not a package name.", KUID::Null(),
                   PathParam(req.packagePath));
        return kVADStatusFailed;
    }
    for (const std::string& t : req.targets)
        if (t.find(';') != std::string::npos || t.size() > 64) return kVADStatusBadPayload;
    // The package is made in a folder of its own and put in place only when it is complete (PackageFolder.h): a
    // failed export leaves no partial package behind, and an earlier package of that name stays as it is until the
    // new one's files are written into its folder. That folder is made here and now, never one that was there: a
    // folder of its name is a user's and stays as it is, and the export works in one of a name of its own instead.
    const std::string finished = root.UserData("packages") + "/" + name;
    if (!ExportsInProgress().Claim(finished))
    {
        PostResult(&c.results, kResultError,
                   "The package '$(PACKAGE)' is being made by another request; try again when that one is done.",
                   KUID::Null(), {{"package", name}});
        return kVADStatusFailed;
    }
    struct ReleaseClaim
    {
        const std::string& folder;
        ~ReleaseClaim() { ExportsInProgress().Release(folder); }
    } releaseClaim{finished};
    Platform::TemporaryFolder making;
    if (!MakeExportFolder(making, root.UserData("packages"), name))
    {
        PostResult(&c.results, kResultError, "The package folder '$(FILE_PATH)' could not be made: $(REASON).",
                   KUID::Null(), {{"file_path", finished + kExportPartialSuffix}, {"reason", std::strerror(errno)}});
        return kVADStatusFailed;
    }
    const std::string& package = making.Path();
    CrashPoint("exporting");

    // Each asset's copy in the package has its textures converted for the targets, and then holds the
    // compiled textures instead of the pictures they were made from (DevicePackage.h). An asset named twice
    // is exported once.
    std::string targets;
    for (const std::string& t : req.targets) targets += (targets.empty() ? "" : ";") + t;
    std::vector<KUID> assets;
    std::unordered_set<KUID> seen;
    for (const KUID& k : req.kuids)
        if (seen.insert(k).second) assets.push_back(k);
    for (const KUID& k : assets)
    {
        std::string folder = c.server.Database().ActiveFolder(k);
        std::string copy = package + "/" + k.ToSpacedString();
        std::string error;
        if (folder.empty() || !CopyFolderTree(folder, copy, &error))
        {
            PostResult(&c.results, kResultError, "Asset $(ASSET_KUID) could not be exported.", k,
                       {{"asset_kuid", k.ToString()}});
            return kVADStatusFailed;
        }
        // The package holds no note of a description set aside (one an earlier version installed), and holds the
        // description it names under its own name.
        for (const LeftAside& left : GiveBackSetAsideDescriptions(copy, ListTextureDescriptions(copy)))
            PostDescriptionGivenBack(&c.results, k, folder + "/" + left.aside, left.own);
        if (targets.empty()) continue;
        VADJob job;
        job.command = VAD_CMDHOST_TEXTURECONVERT;
        job.source = "packages";
        job.path = copy;
        job.targets = targets;
        VADHostReply reply;
        const size_t before = c.results.size();
        if (!RunHostJob(c, job, reply)) return kVADStatusFailed;
        AttributeToAsset(c.results, before, k, copy);
        // 2: every texture converted; 0: the folder could not be searched or a texture failed; 1: the
        // conversion stopped early. Anything but 2 leaves a package that would not load on the targets.
        if (reply.answer != kTexturesAllConverted)
        {
            PostResult(&c.results, kResultError,
                       "Asset $(ASSET_KUID) was not exported: its textures could not be converted for '$(TARGETS)'.", k,
                       {{"asset_kuid", k.ToString()}, {"targets", targets}});
            return kVADStatusFailed;
        }
        if (!LeaveOutCompiledPictures(copy, k, &c.results)) return kVADStatusFailed;
    }

    // The device copies as one archive, written by the host (the copies' folder given as the job's staging
    // folder: not the installed assets, which hold the source pictures and the desktop's textures).
    VADJob save;
    save.command = VAD_CMDHOST_ARCHIVE_SAVETODISK;
    save.archiveId = static_cast<uint32_t>(Platform::NextUniqueNumber());
    save.kuids = assets;
    save.staging = package;
    // The job file the host writes is made here, owner-only and exclusively, and noted as the daemon's own work
    // until it goes.
    const OwnJobFile jobFile(root);
    if (jobFile.Path().empty())
    {
        PostResult(&c.results, kResultError, "The package '$(FILE_PATH)' could not be written: $(REASON).",
                   KUID::Null(), {{"file_path", finished + "/" + name + ".cdp"}, {"reason", std::strerror(errno)}});
        return kVADStatusFailed;
    }
    save.path = jobFile.Path();
    VADHostReply reply;
    if (!RunHostJob(c, save, reply)) return kVADStatusFailed;
    // 1: every asset was written. An archive that lacks one is no package of them.
    if (reply.answer != 1)
    {
        PostResult(&c.results, kResultError, "The package '$(FILE_PATH)' could not be written.", KUID::Null(),
                   PathParam(finished + "/" + name + ".cdp"));
        return kVADStatusFailed;
    }
    // The host's entries go into the package one at a time, their bytes copied as they stand.
    ArchiveJobReader job;
    Orvo::String reason;
    const bool read = job.Open(Orvo::File::Path(save.path), save.archiveId, reason);
    if (!read)
    {
        PostResult(&c.results, kResultError, std::string(reason.View()));
        return kVADStatusFailed;
    }
    // The archive and the manifest are written as any output the user names: into the folder standing at the
    // package's place (an earlier export's, with whatever else its user keeps in it), else into the folder made
    // here, which then goes into place whole. Both are opened and checked before either is written.
    std::string why;
    const bool standing = PackageFolderStands(finished, why);
    if (!why.empty())
    {
        PostResult(&c.results, kResultError,
                   "The package folder '$(FILE_PATH)' cannot be written: $(REASON); nothing was changed.", KUID::Null(),
                   {{"file_path", finished}, {"reason", why}});
        return kVADStatusFailed;
    }
    const std::string out = standing ? finished : package;
    const std::string archivePath = out + "/" + name + ".cdp", manifestPath = out + "/package.txt";
    ContentArchiveWriter archive;
    Platform::OutputFile manifestFile;
    Orvo::String result;
    auto refused = [&](const std::string& path, const std::string& reason) {
        PostResult(&c.results, kResultError,
                   "The package file '$(FILE_PATH)' cannot be written: $(REASON); nothing "
                   "was changed.",
                   KUID::Null(), {{"file_path", path}, {"reason", reason}});
        return kVADStatusFailed;
    };
    if (!archive.Open(result, Orvo::File::Path(archivePath)))
    {
        PostResult(&c.results, kResultError, std::string(result.View()) + "; nothing was changed.");
        return kVADStatusFailed;
    }
    if (!manifestFile.Open(manifestPath)) return refused(manifestPath, manifestFile.Reason());
    if (manifestFile.IsSameOutputAs(archive.Output())) return refused(manifestPath, "it is '" + archivePath + "' too");
    // A package file with a second name is written in place: never over a file of an asset it packs.
    for (const KUID& k : assets)
    {
        const std::string folder = c.server.Database().ActiveFolder(k);
        if (FolderTreeHoldsFile(folder, archive.Output().Existing()))
            return refused(archivePath, "it is a file of " + k.ToString() + " in '" + folder + "'");
        if (FolderTreeHoldsFile(folder, manifestFile.Existing()))
            return refused(manifestPath, "it is a file of " + k.ToString() + " in '" + folder + "'");
    }
    for (size_t i = 0; i < job.Kuids().size(); ++i)
    {
        ArchiveEntryOnDisk entry;
        if (!job.ReadEntry(i, entry) || !archive.AddEntryOnDisk(result, entry))
        {
            PostResult(&c.results, kResultError, "Asset $(ASSET_KUID) could not be exported.", job.Kuids()[i],
                       {{"asset_kuid", job.Kuids()[i].ToString()}});
            if (!result.IsEmpty()) PostResult(&c.results, kResultError, std::string(result.View()));
            return kVADStatusFailed;
        }
    }
    TDBTagRef manifest = TDBTagRef::NewContainer();
    manifest.SetChildString("name", name);
    manifest.SetChildString("texture-targets", targets);
    TDBTagRef deps = manifest.CreateChildContainer("dependencies");
    for (size_t i = 0; i < req.dependencies.size(); ++i) deps.SetChildString(std::to_string(i), req.dependencies[i]);
    manifest.SetChildKUIDs("assets", req.kuids);
    std::string manifestText;
    if (!SerializeConfigData(manifest, ConfigFileForm::kText, manifestText))
        return refused(manifestPath, "it could not be put in text form");
    // The copies (and the archive's bytes, staged beside them) are on disk before anything of the package is
    // committed: an earlier copy set aside or removed below is never the last whole copy after a power cut.
    if (!Platform::SyncFileSystems({package}, &why))
    {
        PostResult(&c.results, kResultError,
                   "The package's files could not be written to disk: $(REASON); nothing was changed.", KUID::Null(),
                   {{"reason", why}});
        return kVADStatusFailed;
    }
    // Not one step across the files: the archive is committed first, then the manifest, then the copies. A
    // failure on the way leaves what was committed before it, and says so.
    if (!archive.Finish(result))
    {
        PostResult(&c.results, kResultError, std::string(result.View()) + "; nothing was changed.");
        return kVADStatusFailed;
    }
    if (!manifestFile.Commit(manifestText))
    {
        PostResult(&c.results, kResultError,
                   "The package manifest '$(FILE_PATH)' could not be written: $(REASON); the package's archive "
                   "'$(ARCHIVE)' was written.",
                   KUID::Null(),
                   {{"file_path", manifestPath}, {"reason", manifestFile.Reason()}, {"archive", archivePath}});
        return kVADStatusFailed;
    }
    if (standing && !PlaceDeviceCopies(package, finished, name, assets, root.UserData("backups"), &c.results))
    {
        PostResult(&c.results, kResultError,
                   "The package's archive and manifest in '$(FILE_PATH)' were written; not every copy of its assets "
                   "is in place.",
                   KUID::Null(), PathParam(finished));
        return kVADStatusFailed;
    }
    // Never over a folder that appeared meanwhile.
    if (!standing && !making.PutInPlace(finished))
    {
        PostResult(&c.results, kResultError,
                   "The package '$(FILE_PATH)' could not be put in place: $(REASON); nothing was changed.",
                   KUID::Null(), {{"file_path", finished}, {"reason", std::strerror(errno)}});
        return kVADStatusFailed;
    }
    // The folder the package was made in goes first (what it held is in place by now), so that a power cut after
    // the answer finds nothing of it; the answer comes once what was committed is on disk: the package folder, and
    // the folders the archive and manifest are in (a link may lead them elsewhere).
    making.Remove();
    if (!Platform::SyncFileSystems(
            {finished, RealFolderOf(finished + "/" + name + ".cdp"), RealFolderOf(finished + "/package.txt")}, &why))
    {
        PostResult(&c.results, kResultError,
                   "The package '$(FILE_PATH)' was written, but could not be written to disk: $(REASON).", KUID::Null(),
                   {{"file_path", finished}, {"reason", why}});
        return kVADStatusFailed;
    }
    DLOG("exported package %s with %zu assets", name.c_str(), req.kuids.size());
    return kVADStatusOK;
}

int32_t RegisterCommandHost(RequestContext& c, const VADEmptyPayload&, VADEmptyPayload&)
{
    c.server.Broker().Register(c.from);
    return kVADStatusOK;
}

int32_t JobReply(RequestContext& c, const VADRawPayload& req, VADEmptyPayload&)
{
    c.server.Broker().JobReply(c.from.get(), req.bytes);
    return kVADStatusOK;
}

}  // namespace

std::span<const RequestRow> CommandHostRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<VAD_REQ_REGISTER_COMMAND_HOST, RegisterCommandHost>(true),
        Row<VAD_REQ_JOB_REPLY, JobReply>(true),
        Row<VAD_REQ_VALIDATE, Validate>(),
        Row<VAD_REQ_FOLDER_CHECK, FolderCheck>(),
        Row<VAD_REQ_ASSET_FOLDERS, AssetFolders>(),
        Row<VAD_REQ_ARCHIVE_ENTRY, ArchiveEntry>(),
        Row<VAD_REQ_INSTALL_ARCHIVE, InstallArchive>(),
        Row<VAD_REQ_EXPORT_PACKAGE, ExportPackage>(),
    };
    return rows;
}
