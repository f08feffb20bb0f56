#pragma once
// A resource: something the engine loads by name through a resource database (a mesh, a texture). The
// resource system creates it through the resource type registered for its extension and drives it:
//
//   Load(file name)  or LoadTxt(file name)  the type's file form is read (0 = loaded, 1 = failed);
//   LoadComplete()                          finishing work once the file is read (0 = done);
//   LoadAll() / IsAllLoaded()               what the resource depends on (textures of a mesh) is
//                                           started, then polled: 0 loaded, 1 failed, 5 still loading.
//
// The file name handed to Load is the resource name; a resource opens it through its database
// (GetFilePath). Resources are reference counted; the resource system's cache holds one reference.
#include "engine/PString.h"
#include "engine/ReferenceCount.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace Orvo {

class ResourceDatabase;
class ResourceTypeBase;

class Resource : public ReferenceCount
{
public:
    enum [[nodiscard]] LoadResult : int{
        LoadOk = 0,
        LoadFailed = 1,
    };
    // IsAllLoaded answers.
    enum LoadState : int
    {
        StateLoaded = 0,
        StateFailed = 1,
        StateLoading = 5,
    };

    Resource(const PString& name, ResourceDatabase* database);

    const PString& GetName() const { return name_; }
    ResourceDatabase* GetDatabase() const { return database_; }
    // The type that created the resource (null for one constructed directly).
    ResourceTypeBase* GetType() const { return type_; }
    // The path to open for a file of this resource: through the database, or the name itself.
    std::string GetFilePath(std::string_view fileName) const;

    // The binary and the text load of the resource's file; the base reads nothing and fails.
    virtual int Load(const std::string& fileName);
    virtual int LoadTxt(const std::string& fileName);
    virtual int LoadComplete();
    // Starts loading what the resource depends on; false when that cannot start. The base has nothing
    // to load and answers whether the resource itself loaded.
    virtual bool LoadAll();
    // 0 loaded, 1 failed, 5 still loading (the base: its own load state).
    virtual int IsAllLoaded();
    // Bytes the resource accounts for (the resource system's statistics).
    virtual size_t CalculateDataSize() const { return 0; }
    // How soon what the resource loads (the textures of a mesh's materials) is wanted: higher sooner.
    float GetLoadingPriority() const { return loadingPriority_; }
    void SetLoadingPriority(float priority) { loadingPriority_ = priority; }

    // Loads the resource once (Load or LoadTxt by the form the resource system found, then
    // LoadComplete); later calls return the first result. 0 when loaded.
    int Lock();
    void Unlock() {}
    bool IsLoaded() const;
    bool HasLoadStarted() const;
    int GetLoadResult() const;

    // A resource name as the engine keeps it: "\" becomes "/", and "./" at the start is dropped.
    static std::string ConvertResourceName(std::string_view name);

protected:
    ~Resource() override;

private:
    friend class ResourceSystem;

    PString name_;
    ResourceDatabase* database_;
    ResourceTypeBase* type_ = nullptr;       // one reference held while set
    std::string fileName_;                   // the file the resource system found for it
    bool textForm_ = false;                  // that file is the text form (LoadTxt)
    mutable std::recursive_mutex loadLock_;  // recursive: a load may ask its own state
    bool loadStarted_ = false;
    int loadResult_ = LoadFailed;
    float loadingPriority_ = 0.0f;
};

}  // namespace Orvo
