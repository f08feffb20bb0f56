#pragma once
// Textures that the display helpers draw with. A VelmarTextureResource names a compiled texture inside a
// content source; it obtains the source's resource database on first use, creates the display texture when
// first bound or activated, and can give it up again. Every such resource sits in the list it was made
// with, ordered by last use (most recent first), so that a sweep can release the textures that have not been
// used for a while. A failure is reported once (LogErrorAndThrow) and remembered: a failed or disabled resource
// never tries again.
#include "assetdb/ResourceDatabaseTable.h"
#include "engine/AutoReference.h"
#include "engine/PString.h"
#include "engine/ResourceDatabase.h"
#include "engine/String.h"
#include "engine/TextureManager.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class AutoReleasingResource;

// Resources by last use, most recent first; thread safe. Resources leave it as they are destroyed; one
// that outlives the list is left out of any list.
class AutoReleaseList
{
public:
    AutoReleaseList() = default;
    ~AutoReleaseList();
    AutoReleaseList(const AutoReleaseList&) = delete;
    AutoReleaseList& operator=(const AutoReleaseList&) = delete;

    // The list, most recently used first.
    std::vector<AutoReleasingResource*> ListByLastUse() const;
    // Releases the resources that nobody uses (use count 0) and that were last used before `before`,
    // oldest first, and takes them out of the list; returns how many.
    size_t ReleaseUnusedBefore(double before);
    // Takes every resource out of the list (at exit).
    void Empty();

private:
    friend class AutoReleasingResource;
    void Touch(AutoReleasingResource* r, double now);
    void Leave(AutoReleasingResource* r);
    void Unlink(AutoReleasingResource* r);  // under lock_
    void PushFront(AutoReleasingResource* r);

    mutable std::mutex lock_;
    AutoReleasingResource* first_ = nullptr;
    AutoReleasingResource* last_ = nullptr;
};

class AutoReleasingResource
{
public:
    explicit AutoReleasingResource(AutoReleaseList& list) : list_(&list) {}
    AutoReleasingResource(const AutoReleasingResource&) = delete;
    AutoReleasingResource& operator=(const AutoReleasingResource&) = delete;
    // Leaves the list.
    virtual ~AutoReleasingResource();
    // Gives up what the resource holds (it may be made again on its next use).
    virtual void ReleaseNow() = 0;

    int AdjustUseCount(int delta);
    int GetUseCount() const { return useCount_; }
    double GetLastUse() const { return lastUse_; }
    bool IsInList() const { return inList_; }
    float GetPriority() const { return priority_; }
    void SetPriority(float priority) { priority_ = priority; }

protected:
    // Marks the resource used at `now` and moves it to the front of the list.
    void Touch(double now);

private:
    friend class AutoReleaseList;
    AutoReleaseList* list_;
    AutoReleasingResource* next_ = nullptr;
    AutoReleasingResource* previous_ = nullptr;
    bool inList_ = false;
    double lastUse_ = 0.0;
    bool inUse_ = false;
    float priority_ = 0.0f;
    int useCount_ = 0;
};

class VelmarTextureResource : public AutoReleasingResource
{
public:
    // The texture `textureName` of the content source `sourceName`, made through `manager`, kept in `list`.
    VelmarTextureResource(AutoReleaseList& list, Orvo::TextureManager* manager, std::string_view sourceName,
                          std::string_view textureName, std::string_view arguments = {});
    ~VelmarTextureResource() override;

    // The display texture's activation result, or 0 when nothing can be loaded.
    int Activate();
    // Binds the texture to the stage, or no texture when it cannot be loaded.
    void Bind(uint32_t stage);
    void ReleaseNow() override { ReleaseTexture(); }

    bool IsFailed() const { return failed_; }
    bool IsDisabled() const { return disabled_; }
    bool HasTexture() const { return static_cast<bool>(texture_); }

private:
    void ObtainDatabase();
    void Load();
    void ReleaseTexture();
    void ReleaseDatabase();

    Orvo::TextureManager* manager_;
    ResourceDatabaseHolder database_;
    std::unique_ptr<Orvo::ResourceDatabase> engineDatabase_;
    Orvo::PString sourceName_;
    bool databaseWanted_ = false;
    bool disabled_ = false;
    Orvo::AutoReference<Orvo::DisplayTexture> texture_;
    Orvo::PString textureName_;
    bool textureWanted_ = false;
    bool failed_ = false;
    Orvo::String arguments_;
};
