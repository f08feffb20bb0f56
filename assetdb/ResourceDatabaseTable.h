#pragma once
// The shared table of content resource databases: one per source name, counted by its users.
//
// A database makes the files of one content folder reachable under its source name. The table creates
// them through a factory that the program may replace at start-up (the mesh subsystem registers one that
// also serves the engine's resource system); the default factory mounts an engine file substitution
// "<name>:" for the folder and removes it again when the database is destroyed. Releasing the last use
// leaves a database in the table; PurgeResourceDatabases destroys the unused ones.
#include "engine/FilePath.h"
#include "engine/PString.h"

#include <cstddef>
#include <string_view>

class ContentResourceDatabase
{
public:
    ContentResourceDatabase(Orvo::PString name, Orvo::File::Path folder)
        : name_(std::move(name)), folder_(std::move(folder))
    {}
    ContentResourceDatabase(const ContentResourceDatabase&) = delete;
    ContentResourceDatabase& operator=(const ContentResourceDatabase&) = delete;
    virtual ~ContentResourceDatabase() = default;

    const Orvo::PString& GetName() const { return name_; }
    const Orvo::File::Path& GetFolder() const { return folder_; }

private:
    Orvo::PString name_;
    Orvo::File::Path folder_;
};

// The default database: the substitution "<name>:" for the folder, for as long as the database lives.
class SubstResourceDatabase : public ContentResourceDatabase
{
public:
    SubstResourceDatabase(Orvo::PString name, Orvo::File::Path folder);
    ~SubstResourceDatabase() override;
    bool IsMounted() const { return mounted_; }

private:
    bool mounted_ = false;
};

// Creates a database, or returns null when it cannot be opened.
using ResourceDatabaseFactory = ContentResourceDatabase* (*)(const Orvo::PString& name, const Orvo::File::Path& folder);
// Null restores the default factory.
void SetResourceDatabaseFactory(ResourceDatabaseFactory factory);

constexpr size_t kMaxResourceDatabases = 256;

// The database of that name (names compare without regard to case) with one use added, created on the
// folder when the table has none. Null when the name is empty, the table is full or creation fails.
ContentResourceDatabase* AcquireResourceDatabase(const Orvo::PString& name, const Orvo::File::Path& folder);
// The database of a content source on its folder (GetContentFolder). An empty name gives no database and
// found = true (there is nothing to mount); a failure gives null and found = false.
ContentResourceDatabase* AcquireResourceDatabaseForSource(std::string_view sourceName, bool& found);
// Null and databases unknown to the table are ignored.
void AddRefResourceDatabase(ContentResourceDatabase* db);
void ReleaseResourceDatabase(ContentResourceDatabase* db);
// Destroys every database without users; returns how many were destroyed.
size_t PurgeResourceDatabases();
// For tests and diagnostics: the uses of a database of that name, or -1 when the table has none.
int GetResourceDatabaseUseCount(std::string_view name);

// Holds one use of a database. Copying adds a use of the new database before releasing the old one.
class ResourceDatabaseHolder
{
public:
    ResourceDatabaseHolder() = default;
    ResourceDatabaseHolder(const ResourceDatabaseHolder& o);
    ResourceDatabaseHolder& operator=(const ResourceDatabaseHolder& o);
    ~ResourceDatabaseHolder();

    // Acquires the source's database, releasing any held before.
    bool AcquireForSource(std::string_view sourceName);
    // Takes over a use the caller already holds.
    void Adopt(ContentResourceDatabase* db, bool found);

    ContentResourceDatabase* Get() const { return db_; }
    bool IsFound() const { return found_; }
    // The held database's name, or the empty string.
    const Orvo::PString& GetName() const;

    friend void ReleaseHeldResourceDatabase(ResourceDatabaseHolder& holder);

private:
    ContentResourceDatabase* db_ = nullptr;
    bool found_ = false;
};

// Releases the held database and empties the holder; no effect on an empty holder.
void ReleaseHeldResourceDatabase(ResourceDatabaseHolder& holder);
