#pragma once
// The daemon's SQLite store "assets.tdx": assets with their dependency ("kuid-table") and obsolete
// ("obsolete-table") lists, open edits, settings groups, authors, the marks of runs' own copies and a meta table
// holding the schema version. One connection; the caller serialises access. WAL journal, file mode 0600.
#include "daemon/AssetRecord.h"
#include "daemon/KUIDSet.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

constexpr int kAssetStoreSchemaVersion = 1;

// What a read of one stored value found: the value, no value stored, or nothing known (the store failed; the
// reason in LastError). A failed read is never taken for an absent value.
enum class [[nodiscard]] StoreRead{
    kFound,
    kNotStored,
    kFailed,
};

class AssetStore
{
public:
    AssetStore() = default;
    ~AssetStore() { Close(); }
    AssetStore(const AssetStore&) = delete;
    AssetStore& operator=(const AssetStore&) = delete;

    // Opens (creating when missing) and brings the schema up to date. A store of a newer schema is refused.
    // False with the reason in `error`, which names the store's file.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    // Closes without touching any file by its name (no checkpoint, the journal files left where they are):
    // for a store whose path may already name another one.
    void CloseLeavingFiles();
    bool IsOpen() const { return db_ != nullptr; }

    // One transaction around a group of changes. A bulk one (the scan of every asset folder) keeps its
    // changes in memory until the commit instead of writing them out as the page cache fills.
    bool Begin(bool bulk = false);
    bool Commit();
    void Rollback();

    // Every record; false (with the reason in LastError) when any row or list could not be read.
    bool LoadAssets(std::vector<AssetRecord>& out);
    bool PutAsset(const AssetRecord& rec);
    bool DeleteAsset(const KUID& kuid);

    bool LoadEdits(std::vector<EditRecord>& out);
    // Stores a new edit; its handle is chosen here (never reused).
    bool AddEdit(EditRecord& edit);
    bool DeleteEdit(uint32_t handle);

    // A settings group in the binary tree form.
    StoreRead GetSettingsGroup(const std::string& group, std::vector<uint8_t>& tree);
    bool PutSettingsGroup(const std::string& group, const std::vector<uint8_t>& tree);

    StoreRead GetMeta(const std::string& key, std::string& value);
    bool SetMeta(const std::string& key, const std::string& value);

    // Runs' own copies (RunCopyMark), one a KUID: a mark put replaces the one the KUID had.
    bool LoadRunCopies(std::vector<RunCopyMark>& out);
    bool PutRunCopy(const RunCopyMark& mark);
    bool DropRunCopy(const KUID& kuid);

    bool PutAuthor(int32_t userId, const std::string& name);
    StoreRead GetAuthor(int32_t userId, std::string& name);

    const std::string& LastError() const { return lastError_; }

private:
    bool Exec(const char* sql);
    // Keep SQLite's reason for the step that failed.
    bool Failed();
    StoreRead FailedRead();
    void EndBulk();
    bool CreateSchema();
    // A statement prepared once and kept for the store's life (the SQL text's address is its key: only
    // literals are passed); null when it cannot be prepared.
    sqlite3_stmt* Prepared(const char* sql);

    // True when no list row can belong to `kuid`, so that putting it need not delete any: inside a transaction
    // begun here whose list tables were empty when it first put an asset, for a KUID not put since.
    bool NoListRowsFor(const KUID& kuid);

    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> prepared_;
    // What this connection knows of its list tables within the open transaction (see NoListRowsFor).
    bool inTransaction_ = false;
    bool bulk_ = false;
    int listsEmptyAtBegin_ = -1;  // -1 not yet asked, else 0 or 1
    KUIDSet putInTransaction_;
    std::string lastError_;
};
