#include "engine/TextureManager.h"

#include "engine/Display.h"
#include "engine/Time.h"

#include <string>

namespace Orvo {

DisplayTexture* TextureManager::CreateTexture(ResourceDatabase* database, std::string_view name, std::string_view)
{
    if (name.empty()) return nullptr;
    AutoReference<TextureResource> resource(new TextureResource(PString(name), database));
    if (resource->Lock() != Resource::LoadOk) return nullptr;
    auto* texture = new DisplayTexture(PString(name), resource.Get());
    texture->AddRef();
    return texture;
}

void TextureManager::Touch(DisplayTexture* texture, int)
{
    if (texture != nullptr) texture->lastTouched_ = GetCurrentTime();
}

void TextureManager::BindTexture(uint32_t stage, DisplayTexture* texture)
{
    if (texture == nullptr) return BindNoTexture(stage);
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (bound_.size() <= stage) bound_.resize(stage + 1);
        bound_[stage] = texture;
    }
    if (display_) display_->Record("bind texture " + std::to_string(stage) + " " + texture->GetName().str());
}

void TextureManager::BindNoTexture(uint32_t stage)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stage < bound_.size()) bound_[stage] = nullptr;
    }
    if (display_) display_->Record("bind texture " + std::to_string(stage) + " none");
}

DisplayTexture* TextureManager::GetBound(uint32_t stage) const
{
    std::lock_guard<std::mutex> hold(lock_);
    return stage < bound_.size() ? bound_[stage].Get() : nullptr;
}

double TextureManager::GetCurrentTime() const { return Time::GetSeconds(); }

}  // namespace Orvo
