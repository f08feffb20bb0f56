#pragma once
// The display's textures: a DisplayTexture is a compiled texture (TextureResource, "x.texture") made ready
// for a display, with a priority and the time it was last used. The TextureManager makes them from a
// resource database and a name, keeps their use times and binds them to texture stages. There is no GPU:
// binding records "bind texture <stage> <name>" or "bind texture <stage> none" on the display.
//
// A display texture keeps the mip level its materials last asked for (Activate; the finest level is 0),
// recorded on its display as "texture <name> level <n>" when it changes. It can be rebuilt from an image
// in an uncompressed display format (RebuildFromBitmap, recorded as "rebuild texture <name> <width> x
// <height> format <id> (<bytes> bytes)"): it then holds that image as its one level and counts as loaded.
#include "engine/AutoReference.h"
#include "engine/Display.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"
#include "engine/TextureResource.h"

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace Orvo {

class Bitmap;
class DisplayFormat;
class ResourceDatabase;

class DisplayTexture : public ReferenceCount
{
public:
    enum Type : int
    {
        Type2D = 0,
        TypeCube = 1,
    };
    // The pending-load record: none, waiting for the load request, or failed.
    enum PendingState : int
    {
        NotPending = -1,
        PendingWaiting = 0,
        PendingFailed = 1,
    };

    // A texture of a loaded (or loading) compiled texture; with none, a built-in texture that is always
    // loaded (the shared textures).
    DisplayTexture(const PString& name, TextureResource* texture) : name_(name), texture_(texture) {}

    const PString& GetName() const { return name_; }
    TextureResource* GetTexture() const { return texture_.Get(); }
    // 1 when the texture's levels are loaded, else 0.
    int Activate() const { return IsLoaded() ? 1 : 0; }
    // The same, keeping `level` as the mip level wanted from now on.
    int Activate(int level);
    // The level last asked for; -1 before any.
    int GetWantedLevel() const { return wantedLevel_; }
    // True for the built-in textures every material may share (TextureManager::GetSharedTexture): a
    // material that changes one takes a duplicate of its own first.
    bool IsShared() const { return shared_; }
    // The display the texture was made for (null once it is gone, or for a texture made by hand).
    Display* GetDisplay() const { return display_.Get(); }

    // Rebuilds the texture from an image in `format`: the image's pixels must have the format's size (3
    // bytes for RGB 888, 4 for ARGB and XRGB 8888, 1 for L8). Recorded on `display` (or, when null, on
    // the texture's own). False, and nothing changed, for an empty image, a raw one or another size.
    virtual bool RebuildFromBitmap(Display* display, const Bitmap& bitmap, const DisplayFormat& format);
    // The image of the last rebuild (rows packed), its size and display format id; 0 x 0 before any.
    const std::vector<uint8_t>& GetImage() const { return image_; }
    uint32_t GetImageWidth() const { return imageWidth_; }
    uint32_t GetImageHeight() const { return imageHeight_; }
    uint32_t GetImageFormat() const { return imageFormat_; }
    int GetType() const { return type_; }
    void SetType(int type) { type_ = type; }

    // Loading. A texture made by TextureManager::RequestTexture waits until its load is requested.
    virtual bool IsLoaded() const;
    // Starts the load (here it runs to its end at once); nothing when it is not waiting.
    virtual void RequestLoad();
    virtual bool HasFailed() const;
    virtual int GetPendingState() const { return pending_; }
    // A texture object of its own over the same image (for a material that changes its copy); null when
    // it cannot be made.
    virtual DisplayTexture* Duplicate() const;
    void SetPriority(float priority) { priority_ = priority; }
    float GetPriority() const { return priority_; }
    double GetLastTouched() const { return lastTouched_; }

protected:
    void SetPendingState(int state) { pending_ = state; }

private:
    friend class TextureManager;
    PString name_;
    AutoReference<TextureResource> texture_;
    float priority_ = 0.0f;
    double lastTouched_ = 0.0;
    int type_ = Type2D;
    int pending_ = NotPending;
    DisplayHandle display_;
    bool shared_ = false;
    int wantedLevel_ = -1;
    std::vector<uint8_t> image_;
    uint32_t imageWidth_ = 0;
    uint32_t imageHeight_ = 0;
    uint32_t imageFormat_ = 0;
};

class TextureManager
{
public:
    explicit TextureManager(Display* display) : display_(display) {}

    // The compiled texture `name` of the database, loaded; a new reference for the caller, or null when it
    // cannot be loaded. `arguments` are kept for the display (unused here).
    DisplayTexture* CreateTexture(ResourceDatabase* database, std::string_view name, std::string_view arguments);
    // The texture `name` of the database (a compiled texture, or its description "<name>.txt"), made but
    // not loaded: its load waits for RequestLoad; a resource the database's resource system already holds
    // is shared. A new reference for the caller; null when the name is empty or no file of it exists.
    DisplayTexture* RequestTexture(ResourceDatabase* database, std::string_view name, std::string_view arguments);
    // Built-in texture `id` (below 8), always loaded: what a material holds before it is given its own.
    // No reference added; null for another id.
    DisplayTexture* GetSharedTexture(uint32_t id);
    // Marks the texture used now (mode -1: for drawing).
    void Touch(DisplayTexture* texture, int mode);
    void BindTexture(uint32_t stage, DisplayTexture* texture);
    void BindNoTexture(uint32_t stage);
    // The texture bound to a stage, or null.
    DisplayTexture* GetBound(uint32_t stage) const;
    // The display's current time in seconds.
    double GetCurrentTime() const;

private:
    Display* display_;
    mutable std::mutex lock_;
    std::vector<AutoReference<DisplayTexture>> bound_;
    std::vector<AutoReference<DisplayTexture>> shared_;
};

// The textures every material may share: texture 0 stands in for a map a material has not been given.
class SharedTextureCollection
{
public:
    static constexpr uint32_t kCount = 8;
    // One reference added for the caller; null without a manager or for another id.
    static DisplayTexture* GetTexture(uint32_t id, TextureManager* manager);
};

}  // namespace Orvo
