#pragma once
// A resource database: where the resources of one content source are found. Resource names are
// relative to the database; the database turns them into file paths. The base database maps a name to
// "<database name>:<resource name>", so that a database whose name is registered as a file
// substitution (File::Subst) serves the folder or archive behind it; a database with an empty name
// serves names as paths.
#include "engine/PString.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

class Resource;
class ResourceSystem;

class ResourceDatabase
{
public:
    // Resources of the database are made and cached by `system`, which must outlive the database; with no
    // system the database only turns names into file paths.
    ResourceDatabase(const PString& name, ResourceSystem* system) : name_(name), system_(system) {}
    // Drops the resources of this database from its resource system's cache, so that no cached resource
    // keeps pointing at it.
    virtual ~ResourceDatabase();
    ResourceDatabase(const ResourceDatabase&) = delete;
    ResourceDatabase& operator=(const ResourceDatabase&) = delete;

    const PString& GetName() const { return name_; }
    // The resource system the database resolves through (null: none).
    ResourceSystem* GetSystem() const { return system_; }

    // The resource of that name from the database's resource system (ResourceSystem::Get with this
    // database and `mode`), one reference added for the caller; null when there is no resource system, no
    // resource type for the name or no file.
    virtual Resource* Get(std::string_view resourceName, uint32_t mode = 0);
    // True when the file of that resource name exists.
    virtual bool Exists(std::string_view resourceName) const;
    // The path to open for that resource name.
    virtual std::string GetFileName(std::string_view resourceName) const;

private:
    PString name_;
    ResourceSystem* system_;
};

}  // namespace Orvo
