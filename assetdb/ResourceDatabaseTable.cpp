#include "assetdb/ResourceDatabaseTable.h"

#include "assetdb/ContentFolders.h"

#include "core/LogPrintf.h"
#include "engine/File.h"

#include <memory>
#include <mutex>
#include <vector>

namespace {

ContentResourceDatabase* DefaultFactory(const Orvo::PString& name, const Orvo::File::Path& folder)
{
    auto db = std::make_unique<SubstResourceDatabase>(name, folder);
    return db->IsMounted() ? db.release() : nullptr;
}

struct Entry
{
    std::unique_ptr<ContentResourceDatabase> db;
    int uses = 0;
};

struct Table
{
    std::mutex lock;
    std::vector<Entry> entries;
    ResourceDatabaseFactory factory = &DefaultFactory;
};

Table& TheTable()
{
    // Process-wide: the engine's resource databases are shared by name across the run; outlives every
    // static holder.
    static Table* table = new Table;
    return *table;
}

Entry* FindByName(Table& t, std::string_view name)
{
    for (Entry& e : t.entries)
        if (e.db->GetName().EqualsNoCase(name)) return &e;
    return nullptr;
}

Entry* FindByPointer(Table& t, const ContentResourceDatabase* db)
{
    for (Entry& e : t.entries)
        if (e.db.get() == db) return &e;
    return nullptr;
}

}  // namespace

SubstResourceDatabase::SubstResourceDatabase(Orvo::PString name, Orvo::File::Path folder)
    : ContentResourceDatabase(std::move(name), std::move(folder))
{
    // A substitution name ends at the first ":"; names that could not be looked up again are refused.
    std::string_view n = GetName().View();
    if (n.empty() || n.find(':') != std::string_view::npos || GetFolder().IsEmpty()) return;
    std::string target = GetFolder().str();
    if (target.back() != '/') target += '/';
    mounted_ = Orvo::File::Subst(GetName().c_str(), target.c_str(), true);
}

SubstResourceDatabase::~SubstResourceDatabase()
{
    if (mounted_) Orvo::File::Subst(GetName().c_str(), nullptr, false);
}

void SetResourceDatabaseFactory(ResourceDatabaseFactory factory)
{
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    t.factory = factory ? factory : &DefaultFactory;
}

ContentResourceDatabase* AcquireResourceDatabase(const Orvo::PString& name, const Orvo::File::Path& folder)
{
    if (name.IsEmpty()) return nullptr;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    if (Entry* e = FindByName(t, name.View()))
    {
        ++e->uses;
        return e->db.get();
    }
    if (t.entries.size() >= kMaxResourceDatabases)
    {
        LogPrintf("AcquireResourceDatabase> table full, cannot add '%s'", name.c_str());
        return nullptr;
    }
    ContentResourceDatabase* db = t.factory(name, folder);
    if (!db)
    {
        LogPrintf("AcquireResourceDatabase> unable to open '%s' on '%s'", name.c_str(), folder.c_str());
        return nullptr;
    }
    t.entries.push_back(Entry{std::unique_ptr<ContentResourceDatabase>(db), 1});
    return db;
}

ContentResourceDatabase* AcquireResourceDatabaseForSource(std::string_view sourceName, bool& found)
{
    found = sourceName.empty();
    if (sourceName.empty()) return nullptr;
    Orvo::File::Path folder = GetContentFolder(sourceName);
    if (folder.IsEmpty()) return nullptr;
    ContentResourceDatabase* db = AcquireResourceDatabase(Orvo::PString(sourceName), folder);
    found = db != nullptr;
    return db;
}

void AddRefResourceDatabase(ContentResourceDatabase* db)
{
    if (!db) return;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    if (Entry* e = FindByPointer(t, db)) ++e->uses;
}

void ReleaseResourceDatabase(ContentResourceDatabase* db)
{
    if (!db) return;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    Entry* e = FindByPointer(t, db);
    if (!e) return;
    if (e->uses > 0)
        --e->uses;
    else
        LogPrintf("ReleaseResourceDatabase> '%s' released more often than acquired", db->GetName().c_str());
}

size_t PurgeResourceDatabases()
{
    Table& t = TheTable();
    std::vector<std::unique_ptr<ContentResourceDatabase>> dead;
    {
        std::lock_guard<std::mutex> lock(t.lock);
        for (size_t i = 0; i < t.entries.size();)
        {
            if (t.entries[i].uses == 0)
            {
                dead.push_back(std::move(t.entries[i].db));
                t.entries.erase(t.entries.begin() + static_cast<ptrdiff_t>(i));
            }
            else
            {
                ++i;
            }
        }
    }
    return dead.size();  // destroyed here, outside the lock
}

int GetResourceDatabaseUseCount(std::string_view name)
{
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    Entry* e = FindByName(t, name);
    return e ? e->uses : -1;
}

ResourceDatabaseHolder::ResourceDatabaseHolder(const ResourceDatabaseHolder& o) : db_(o.db_), found_(o.found_)
{
    AddRefResourceDatabase(db_);
}

ResourceDatabaseHolder& ResourceDatabaseHolder::operator=(const ResourceDatabaseHolder& o)
{
    AddRefResourceDatabase(o.db_);
    ReleaseResourceDatabase(db_);
    db_ = o.db_;
    found_ = o.found_;
    return *this;
}

ResourceDatabaseHolder::~ResourceDatabaseHolder() { ReleaseResourceDatabase(db_); }

bool ResourceDatabaseHolder::AcquireForSource(std::string_view sourceName)
{
    bool found = false;
    ContentResourceDatabase* db = AcquireResourceDatabaseForSource(sourceName, found);
    ReleaseResourceDatabase(db_);
    db_ = db;
    found_ = found;
    return found;
}

void ResourceDatabaseHolder::Adopt(ContentResourceDatabase* db, bool found)
{
    ReleaseResourceDatabase(db_);
    db_ = db;
    found_ = found;
}

const Orvo::PString& ResourceDatabaseHolder::GetName() const { return db_ ? db_->GetName() : Orvo::PString::Empty(); }

void ReleaseHeldResourceDatabase(ResourceDatabaseHolder& holder)
{
    ReleaseResourceDatabase(holder.db_);
    holder.db_ = nullptr;
    holder.found_ = false;
}
