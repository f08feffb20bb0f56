#include "daemon/AssetStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

// A prepared statement that finalises itself.
class Stmt
{
public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    // A statement the store keeps prepared: reset for its next use instead of finalised.
    explicit Stmt(sqlite3_stmt* kept) : s_(kept), kept_(true) {}
    ~Stmt()
    {
        if (!kept_)
            sqlite3_finalize(s_);
        else if (s_)
        {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    explicit operator bool() const { return s_ != nullptr; }
    Stmt& Int(int i, int64_t v)
    {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& Real(int i, double v)
    {
        sqlite3_bind_double(s_, i, v);
        return *this;
    }
    Stmt& Text(int i, const std::string& v)
    {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // The same without a copy: `v` must stay unchanged until the statement has run.
    Stmt& TextKept(int i, const std::string& v)
    {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
        return *this;
    }
    Stmt& Blob(int i, const std::vector<uint8_t>& v)
    {
        sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Kuid(int i, const KUID& k) { return Int(i, k.userId).Int(i + 1, k.contentId).Int(i + 2, k.version); }
    // True for a row; false at the end and on an error, which Failed then tells.
    bool Step()
    {
        rc_ = s_ ? sqlite3_step(s_) : SQLITE_ERROR;
        return rc_ == SQLITE_ROW;
    }
    // True when the statement could not be prepared or its last step failed.
    bool Failed() const { return rc_ != SQLITE_ROW && rc_ != SQLITE_DONE; }
    // True only when the query ran to its end with no row.
    bool NoRow() { return s_ && sqlite3_step(s_) == SQLITE_DONE; }
    bool Run()
    {
        if (!s_) return false;
        int rc = sqlite3_step(s_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    int64_t ColInt(int i) const { return sqlite3_column_int64(s_, i); }
    double ColReal(int i) const { return sqlite3_column_double(s_, i); }
    std::string ColText(int i) const
    {
        const unsigned char* t = sqlite3_column_text(s_, i);
        return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s_, i)) : std::string();
    }
    std::vector<uint8_t> ColBlob(int i) const
    {
        const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, i));
        return p ? std::vector<uint8_t>(p, p + sqlite3_column_bytes(s_, i)) : std::vector<uint8_t>();
    }
    KUID ColKuid(int i) const
    {
        return KUID(static_cast<int32_t>(ColInt(i)), static_cast<int32_t>(ColInt(i + 1)),
                    static_cast<int32_t>(ColInt(i + 2)));
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool kept_ = false;
    int rc_ = SQLITE_DONE;
};

const char* const kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS assets (
  kuid_user INTEGER NOT NULL, kuid_content INTEGER NOT NULL, kuid_version INTEGER NOT NULL,
  source TEXT NOT NULL, folder TEXT NOT NULL, builtin_folder TEXT NOT NULL DEFAULT '',
  username TEXT NOT NULL DEFAULT '', kind TEXT NOT NULL DEFAULT '',
  category_class TEXT NOT NULL DEFAULT '', category_region TEXT NOT NULL DEFAULT '',
  category_era TEXT NOT NULL DEFAULT '', build REAL NOT NULL DEFAULT 0, flags INTEGER NOT NULL DEFAULT 0,
  author_id INTEGER NOT NULL DEFAULT -1, author TEXT NOT NULL DEFAULT '', description TEXT NOT NULL DEFAULT '',
  keywords TEXT NOT NULL DEFAULT '', favourite INTEGER NOT NULL DEFAULT 0, size INTEGER NOT NULL DEFAULT 0,
  install_time INTEGER NOT NULL DEFAULT 0, modified_time INTEGER NOT NULL DEFAULT 0,
  validation INTEGER NOT NULL DEFAULT -1, config_stamp TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (kuid_user, kuid_content, kuid_version));
CREATE TABLE IF NOT EXISTS kuid_table (
  kuid_user INTEGER NOT NULL, kuid_content INTEGER NOT NULL, kuid_version INTEGER NOT NULL, ord INTEGER NOT NULL,
  dep_user INTEGER NOT NULL, dep_content INTEGER NOT NULL, dep_version INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS kuid_table_asset ON kuid_table (kuid_user, kuid_content, kuid_version);
CREATE TABLE IF NOT EXISTS obsolete_table (
  kuid_user INTEGER NOT NULL, kuid_content INTEGER NOT NULL, kuid_version INTEGER NOT NULL, ord INTEGER NOT NULL,
  obs_user INTEGER NOT NULL, obs_content INTEGER NOT NULL, obs_version INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS obsolete_table_asset ON obsolete_table (kuid_user, kuid_content, kuid_version);
CREATE TABLE IF NOT EXISTS edits (
  handle INTEGER PRIMARY KEY AUTOINCREMENT,
  kuid_user INTEGER NOT NULL, kuid_content INTEGER NOT NULL, kuid_version INTEGER NOT NULL,
  created INTEGER NOT NULL DEFAULT 0, name TEXT NOT NULL DEFAULT '',
  UNIQUE (kuid_user, kuid_content, kuid_version));
CREATE TABLE IF NOT EXISTS settings (grp TEXT PRIMARY KEY, tree BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS authors (user_id INTEGER PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS run_copies (
  kuid_user INTEGER NOT NULL, kuid_content INTEGER NOT NULL, kuid_version INTEGER NOT NULL,
  install_time INTEGER NOT NULL, config_stamp TEXT NOT NULL,
  PRIMARY KEY (kuid_user, kuid_content, kuid_version));
)SQL";

}  // namespace

bool AssetStore::Exec(const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) == SQLITE_OK) return true;
    lastError_ = err ? err : "unknown SQLite error";
    sqlite3_free(err);
    return false;
}

bool AssetStore::Failed()
{
    lastError_ = db_ ? sqlite3_errmsg(db_) : "the store is not open";
    return false;
}

StoreRead AssetStore::FailedRead()
{
    Failed();
    return StoreRead::kFailed;
}

bool AssetStore::Open(const std::string& path, std::string* error)
{
    Close();
    // Made here first so that it (and the journal files SQLite derives from it) get mode 0600. A store that
    // cannot be written is refused with the system's reason (SQLite would open it read-only, and say less).
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    const bool creating = fd < 0 && errno == ENOENT;
    if (creating) fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        lastError_ = "'" + path + "' cannot be " + (creating ? "created: " : "opened: ") + std::strerror(errno);
        if (error) *error = lastError_;
        return false;
    }
    fchmod(fd, 0600);
    close(fd);
    // SQLite's memory statistics take a process-wide lock on every allocation; nothing here reads them. The
    // setting is only taken before SQLite starts (later it is refused, which is harmless).
    static std::once_flag noMemoryStatistics;
    std::call_once(noMemoryStatistics, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    // The store's callers serialise every use of the connection (the database's lock), so SQLite need not
    // take a lock of its own around each call.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
    {
        lastError_ = db_ ? sqlite3_errmsg(db_) : "cannot open";
        Close();
        if (error) *error = "cannot open " + path + ": " + lastError_;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // FULL: a transaction that was committed (an install reported done) is on disk, not only in the journal's
    // cache, when the commit returns; a power cut cannot take it back.
    bool ok = Exec("PRAGMA journal_mode=WAL;") && Exec("PRAGMA synchronous=FULL;") && CreateSchema();
    if (!ok)
    {
        if (error) *error = "cannot open " + path + ": " + lastError_;
        Close();
    }
    return ok;
}

bool AssetStore::CreateSchema()
{
    if (!Exec(kSchema)) return false;
    std::string v;
    const StoreRead read = GetMeta("schema_version", v);
    if (read == StoreRead::kNotStored) return SetMeta("schema_version", std::to_string(kAssetStoreSchemaVersion));
    // A version that cannot be read is not written anew: it may be a newer daemon's.
    if (read == StoreRead::kFailed)
    {
        lastError_ = "the schema version could not be read: " + lastError_;
        return false;
    }
    if (atoi(v.c_str()) > kAssetStoreSchemaVersion)
    {
        lastError_ = "the store was written by a newer daemon (schema " + v + ")";
        return false;
    }
    return true;
}

void AssetStore::CloseLeavingFiles()
{
    // Closing normally checkpoints the journal and removes "-wal" and "-shm" by name: names that may now
    // belong to another daemon's store.
    if (db_)
    {
        int on = 1;
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &on);
    }
    Close();
}

void AssetStore::Close()
{
    for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
    prepared_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

sqlite3_stmt* AssetStore::Prepared(const char* sql)
{
    auto it = prepared_.find(sql);
    if (it != prepared_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
    {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    prepared_.emplace(sql, stmt);
    return stmt;
}

bool AssetStore::Begin(bool bulk)
{
    putInTransaction_.Clear();
    listsEmptyAtBegin_ = -1;
    bulk_ = bulk && Exec("PRAGMA cache_spill=OFF;");
    inTransaction_ = Exec("BEGIN IMMEDIATE;");
    if (!inTransaction_) EndBulk();
    return inTransaction_;
}

void AssetStore::EndBulk()
{
    if (bulk_) Exec("PRAGMA cache_spill=ON;");
    bulk_ = false;
}

bool AssetStore::Commit()
{
    inTransaction_ = false;
    putInTransaction_.Clear();
    const bool ok = Exec("COMMIT;");
    if (ok) EndBulk();  // a failed commit is rolled back next
    return ok;
}

void AssetStore::Rollback()
{
    inTransaction_ = false;
    putInTransaction_.Clear();
    Exec("ROLLBACK;");
    EndBulk();
}

bool AssetStore::NoListRowsFor(const KUID& kuid)
{
    // SQLite may end a transaction by itself on some errors: what was learnt within it holds no more.
    if (!inTransaction_ || sqlite3_get_autocommit(db_)) return false;
    if (listsEmptyAtBegin_ < 0)
    {
        Stmt k(Prepared("SELECT 1 FROM kuid_table LIMIT 1"));
        Stmt o(Prepared("SELECT 1 FROM obsolete_table LIMIT 1"));
        listsEmptyAtBegin_ = k.NoRow() && o.NoRow() ? 1 : 0;
    }
    return listsEmptyAtBegin_ == 1 && putInTransaction_.Insert(kuid);
}

bool AssetStore::LoadAssets(std::vector<AssetRecord>& out)
{
    Stmt s(db_, "SELECT kuid_user, kuid_content, kuid_version, source, folder, builtin_folder, username, kind,"
                " category_class, category_region, category_era, build, flags, author_id, author, description,"
                " keywords, favourite, size, install_time, modified_time, validation, config_stamp FROM assets");
    while (s.Step())
    {
        AssetRecord r;
        r.kuid = s.ColKuid(0);
        r.source = s.ColText(3);
        r.folder = s.ColText(4);
        r.builtinFolder = s.ColText(5);
        r.username = s.ColText(6);
        r.kind = s.ColText(7);
        r.categoryClass = s.ColText(8);
        r.categoryRegion = s.ColText(9);
        r.categoryEra = s.ColText(10);
        r.build = static_cast<float>(s.ColReal(11));
        r.flags = static_cast<uint8_t>(s.ColInt(12));
        r.authorId = static_cast<int32_t>(s.ColInt(13));
        r.author = s.ColText(14);
        r.description = s.ColText(15);
        r.keywords = s.ColText(16);
        r.favourite = s.ColInt(17) != 0;
        r.size = static_cast<uint64_t>(s.ColInt(18));
        r.installTime = static_cast<uint64_t>(s.ColInt(19));
        r.modifiedTime = static_cast<uint64_t>(s.ColInt(20));
        r.validation = static_cast<int32_t>(s.ColInt(21));
        r.configStamp = s.ColText(22);
        out.push_back(std::move(r));
    }
    if (s.Failed()) return Failed();
    // The KUID lists, one pass each, joined to their assets by key.
    std::unordered_map<KUID, AssetRecord*> index;
    for (AssetRecord& r : out) index[r.kuid] = &r;
    for (int table = 0; table < 2; ++table)
    {
        Stmt l(db_, table == 0 ? "SELECT kuid_user, kuid_content, kuid_version, dep_user, dep_content, dep_version"
                                 " FROM kuid_table ORDER BY rowid"
                               : "SELECT kuid_user, kuid_content, kuid_version, obs_user, obs_content, obs_version"
                                 " FROM obsolete_table ORDER BY rowid");
        while (l.Step())
        {
            auto it = index.find(l.ColKuid(0));
            if (it == index.end()) continue;
            (table == 0 ? it->second->dependencies : it->second->obsoletes).push_back(l.ColKuid(3));
        }
        if (l.Failed()) return Failed();
    }
    return true;
}

bool AssetStore::PutAsset(const AssetRecord& r)
{
    Stmt s(
        Prepared("INSERT OR REPLACE INTO assets (kuid_user, kuid_content, kuid_version, source, folder, builtin_folder,"
                 " username, kind, category_class, category_region, category_era, build, flags, author_id, author,"
                 " description, keywords, favourite, size, install_time, modified_time, validation, config_stamp)"
                 " VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19,?20,?21,?22,?23)"));
    // The record outlives the statement's run (its bindings are cleared when `s` goes): its texts are bound
    // in place.
    s.Kuid(1, r.kuid).TextKept(4, r.source).TextKept(5, r.folder).TextKept(6, r.builtinFolder);
    s.TextKept(7, r.username).TextKept(8, r.kind).TextKept(9, r.categoryClass).TextKept(10, r.categoryRegion);
    s.TextKept(11, r.categoryEra).Real(12, r.build).Int(13, r.flags).Int(14, r.authorId).TextKept(15, r.author);
    s.TextKept(16, r.description).TextKept(17, r.keywords).Int(18, r.favourite ? 1 : 0);
    s.Int(19, static_cast<int64_t>(r.size)).Int(20, static_cast<int64_t>(r.installTime));
    s.Int(21, static_cast<int64_t>(r.modifiedTime)).Int(22, r.validation).TextKept(23, r.configStamp);
    if (!s.Run()) return false;
    if (!NoListRowsFor(r.kuid))
    {
        Stmt d1(Prepared("DELETE FROM kuid_table WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3"));
        Stmt d2(Prepared("DELETE FROM obsolete_table WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3"));
        if (!d1.Kuid(1, r.kuid).Run() || !d2.Kuid(1, r.kuid).Run()) return false;
    }
    for (int table = 0; table < 2; ++table)
    {
        const std::vector<KUID>& list = table == 0 ? r.dependencies : r.obsoletes;
        for (size_t i = 0; i < list.size(); ++i)
        {
            Stmt a(Prepared(table == 0 ? "INSERT INTO kuid_table VALUES (?1,?2,?3,?4,?5,?6,?7)"
                                       : "INSERT INTO obsolete_table VALUES (?1,?2,?3,?4,?5,?6,?7)"));
            if (!a.Kuid(1, r.kuid).Int(4, static_cast<int64_t>(i)).Kuid(5, list[i]).Run()) return false;
        }
    }
    return true;
}

bool AssetStore::DeleteAsset(const KUID& kuid)
{
    for (const char* sql : {"DELETE FROM assets WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3",
                            "DELETE FROM kuid_table WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3",
                            "DELETE FROM obsolete_table WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3"})
    {
        Stmt s(Prepared(sql));
        if (!s.Kuid(1, kuid).Run()) return false;
    }
    return true;
}

bool AssetStore::LoadEdits(std::vector<EditRecord>& out)
{
    Stmt s(db_, "SELECT handle, kuid_user, kuid_content, kuid_version, created, name FROM edits ORDER BY handle");
    while (s.Step())
    {
        EditRecord e;
        e.handle = static_cast<uint32_t>(s.ColInt(0));
        e.kuid = s.ColKuid(1);
        e.created = s.ColInt(4) != 0;
        e.name = s.ColText(5);
        out.push_back(std::move(e));
    }
    if (s.Failed()) return Failed();
    return true;
}

bool AssetStore::AddEdit(EditRecord& e)
{
    Stmt s(db_, "INSERT INTO edits (kuid_user, kuid_content, kuid_version, created, name) VALUES (?1,?2,?3,?4,?5)");
    if (!s.Kuid(1, e.kuid).Int(4, e.created ? 1 : 0).Text(5, e.name).Run()) return false;
    e.handle = static_cast<uint32_t>(sqlite3_last_insert_rowid(db_));
    return e.handle != 0;
}

bool AssetStore::DeleteEdit(uint32_t handle)
{
    Stmt s(db_, "DELETE FROM edits WHERE handle=?1");
    return s.Int(1, handle).Run();
}

StoreRead AssetStore::GetSettingsGroup(const std::string& group, std::vector<uint8_t>& tree)
{
    Stmt s(db_, "SELECT tree FROM settings WHERE grp=?1");
    s.Text(1, group);
    if (!s.Step()) return s.Failed() ? FailedRead() : StoreRead::kNotStored;
    tree = s.ColBlob(0);
    return StoreRead::kFound;
}

bool AssetStore::PutSettingsGroup(const std::string& group, const std::vector<uint8_t>& tree)
{
    Stmt s(db_, "INSERT OR REPLACE INTO settings (grp, tree) VALUES (?1, ?2)");
    return s.Text(1, group).Blob(2, tree).Run();
}

StoreRead AssetStore::GetMeta(const std::string& key, std::string& value)
{
    Stmt s(db_, "SELECT value FROM meta WHERE key=?1");
    s.Text(1, key);
    if (!s.Step()) return s.Failed() ? FailedRead() : StoreRead::kNotStored;
    value = s.ColText(0);
    return StoreRead::kFound;
}

bool AssetStore::SetMeta(const std::string& key, const std::string& value)
{
    Stmt s(db_, "INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)");
    return s.Text(1, key).Text(2, value).Run();
}

bool AssetStore::LoadRunCopies(std::vector<RunCopyMark>& out)
{
    Stmt s(db_, "SELECT kuid_user, kuid_content, kuid_version, install_time, config_stamp FROM run_copies");
    while (s.Step()) out.push_back(RunCopyMark{s.ColKuid(0), static_cast<uint64_t>(s.ColInt(3)), s.ColText(4)});
    return !s.Failed() || Failed();
}

bool AssetStore::PutRunCopy(const RunCopyMark& mark)
{
    Stmt s(Prepared("INSERT OR REPLACE INTO run_copies (kuid_user, kuid_content, kuid_version, install_time,"
                    " config_stamp) VALUES (?1,?2,?3,?4,?5)"));
    return s.Kuid(1, mark.kuid).Int(4, static_cast<int64_t>(mark.installTime)).TextKept(5, mark.configStamp).Run();
}

bool AssetStore::DropRunCopy(const KUID& kuid)
{
    Stmt s(Prepared("DELETE FROM run_copies WHERE kuid_user=?1 AND kuid_content=?2 AND kuid_version=?3"));
    return s.Kuid(1, kuid).Run();
}

bool AssetStore::PutAuthor(int32_t userId, const std::string& name)
{
    Stmt s(Prepared("INSERT OR REPLACE INTO authors (user_id, name) VALUES (?1, ?2)"));
    return s.Int(1, userId).Text(2, name).Run();
}

StoreRead AssetStore::GetAuthor(int32_t userId, std::string& name)
{
    Stmt s(db_, "SELECT name FROM authors WHERE user_id=?1");
    s.Int(1, userId);
    if (!s.Step()) return s.Failed() ? FailedRead() : StoreRead::kNotStored;
    name = s.ColText(0);
    return StoreRead::kFound;
}
