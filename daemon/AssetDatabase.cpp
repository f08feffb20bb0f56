#include "daemon/AssetDatabase.h"

#include "assetdb/VADPayloads.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/DaemonLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

AssetDatabase::AssetDatabase(DaemonRoot root) : root_(std::move(root)) {}

AssetDatabase::~AssetDatabase() { Close(); }

bool AssetDatabase::Open(std::string* error)
{
    std::unique_lock lk(mutex_);
    if (!root_.MakeFolders(error)) return false;
    if (!store_.Open(root_.Database(), error)) return false;
    if (LoadLocked()) return true;
    if (error)
        *error =
            "cannot open " + root_.Database() + ": the records could not be read from the store: " + store_.LastError();
    store_.Close();
    return false;
}

void AssetDatabase::Close()
{
    std::unique_lock lk(mutex_);
    store_.Close();
}

void AssetDatabase::CloseLeavingFiles()
{
    std::unique_lock lk(mutex_);
    store_.CloseLeavingFiles();
}

bool AssetDatabase::LoadLocked()
{
    // A load cut short by an error is not taken: part of the records would pass for all of them.
    std::vector<AssetRecord> recs;
    std::vector<EditRecord> edits;
    std::vector<RunCopyMark> marks;
    if (!store_.LoadAssets(recs) || !store_.LoadEdits(edits) || !store_.LoadRunCopies(marks)) return false;
    records_.clear();
    for (AssetRecord& r : recs) records_[r.kuid] = std::move(r);
    runCopies_.clear();
    for (RunCopyMark& mark : marks) runCopies_[mark.kuid] = std::move(mark);
    // The command hosts' edits are not in the store: they stay as they are.
    std::erase_if(edits_, [](const auto& entry) { return entry.second.owner == 0; });
    for (EditRecord& e : edits)
        if (!edits_.count(e.kuid)) edits_[e.kuid] = std::move(e);
    obsoletesDirty_ = true;
    return true;
}

bool AssetDatabase::IsReady() const
{
    std::lock_guard lk(readyMutex_);
    return ready_;
}

bool AssetDatabase::WaitReady(unsigned timeoutMs) const
{
    std::unique_lock lk(readyMutex_);
    return readyCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return ready_; });
}

const AssetRecord* AssetDatabase::FindLocked(const KUID& k) const
{
    auto it = records_.find(k);
    return it == records_.end() ? nullptr : &it->second;
}

const EditRecord* AssetDatabase::FindEditLocked(const KUID& k) const
{
    auto it = edits_.find(k);
    return it == edits_.end() ? nullptr : &it->second;
}

const EditRecord* AssetDatabase::EditByHandleLocked(uint32_t handle) const
{
    for (const auto& [k, e] : edits_)
        if (e.handle == handle) return &e;
    return nullptr;
}

AssetRecord AssetDatabase::CreatedRecord(const EditRecord& e) const
{
    AssetRecord r;
    r.kuid = e.kuid;
    r.username = e.name;
    r.authorId = e.kuid.userId;
    return r;
}

bool AssetDatabase::Exists(const KUID& k) const
{
    std::shared_lock lk(mutex_);
    return FindLocked(k) != nullptr;
}

bool AssetDatabase::GetRecord(const KUID& k, AssetRecord& out) const
{
    std::shared_lock lk(mutex_);
    const AssetRecord* r = FindLocked(k);
    if (!r) return false;
    out = *r;
    return true;
}

std::string AssetDatabase::ActiveFolder(const KUID& k) const
{
    std::shared_lock lk(mutex_);
    const AssetRecord* r = FindLocked(k);
    return r ? Absolute(r->folder) : std::string();
}

void AssetDatabase::ComputeObsoletesLocked() const
{
    std::lock_guard lk(obsoleteMutex_);
    if (!obsoletesDirty_) return;
    obsoleted_.clear();
    const AssetRecord* prev = nullptr;
    for (const auto& [k, r] : records_)
    {
        for (const KUID& o : r.obsoletes) obsoleted_.insert(o);
        // A newer version of the same asset makes the older one obsolete (records are in KUID order).
        if (prev && prev->kuid.userId == k.userId && prev->kuid.contentId == k.contentId) obsoleted_.insert(prev->kuid);
        prev = &r;
    }
    obsoletesDirty_ = false;
}

bool AssetDatabase::ObsoleteLocked(const KUID& k) const
{
    ComputeObsoletesLocked();
    std::lock_guard lk(obsoleteMutex_);
    return obsoleted_.count(k) != 0;
}

bool AssetDatabase::MissingDepsLocked(const AssetRecord& r) const
{
    for (const KUID& d : r.dependencies)
    {
        // Any version at or above the one named satisfies a dependency.
        auto it = records_.lower_bound(
            KUID(d.userId, d.contentId, std::max(0, d.version == 127 && d.userId < 0 ? 0 : d.version)));
        if (it == records_.end() || it->first.userId != d.userId || it->first.contentId != d.contentId) return true;
    }
    return false;
}

uint8_t AssetDatabase::FlagsLocked(const AssetRecord& r) const
{
    uint8_t f = r.flags & (VAD_INFO_PAYWARE | VAD_INFO_PACKAGED | VAD_INFO_DLS_ITEM | VAD_INFO_ON_DLS);
    if (!r.folder.empty()) f |= VAD_INFO_INSTALLED;
    if (r.source == "builtin" || !r.builtinFolder.empty()) f |= VAD_INFO_BUILTIN;
    if (r.source == "local" && !r.builtinFolder.empty()) f |= VAD_INFO_LOCALLY_MODIFIED;
    if (!r.folder.empty() && ObsoleteLocked(r.kuid)) f |= VAD_INFO_OBSOLETE;
    if (OnStationLocked(r.kuid)) f |= VAD_INFO_ON_DLS;
    return f;
}

uint8_t AssetDatabase::Flags2Locked(const AssetRecord& r) const
{
    uint8_t f = 0;
    if (FindEditLocked(r.kuid)) f |= VAD_INFO2_OPEN_FOR_EDIT;
    if (r.validation == kValidationFailed) f |= VAD_INFO2_FAULTY;
    if (MissingDepsLocked(r)) f |= VAD_INFO2_MISSING_DEPENDENCIES;
    return f;
}

bool AssetDatabase::Info(const KUID& k, int32_t mask, VADAssetInfo& out) const
{
    std::shared_lock lk(mutex_);
    out.Clear();
    AssetRecord scratch;
    const AssetRecord* r = FindLocked(k);
    if (!r)
    {
        const EditRecord* e = FindEditLocked(k);
        if (!e) return false;
        scratch = CreatedRecord(*e);
        r = &scratch;
    }
    out.kuid = r->kuid;
    if (mask & VAD_DETAIL_NAME) out.username = r->username;
    if (mask & VAD_DETAIL_KIND) out.kind = Orvo::PString(r->kind);
    if (mask & VAD_DETAIL_CATEGORY)
    {
        out.category = Orvo::PString(r->categoryClass);
        out.region = r->categoryRegion;
        out.era = r->categoryEra;
        out.categoryCodes = RecordCategoryCodes(*r);
    }
    out.fileSize = static_cast<uint32_t>(std::min<uint64_t>(r->size, UINT32_MAX));
    out.authorId = r->authorId;
    out.build = r->build;
    out.flags = FlagsLocked(*r);
    out.flags2 = Flags2Locked(*r);
    out.installTime = r->installTime;
    out.modifiedTime = r->modifiedTime;
    out.valid = 1;
    return true;
}

TDBTagRef AssetDatabase::Config(const KUID& k, bool fromEdit) const
{
    std::string folder;
    {
        std::shared_lock lk(mutex_);
        if (fromEdit && FindEditLocked(k) && !committing_.count(k))
            folder = root_.EditFolder(k);
        else if (const AssetRecord* r = FindLocked(k))
            folder = Absolute(r->folder);
    }
    TDBTagRef tree;
    if (folder.empty() || !LoadAssetConfig(folder, tree)) return TDBTagRef();
    return tree;
}

bool AssetDatabase::HasMissingDependencies(const KUID& k) const
{
    std::shared_lock lk(mutex_);
    const AssetRecord* r = FindLocked(k);
    return !r || MissingDepsLocked(*r);
}

bool AssetDatabase::IsFaulty(const KUID& k) const
{
    std::shared_lock lk(mutex_);
    const AssetRecord* r = FindLocked(k);
    return !r || r->validation == kValidationFailed;
}

std::vector<std::string> AssetDatabase::BuildList() const
{
    std::shared_lock lk(mutex_);
    std::set<int> hundredths;
    for (const auto& [k, r] : records_) hundredths.insert(static_cast<int>(r.build * 100.0f + 0.5f));
    std::vector<std::string> out;
    for (int h : hundredths)
    {
        char buf[32];
        snprintf(buf, sizeof buf, "%d.%d", h / 100, (h % 100) / 10);
        if (h % 10) snprintf(buf, sizeof buf, "%d.%02d", h / 100, h % 100);
        out.push_back(buf);
    }
    return out;
}

DbStatus AssetDatabase::UserIdKnown(int32_t userId)
{
    if (userId < 0 || userId > KUID::kMaxUserId) return DbStatus::kNotFound;
    // The store is asked too: one connection, which one thread at a time may use.
    std::unique_lock lk(mutex_);
    auto it = records_.lower_bound(KUID(userId, 0, 0));
    if (it != records_.end() && it->first.userId == userId) return DbStatus::kOK;
    std::string name;
    const StoreRead author = store_.GetAuthor(userId, name);
    if (author == StoreRead::kFound) return DbStatus::kOK;
    if (author == StoreRead::kFailed)
    {
        DLOG("the author of user id %d could not be read from the store: %s", userId, store_.LastError().c_str());
        return DbStatus::kFailed;
    }
    // The local user's own id.
    TDBTagRef user;
    if (!GroupLocked("user", user)) return DbStatus::kFailed;
    return user.GetChildInt("local-user-id", -1) == userId ? DbStatus::kOK : DbStatus::kNotFound;
}

DbStatus AssetDatabase::AuthorName(int32_t userId, std::string& name)
{
    std::unique_lock lk(mutex_);
    const StoreRead author = store_.GetAuthor(userId, name);
    if (author != StoreRead::kFailed) return author == StoreRead::kFound ? DbStatus::kOK : DbStatus::kNotFound;
    DLOG("the author of user id %d could not be read from the store: %s", userId, store_.LastError().c_str());
    return DbStatus::kFailed;
}

bool AssetDatabase::StoreAuthorLocked(const AssetRecord& r)
{
    return r.author.empty() || r.authorId < 0 || store_.PutAuthor(r.authorId, r.author);
}

DbStatus AssetDatabase::SetFavourite(const KUID& k, bool on, uintptr_t connection)
{
    std::vector<RecordMark> marks{RecordMark{k, true, on, {}}};
    SetRecordMarks(marks, connection);
    return marks[0].status;
}

DbStatus AssetDatabase::SetKeywords(const KUID& k, const std::string& keywords, uintptr_t connection)
{
    std::vector<RecordMark> marks{RecordMark{k, false, false, keywords}};
    SetRecordMarks(marks, connection);
    return marks[0].status;
}

void AssetDatabase::SetRecordMarks(std::vector<RecordMark>& marks, uintptr_t connection)
{
    std::unique_lock lk(mutex_);
    // The records as the marks leave them, each asset once however often it is named; later marks see earlier ones.
    std::map<KUID, AssetRecord> changed;
    std::vector<RecordMark*> stored;  // marks whose fate is the transaction's
    for (RecordMark& m : marks)
    {
        auto change = [&m](AssetRecord& r) {
            if (m.isFavourite)
                r.favourite = m.favourite;
            else
                r.keywords = m.keywords.substr(0, 4096);
        };
        const auto hold = holds_.find(m.kuid);
        const bool held = hold != holds_.end() && hold->second.owner != connection;
        if (held && !ChangeHeldRecordLocked(hold->second, change))
        {
            m.status = DbStatus::kFailed;
            continue;
        }
        auto it = changed.find(m.kuid);
        if (it == changed.end())
        {
            const auto rec = records_.find(m.kuid);
            if (rec == records_.end())
            {
                m.status = held ? DbStatus::kOK : DbStatus::kNotFound;
                continue;
            }
            it = changed.emplace(m.kuid, rec->second).first;
        }
        change(it->second);
        stored.push_back(&m);
    }
    if (stored.empty()) return;
    bool ok = store_.Begin();
    for (auto it = changed.begin(); ok && it != changed.end(); ++it) ok = store_.PutAsset(it->second);
    ok = ok && store_.Commit();
    if (!ok)
    {
        DLOG("keywords or favourite marks of %zu assets could not be stored: %s", changed.size(),
             store_.LastError().c_str());
        store_.Rollback();
    }
    for (RecordMark* m : stored) m->status = ok ? DbStatus::kOK : DbStatus::kFailed;
    if (!ok) return;
    for (auto& [k, r] : changed) records_[k] = std::move(r);
}

// A verdict is of the copy validated, the one installed now: a copy held aside keeps its own.
DbStatus AssetDatabase::SetValidation(const KUID& k, int32_t state)
{
    std::unique_lock lk(mutex_);
    auto it = records_.find(k);
    if (it == records_.end()) return DbStatus::kNotFound;
    AssetRecord r = it->second;
    r.validation = state;
    if (!store_.PutAsset(r)) return DbStatus::kFailed;
    it->second = std::move(r);
    return DbStatus::kOK;
}

bool AssetDatabase::TakeStationKey(const std::string& key)
{
    std::unique_lock lk(mutex_);
    if (key == stationKey_) return false;
    stationKey_ = key;
    return true;
}

void AssetDatabase::SetStationListing(std::set<std::pair<int32_t, int32_t>> listed)
{
    std::unique_lock lk(mutex_);
    stationListed_ = std::move(listed);
}

// ---- settings ------------------------------------------------------------------------------------------

bool AssetDatabase::GroupLocked(const std::string& group, TDBTagRef& out)
{
    std::vector<uint8_t> bytes;
    TDBTagRef tree;
    const StoreRead read = store_.GetSettingsGroup(group, bytes);
    if (read == StoreRead::kNotStored)
    {
        out = TDBTagRef::NewContainer();
        return true;
    }
    if (read == StoreRead::kFailed)
    {
        DLOG("the settings group '%s' could not be read from the store: %s", group.c_str(), store_.LastError().c_str());
        return false;
    }
    // Only groups are stored: anything else is a damaged store, whose values are not known.
    if (!VADTreeFromBytes(bytes, tree) || !tree.IsContainer())
    {
        DLOG("the settings group '%s' in the store is damaged: it is not a group of settings", group.c_str());
        return false;
    }
    out = std::move(tree);
    return true;
}

bool AssetDatabase::PutGroupLocked(const std::string& group, const TDBTagRef& tree)
{
    std::vector<uint8_t> bytes;
    if (!VADTreeToBytes(tree, bytes)) return false;
    return store_.PutSettingsGroup(group, bytes);
}

bool AssetDatabase::GetSettingsGroup(const std::string& group, TDBTagRef& out)
{
    std::unique_lock lk(mutex_);
    return GroupLocked(group, out);
}

bool AssetDatabase::SetSettingsGroup(const std::string& group, const TDBTagRef& tree, DaemonResults* results)
{
    if (!tree.IsContainer()) return false;
    std::vector<std::pair<Orvo::PString, int32_t>> numbers;
    for (size_t i = 0; i < tree.GetChildCount(); ++i)
    {
        TDBTagRef value = tree.GetChildAt(i);
        std::string why;
        bool number = false;
        int32_t n = 0;
        // Clients may keep values of any type in their groups; only those the daemon reads are checked.
        if (!CheckSetting(group, tree.GetChildName(i), value, why, number, n))
        {
            PostResult(results, kResultError, "The settings were not changed: " + why);
            return false;
        }
        if (number && value.GetType() == kACSString) numbers.emplace_back(tree.GetChildName(i), n);
    }
    TDBTagRef stored = tree;
    for (const auto& [key, n] : numbers) stored.SetChildInt(key, n);
    std::unique_lock lk(mutex_);
    return PutGroupLocked(group, stored);
}

bool AssetDatabase::GetSettingString(const std::string& group, const std::string& key, std::string& value)
{
    std::unique_lock lk(mutex_);
    TDBTagRef tree;
    if (!GroupLocked(group, tree)) return false;
    value = std::string(tree.GetChildString(key).View());
    return true;
}

bool AssetDatabase::SetSettingInt(const std::string& group, const std::string& key, int32_t value)
{
    std::unique_lock lk(mutex_);
    // The group is written whole: one that could not be read would lose its other values.
    TDBTagRef tree;
    if (!GroupLocked(group, tree)) return false;
    tree.SetChildInt(key, value);
    if (PutGroupLocked(group, tree)) return true;
    DLOG("the setting '%s'/'%s' could not be stored: %s", group.c_str(), key.c_str(), store_.LastError().c_str());
    return false;
}

bool AssetDatabase::MaxBackupFoldersLocked(int& max, std::string* error)
{
    TDBTagRef developer;
    if (!GroupLocked("developer", developer))
    {
        // Thinning to a guess could remove backups the setting keeps.
        if (error) *error = "the setting \"developer\"/\"max_backup_folders\" could not be read";
        return false;
    }
    // A value stored before it was checked, or of the wrong type, counts as unset, never as 0.
    TDBTagRef value = developer.GetChild("max_backup_folders");
    max = std::clamp(value.GetType() == kACSInteger ? value.GetInt(10) : 10, 1, 1000);
    return true;
}

bool AssetDatabase::FlagRepair(int32_t mode)
{
    std::unique_lock lk(mutex_);
    if (store_.SetMeta("repair_flag", std::to_string(mode))) return true;
    DLOG("the repair flag could not be stored: %s", store_.LastError().c_str());
    return false;
}

// ---- KUIDs ---------------------------------------------------------------------------------------------

KUID AssetDatabase::GenerateKUID(DaemonResults* results)
{
    std::unique_lock lk(mutex_);
    // The local user's id is chosen once: settings that could not be read are not taken for none.
    TDBTagRef user;
    if (!GroupLocked("user", user))
    {
        PostResult(results, kResultError, "No KUID was made: the user settings could not be read.");
        return KUID::Null();
    }
    int32_t uid = user.GetChildInt("local-user-id", -1);
    if (uid < 0 || uid > KUID::kMaxUserId)
    {
        // A first run picks the local user's id and keeps it.
        std::random_device rd;
        uid = 400000 + static_cast<int32_t>(rd() % 100000);
        user.SetChildInt("local-user-id", uid);
        if (!PutGroupLocked("user", user))
        {
            PostResult(results, kResultError, "No KUID was made: the user settings could not be written.");
            return KUID::Null();
        }
    }
    int32_t next = std::max(1, user.GetChildInt("next-content-id", 1));
    // A content id is taken by any version of it (versions sort after version 0 of the same id).
    auto taken = [&](const auto& table, int32_t id) {
        auto it = table.lower_bound(KUID(uid, id, 0));
        return it != table.end() && it->first.userId == uid && it->first.contentId == id;
    };
    while (next < INT32_MAX && (taken(records_, next) || taken(edits_, next))) ++next;
    if (next == INT32_MAX)
    {
        PostResult(results, kResultError,
                   "No KUID was made: every content id of user id " + std::to_string(uid) + " is taken.");
        return KUID::Null();
    }
    user.SetChildInt("next-content-id", next + 1);
    if (!PutGroupLocked("user", user))
    {
        PostResult(results, kResultError, "No KUID was made: the user settings could not be written.");
        return KUID::Null();
    }
    return KUID(uid, next, 0);
}

bool AssetDatabase::SetNextContentId(int32_t id) { return id < 1 || SetSettingInt("user", "next-content-id", id); }
