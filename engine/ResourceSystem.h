#pragma once
// The engine's resource system: makes resources by name through the registered resource types, loads
// them and keeps them in a cache. The tool creates one at start-up, initialises it with the engine
// options and deletes it at shutdown, and hands it to the databases that resolve through it (the
// validation data manager's mesh database among them); a texture conversion makes its own.
//
// A resource name is looked up relative to a resource database. The type is the registered resource
// type with the longest extension that the name ends in ("lm.txt" before "txt"). When the name's own
// file does not exist but a text form of it does (the name + ".txt", e.g. "x.lm.txt" for "x.lm" or
// "x.convert-tex.txt" for "x.convert-tex"), that file is loaded through the text form's type.
#include "engine/AutoReference.h"
#include "engine/Resource.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace Orvo {

class Options;
class Resource;
class ResourceDatabase;
class ResourceTypeBase;

class ResourceSystem
{
public:
    // Get modes.
    enum GetMode : uint32_t
    {
        GetLoad = 0,    // load the resource before returning it
        GetNoLoad = 2,  // make (or find) it only; the caller loads it with Resource::Lock
    };

    ResourceSystem() = default;
    ~ResourceSystem();
    ResourceSystem(const ResourceSystem&) = delete;
    ResourceSystem& operator=(const ResourceSystem&) = delete;

    bool Init(const Options& options);
    void Shutdown();
    bool IsInitialised() const { return initialised_; }

    // The resource of that name in `database` (null: names are paths), one reference added for the
    // caller. A cached resource is returned as it is; a new one is made by its type and, unless the mode
    // is GetNoLoad, loaded (a failed load is returned too, with its result, and not kept in the cache).
    // Null when no type serves the name or no file of it exists.
    Resource* Get(std::string_view name, ResourceDatabase* database, uint32_t mode = GetLoad);

    // The registered type with the longest extension that `name` ends in, one reference added; null
    // when none matches.
    static ResourceTypeBase* FindType(std::string_view name);

    // Frees cached resources that nothing else uses; returns how many went.
    size_t DumpUnusedResourcesFromCache();
    size_t CachedCount() const;
    // Drops every cached resource of that database (the database is going away).
    void ForgetDatabase(const ResourceDatabase* database);

private:
    using Key = std::pair<const ResourceDatabase*, std::string>;

    mutable std::mutex lock_;
    std::map<Key, AutoReference<Resource>> cache_;
    bool initialised_ = false;
};

}  // namespace Orvo
