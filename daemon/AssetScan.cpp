// Bringing the records in line with the asset folders: at start-up (only changed configurations are read
// again) and on repair (every configuration is read again).
#include "daemon/AssetDatabase.h"

#include "daemon/AssetFolderReader.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"
#include "daemon/KUIDSet.h"
#include "daemon/PackageFolder.h"
#include "engine/ConfigFileBound.h"
#include "platform/OwnWorkSweep.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

struct FoundFolder
{
    std::string source;
    std::string rel;  // relative to the root
    std::string builtinRel;
    size_t fresh = SIZE_MAX;  // the candidate read in this pass whose record was stored for it, if any
};

// The folders (not links to folders) in a folder, by name, leaving out hidden ones; one listing, the type
// taken from it where the file system gives it.
std::vector<std::string> SubFolders(const std::string& parent)
{
    std::vector<std::string> out;
    DIR* d = opendir(parent.c_str());
    if (!d) return out;
    const int fd = dirfd(d);
    while (const dirent* e = readdir(d))
    {
        if (e->d_name[0] == '.' || e->d_name[0] == '\0') continue;
        bool folder = e->d_type == DT_DIR;
        struct stat st;
        if (e->d_type == DT_UNKNOWN)
            folder = fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        if (folder) out.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

ResultParams KuidParam(const KUID& k) { return {{"asset_kuid", k.ToString()}}; }

// Stores records on a thread of its own while the scan goes on (the store is about a third of the work of the
// thread that takes the folders in order). The records are stored in the order they are handed over, each as
// it was then: the caller changes none of them until Finish. The caller holds the database's lock throughout,
// so no one else uses the store meanwhile.
class RecordWriter
{
public:
    // Room for `capacity` records; with `threaded` false (or past that many) they are stored at once.
    RecordWriter(AssetStore& store, size_t capacity, bool threaded) : store_(store), queue_(capacity)
    {
        if (threaded) thread_ = std::thread([this] { Run(); });
    }
    ~RecordWriter() { Finish(); }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Put(const AssetRecord& r)
    {
        if (count_ == queue_.size()) Finish();  // the queue is never resized under the writer
        if (!thread_.joinable())
        {
            if (!store_.PutAsset(r)) failed_.store(true, std::memory_order_relaxed);
            return;
        }
        queue_[count_] = &r;
        published_.store(++count_, std::memory_order_release);
        published_.notify_one();
    }
    // True when a record could not be stored (the pass must not be committed then). Call after Finish.
    bool Failed() const { return failed_.load(std::memory_order_relaxed); }
    // Waits until every record handed over is stored.
    void Finish()
    {
        if (!thread_.joinable()) return;
        published_.store(count_ | kFinished, std::memory_order_release);
        published_.notify_one();
        thread_.join();
    }

private:
    static constexpr size_t kFinished = size_t(1) << (sizeof(size_t) * 8 - 1);

    void Run()
    {
        size_t done = 0;
        while (true)
        {
            const size_t v = published_.load(std::memory_order_acquire);
            const size_t n = v & ~kFinished;
            while (done < n)
                if (!store_.PutAsset(*queue_[done++])) failed_.store(true, std::memory_order_relaxed);
            if (v & kFinished) return;
            published_.wait(v, std::memory_order_acquire);
        }
    }

    AssetStore& store_;
    std::vector<const AssetRecord*> queue_;
    size_t count_ = 0;
    std::atomic<size_t> published_{0};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace

bool AssetDatabase::Reconcile(bool full, DaemonResults* results,
                              const std::function<void(const std::string&)>& progress)
{
    bool storedWhole = true;
    auto say = [&](const std::string& line) {
        if (progress) progress(line);
    };
    {
        std::unique_lock lk(mutex_);
        std::string flagged;
        const StoreRead flag = store_.GetMeta("repair_flag", flagged);
        if (flag == StoreRead::kFound && !flagged.empty()) full = true;
        if (flag == StoreRead::kFailed)
        {
            // A flagged repair may be due: the full pass does what the flag asks, and a partial pass no more.
            DLOG("the repair flag could not be read from the store (%s): a full pass is made",
                 store_.LastError().c_str());
            full = true;
        }
        RebuildFolderIndexLocked();
        // A local copy swapped in counts only once the store has its record (same configuration stamp), and a
        // delete once the store holds no copy in that folder; otherwise the operation was cut short before its commit
        // point and the old copy comes back.
        auto recorded = [this](const std::string& target) {
            auto byFolder = folderIndex_.find("UserData/local/" + fs::path(target).filename().string());
            if (byFolder == folderIndex_.end()) return true;
            const AssetRecord* r = FindLocked(byFolder->second);
            if (!r) return true;
            // The store still holds a copy there: a delete that set it aside was never recorded.
            return FolderExists(target) && r->configStamp == AssetConfigStamp(target);
        };
        // What processes of the installation that ended (a daemon killed, a tool cut short) left of their own work,
        // and only what their registers prove (platform/OwnWorkSweep.h): first what needs the store or more than a
        // removal to decide, then the sweep of what the rest prove. A folder that merely has a name like those the
        // daemon works under is left as it is.
        Platform::EndedOwnWork ended(root_.OwnWorkFolder());
        for (const std::string& line : CleanupFolderLeftovers(root_.UserData("local"), recorded, ended))
            DLOG("start-up: %s", line.c_str());
        // An edit folder set aside by a commit, revert or delete: its edit was closed when the store no longer
        // holds it, else the close was cut short and the edit stays open with its folder.
        std::set<std::string> openEdits;
        for (const auto& [k, e] : edits_) openEdits.insert(root_.EditFolder(k));
        auto stillOpen = [&openEdits](const std::string& folder) { return openEdits.count(folder) != 0; };
        for (const std::string& line : CleanupClosedEdits(root_.UserData("editing"), root_.UserData("local"),
                                                          root_.UserData("backups"), stillOpen, ended))
            DLOG("start-up: %s", line.c_str());
        for (const std::string& line :
             CleanupKeepLeftovers(root_.UserData("editing"), root_.UserData("backups"), ended))
            DLOG("start-up: %s", line.c_str());
        for (const std::string& line : CleanupBackupLeftovers(root_.UserData("backups"), ended))
            DLOG("start-up: %s", line.c_str());
        for (const std::string& line :
             CleanupPackageLeftovers(root_.UserData("packages"), root_.UserData("backups"), ended))
            DLOG("start-up: %s", line.c_str());
        for (const std::string& line : ended.Sweep()) DLOG("start-up: %s", line.c_str());
        const std::vector<std::string> locals = SubFolders(root_.UserData("local"));
        // An edit folder that no open edit has: a command host's edit (kept in memory only) whose daemon was
        // killed, or an edit whose opening was cut short before its record. Nobody holds it as an open edit;
        // it goes into a backup rather than away, and frees the name.
        for (const std::string& name : SubFolders(root_.UserData("editing")))
        {
            const std::string folder = root_.UserData("editing/" + name);
            if (stillOpen(folder)) continue;
            std::string error;
            std::vector<std::string> keptIn;
            const bool kept = KeepFolderWithoutEdit(folder, root_.UserData("backups"), name + kEditFolderWithoutEdit,
                                                    &error, &keptIn);
            for (const std::string& place : keptIn)
                DLOG("start-up: the edit folder %s had no edit: kept in %s", name.c_str(), place.c_str());
            if (!kept && keptIn.empty())
                DLOG("start-up: the edit folder %s has no edit and could not be set aside: %s", name.c_str(),
                     error.c_str());
            else if (!kept)
                DLOG("start-up: the edit folder %s had no edit and could not all be kept: %s", name.c_str(),
                     error.c_str());
        }

        // The folders that may hold assets: built-in packs (a pack that is itself an asset, or its
        // sub-folders), then the installed assets.
        struct Candidate
        {
            Candidate(std::string s, std::string r) : source(std::move(s)), rel(std::move(r)) {}
            std::string source;
            std::string rel;
            // Filled in by the reading pass:
            std::string stamp;
            bool known = false;  // a record of this folder with this stamp exists: not read again
            bool read = false;
            AssetRecord rec;
            std::string reason;
        };
        std::vector<Candidate> candidates;
        candidates.reserve(locals.size() + 64);
        say("Scanning built-in assets");
        for (const std::string& pack : SubFolders(root_.Path("builtin")))
        {
            std::string packRel = "builtin/" + pack;
            if (!FindAssetConfig(root_.Path(packRel)).empty())
            {
                candidates.emplace_back("builtin", packRel);
                continue;
            }
            for (const std::string& a : SubFolders(root_.Path(packRel)))
                candidates.emplace_back("builtin", packRel + "/" + a);
        }
        const size_t builtinCount = candidates.size();
        for (const std::string& a : locals) candidates.emplace_back("local", "UserData/local/" + a);

        // Reads one folder (on any of the reading threads).
        auto readOne = [&](Candidate& c) {
            std::string abs = root_.Path(c.rel);
            if (full || folderIndex_.find(c.rel) == folderIndex_.end())
            {
                // A folder without a record is read whole: one listing gives its configuration and its size,
                // one open the configuration's stamp and text.
                uint64_t size = 0;
                const AssetConfigFiles configs = ListAssetConfigs(abs, &size);
                if (configs.path.empty()) return;
                c.read = ReadAssetConfigStamped(configs.path, c.rec, c.stamp, &c.reason) && !c.stamp.empty();
                if (!c.read) return;
                c.rec.size = size;
                c.rec.configStamp = c.stamp;
                return;
            }
            const AssetConfigFiles configs = ListAssetConfigs(abs);
            c.stamp = AssetConfigStampAt(configs.path);
            if (c.stamp.empty()) return;
            // A record of this folder with the same stamp need not be read again.
            if (!full)
            {
                auto byFolder = folderIndex_.find(c.rel);
                if (byFolder != folderIndex_.end())
                {
                    const AssetRecord* r = FindLocked(byFolder->second);
                    if (r && r->configStamp == c.stamp && r->folder == c.rel)
                    {
                        c.rec.kuid = r->kuid;
                        c.known = true;
                        return;
                    }
                }
            }
            c.read = ReadAssetConfigAt(configs.path, c.rec, &c.reason);
            if (!c.read) return;
            c.rec.size = FolderSize(abs);
            c.rec.configStamp = c.stamp;
        };
        // Asset folders on disk, by the KUID their configuration names: built-in first, local copies over them.
        std::map<KUID, FoundFolder> found;
        KUIDSet stored;  // KUIDs whose row this pass has written
        const size_t total = candidates.size();
        // Every answer of the store counts: a pass that could not be stored whole is not committed, and the
        // records are read back from the store as they were. Once it has failed, nothing more is asked of it.
        bool storeOK = store_.Begin(true);
        std::string storeError = storeOK ? std::string() : store_.LastError();
        auto store = [&](const auto& op) {
            if (!storeOK) return;
            storeOK = op();
            if (!storeOK) storeError = store_.LastError();
        };
        RecordWriter writer(store_, total, storeOK && total >= 64);
        const uint64_t now = static_cast<uint64_t>(time(nullptr));
        // A folder read in this pass and taken for its KUID has its record completed and stored at once, while
        // other folders are still being read. A folder taken later for the same KUID stores its own over it.
        auto complete = [&](Candidate& c, const FoundFolder& f) {
            AssetRecord& rec = c.rec;
            rec.source = f.source;
            rec.folder = f.rel;
            rec.builtinFolder = f.builtinRel;
            auto old = records_.find(rec.kuid);
            if (old != records_.end())
            {
                rec.favourite = old->second.favourite;
                rec.keywords = old->second.keywords;
                rec.installTime = old->second.installTime;
                rec.flags = old->second.flags;
                // A changed configuration has to be validated again.
                rec.validation =
                    old->second.configStamp == rec.configStamp ? old->second.validation : kValidationUnknown;
                rec.modifiedTime = old->second.configStamp == rec.configStamp ? old->second.modifiedTime : now;
            }
            else
                rec.installTime = rec.modifiedTime = now;
            if (storeOK) writer.Put(rec);
            stored.Insert(rec.kuid);
        };
        auto consider = [&](Candidate& c) {
            const std::string& source = c.source;
            const std::string& rel = c.rel;
            if (c.stamp.empty()) return false;
            KUID k = c.rec.kuid;
            if (!c.known)
            {
                if (!c.read)
                {
                    DLOG("skipping %s: %s", rel.c_str(), c.reason.c_str());
                    PostUnreadableAssetFolder(results, kResultWarning, KUID::Null(), root_.Path(rel), c.reason);
                    return false;
                }
                k = c.rec.kuid;
            }
            auto at = found.find(k);
            if (at != found.end())
            {
                if (source == "local" && at->second.source == "builtin")
                    at->second = FoundFolder{source, rel, at->second.rel};
                else if (source == "local" && rel == "UserData/local/" + k.ToSpacedString())
                {
                    // Two local copies: the one under the KUID's own folder name is the installed one.
                    DLOG("%s: %s is also in %s", rel.c_str(), k.ToString().c_str(), at->second.rel.c_str());
                    at->second = FoundFolder{source, rel, at->second.builtinRel};
                }
                else
                {
                    DLOG("%s: %s is already indexed from %s", rel.c_str(), k.ToString().c_str(),
                         at->second.rel.c_str());
                    return false;
                }
            }
            else
                at = found.emplace(k, FoundFolder{source, rel, {}}).first;
            // A folder read in this pass has its record complete and stored.
            if (!c.known)
            {
                at->second.fresh = static_cast<size_t>(&c - candidates.data());
                complete(c, at->second);
            }
            else
                at->second.fresh = SIZE_MAX;
            return true;
        };

        // Reading the folders is most of the work and touches nothing shared (the records are only looked at,
        // under the lock this thread holds): it is spread over the processors. This thread takes the folders
        // in order as they are read, and reads the next one itself while the one it waits for is not ready.
        size_t added = 0, updated = 0, dropped = 0;
        {
            std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[total]);
            for (size_t i = 0; i < total; ++i) done[i].store(false, std::memory_order_relaxed);
            std::atomic<size_t> next{0};
            auto readNext = [&] {
                const size_t i = next.fetch_add(1);
                if (i >= total) return false;
                readOne(candidates[i]);
                done[i].store(true, std::memory_order_release);
                done[i].notify_all();
                return true;
            };
            const size_t threads =
                total < 64 ? 1 : std::min<size_t>(8, std::max(1u, std::thread::hardware_concurrency()));
            std::vector<std::thread> pool;
            for (size_t t = 1; t < threads; ++t)
                pool.emplace_back([&] {
                    while (readNext())
                    {}
                });
            for (size_t i = 0; i < total; ++i)
            {
                while (!done[i].load(std::memory_order_acquire))
                    if (!readNext()) done[i].wait(false, std::memory_order_acquire);
                if (i == builtinCount) say("Scanning installed assets");
                consider(candidates[i]);
            }
            if (total == builtinCount) say("Scanning installed assets");
            for (std::thread& t : pool) t.join();
        }
        writer.Finish();
        store([&] { return !writer.Failed(); });

        for (auto it = records_.begin(); it != records_.end();)
        {
            if (found.count(it->first))
            {
                ++it;
                continue;
            }
            DLOG("dropping %s: its folder %s is gone", it->first.ToString().c_str(), it->second.folder.c_str());
            PostResult(results, kResultMessage,
                       "Asset $(ASSET_KUID) was removed from the database: its folder is gone.", it->first,
                       KuidParam(it->first));
            store([&] { return store_.DeleteAsset(it->first); });
            it = records_.erase(it);
            ++dropped;
        }
        for (auto& [k, f] : found)
        {
            auto old = records_.find(k);
            if (f.fresh == SIZE_MAX)
            {
                // Unchanged configuration: only where it lives may have changed. Its row is written again
                // also when a folder taken earlier in this pass stored its own.
                AssetRecord& r = old->second;
                const bool moved = r.source != f.source || r.folder != f.rel || r.builtinFolder != f.builtinRel;
                if (moved || stored.Contains(k))
                {
                    r.source = f.source;
                    r.folder = f.rel;
                    r.builtinFolder = f.builtinRel;
                    store([&] { return store_.PutAsset(r); });
                    if (moved) ++updated;
                }
                continue;
            }
            AssetRecord& rec = candidates[f.fresh].rec;  // complete and stored when its folder was taken
            if (old != records_.end())
                ++updated;
            else
            {
                if (results)
                    PostResult(results, kResultMessage, "Asset $(ASSET_KUID) was added to the database.", k,
                               KuidParam(k));
                ++added;
            }
            store([&] { return StoreAuthorLocked(rec); });
            // The KUIDs come in order: on a first scan each goes at the end.
            if (old != records_.end())
                old->second = std::move(rec);
            else
                records_.emplace_hint(records_.end(), k, std::move(rec));
        }
        // Edits whose folder has gone cannot be committed any more.
        for (auto it = edits_.begin(); it != edits_.end();)
        {
            const KUID k = it->first;
            const EditRecord& e = (it++)->second;  // the next one stays valid when this one is erased
            const std::string folder = root_.EditFolder(k);
            if (FolderExists(folder)) continue;
            // Set aside by a close that was cut short and could not be put back: the folder is still the edit's,
            // and the edit stays open with it (dropped, its folder would be thrown away as a closed edit's).
            if (OwnClosedEditFolder(folder))
            {
                DLOG("the edit of %s stays open: its folder is set aside as %s", k.ToString().c_str(),
                     ClosedEditFolderFor(folder).c_str());
                continue;
            }
            DLOG("dropping the edit of %s: its folder is gone", k.ToString().c_str());
            // A command host's edit is not stored.
            if (e.owner == 0) store([&] { return store_.DeleteEdit(e.handle); });
            EraseEditLocked(k);
        }
        // A run's own copy is known by what it is: a mark whose copy is gone or was read again as another goes.
        const std::vector<KUID> unmarked = RunCopiesWithoutTheirCopyLocked();
        for (const KUID& k : unmarked) store([&] { return store_.DropRunCopy(k); });
        if (full) store([&] { return store_.SetMeta("repair_flag", ""); });
        store([&] { return store_.Commit(); });
        if (storeOK)
            for (const KUID& k : unmarked)
            {
                DLOG("%s is no longer a run's own copy: its record is %s", k.ToString().c_str(),
                     records_.count(k) ? "another copy's" : "gone");
                RunCopyChangedLocked(k, nullptr);
            }
        if (!storeOK)
        {
            DLOG("%s could not be stored: %s", full ? "repair" : "scan", storeError.c_str());
            PostResult(results, kResultError,
                       std::string("The asset database could not store the ") + (full ? "repair" : "scan") + ": " +
                           storeError);
            store_.Rollback();
            // A store that cannot be read either leaves the records as this pass found them.
            if (!LoadLocked()) DLOG("the records could not be read from the store: %s", store_.LastError().c_str());
            storedWhole = false;
        }
        // The index serves only this pass; the next one makes it anew.
        std::unordered_map<std::string, KUID>().swap(folderIndex_);
        obsoletesDirty_ = true;
        char line[200];
        snprintf(line, sizeof line, "%s: %zu assets, %zu added, %zu updated, %zu dropped, %zu open for editing",
                 full ? "repair" : "scan", records_.size(), added, updated, dropped, edits_.size());
        DLOG("%s", line);
        say(line);
    }
    Orvo::GiveBackMemoryAfterLargeLoads();
    PutBackHoldsLeftAtStart();
    std::lock_guard lk(readyMutex_);
    ready_ = true;
    readyCv_.notify_all();
    return storedWhole;
}

void AssetDatabase::RebuildFolderIndexLocked()
{
    folderIndex_.clear();
    folderIndex_.reserve(records_.size());
    for (const auto& [k, r] : records_) folderIndex_.insert_or_assign(r.folder, k);
}
