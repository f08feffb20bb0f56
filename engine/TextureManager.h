#pragma once
// The display's textures: a DisplayTexture is a compiled texture (TextureResource, "x.texture") made ready
// for a display, with a priority and the time it was last used. The TextureManager makes them from a
// resource database and a name, keeps their use times and binds them to texture stages. There is no GPU:
// binding records "bind texture <stage> <name>" or "bind texture <stage> none" on the display.
#include "engine/AutoReference.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"
#include "engine/TextureResource.h"

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace Orvo {

class Display;
class ResourceDatabase;

class DisplayTexture : public ReferenceCount
{
public:
    DisplayTexture(const PString& name, TextureResource* texture) : name_(name), texture_(texture) {}

    const PString& GetName() const { return name_; }
    TextureResource* GetTexture() const { return texture_.Get(); }
    // 1 when the texture's levels are loaded, else 0.
    int Activate() const { return texture_ && texture_->IsLoaded() ? 1 : 0; }
    void SetPriority(float priority) { priority_ = priority; }
    float GetPriority() const { return priority_; }
    double GetLastTouched() const { return lastTouched_; }

private:
    friend class TextureManager;
    PString name_;
    AutoReference<TextureResource> texture_;
    float priority_ = 0.0f;
    double lastTouched_ = 0.0;
};

class TextureManager
{
public:
    explicit TextureManager(Display* display) : display_(display) {}

    // The compiled texture `name` of the database, loaded; a new reference for the caller, or null when it
    // cannot be loaded. `arguments` are kept for the display (unused here).
    DisplayTexture* CreateTexture(ResourceDatabase* database, std::string_view name, std::string_view arguments);
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
};

}  // namespace Orvo
