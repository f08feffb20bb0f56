#include "engine/TextureManager.h"

#include "engine/Bitmap.h"
#include "engine/DisplayFormat.h"
#include "engine/File.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceSystem.h"
#include "engine/Time.h"

#include <cstring>
#include <string>

namespace Orvo {

bool DisplayTexture::IsLoaded() const
{
    if (imageFormat_ != 0) return true;
    if (pending_ != NotPending) return false;
    return texture_ ? texture_->IsLoaded() : true;
}

void DisplayTexture::RequestLoad()
{
    if (pending_ != PendingWaiting) return;
    pending_ = texture_ && texture_->Lock() == Resource::LoadOk ? NotPending : PendingFailed;
}

bool DisplayTexture::HasFailed() const
{
    if (imageFormat_ != 0) return false;
    if (pending_ == PendingFailed) return true;
    return texture_ && texture_->HasLoadStarted() && !texture_->IsLoaded();
}

DisplayTexture* DisplayTexture::Duplicate() const
{
    auto* copy = new DisplayTexture(name_, texture_.Get());
    copy->type_ = type_;
    copy->priority_ = priority_;
    copy->pending_ = pending_;
    copy->display_ = display_;
    copy->wantedLevel_ = wantedLevel_;
    copy->image_ = image_;
    copy->imageWidth_ = imageWidth_;
    copy->imageHeight_ = imageHeight_;
    copy->imageFormat_ = imageFormat_;
    copy->AddRef();
    return copy;
}

int DisplayTexture::Activate(int level)
{
    if (level != wantedLevel_)
    {
        wantedLevel_ = level;
        if (Display* display = display_.Get(); display && display->IsRecording())
            display->Record("texture " + name_.str() + " level " + std::to_string(level));
    }
    return Activate();
}

bool DisplayTexture::RebuildFromBitmap(Display* display, const Bitmap& bitmap, const DisplayFormat& format)
{
    const uint32_t bpp = format.GetBytesPerPixel();
    if (bpp == 0 || !bitmap.IsValid() || Bitmap::BytesPerPixel(bitmap.GetFormat()) != bpp) return false;
    const size_t row = size_t(bitmap.GetWidth()) * bpp;
    std::vector<uint8_t> image(row * bitmap.GetHeight());
    for (uint32_t y = 0; y < bitmap.GetHeight(); ++y) std::memcpy(&image[y * row], bitmap.Row(y), row);
    image_ = std::move(image);
    imageWidth_ = bitmap.GetWidth();
    imageHeight_ = bitmap.GetHeight();
    imageFormat_ = format.GetId();
    pending_ = NotPending;
    if (display == nullptr) display = display_.Get();
    if (display && display->IsRecording())
        display->Record("rebuild texture " + name_.str() + " " + std::to_string(imageWidth_) + " x " +
                        std::to_string(imageHeight_) + " format " + std::to_string(imageFormat_) + " (" +
                        std::to_string(image_.size()) + " bytes)");
    return true;
}

DisplayTexture* TextureManager::RequestTexture(ResourceDatabase* database, std::string_view name, std::string_view)
{
    if (name.empty()) return nullptr;
    const std::string text = std::string(name) + ".txt";
    const bool exists =
        database ? database->Exists(name) || database->Exists(text) : File::IsFile(name) || File::IsFile(text);
    if (!exists) return nullptr;
    AutoReference<TextureResource> resource;
    if (ResourceSystem* system = database != nullptr ? database->GetSystem() : nullptr)
    {
        Resource* made = system->Get(name, database, ResourceSystem::GetNoLoad);
        resource = dynamic_cast<TextureResource*>(made);
        if (made) made->Release();
    }
    if (!resource) resource = new TextureResource(PString(name), database);
    auto* texture = new DisplayTexture(PString(name), resource.Get());
    texture->display_ = DisplayHandle(display_);
    texture->pending_ = resource->IsLoaded() ? DisplayTexture::NotPending : DisplayTexture::PendingWaiting;
    texture->AddRef();
    return texture;
}

DisplayTexture* TextureManager::GetSharedTexture(uint32_t id)
{
    if (id >= SharedTextureCollection::kCount) return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    if (shared_.size() <= id) shared_.resize(id + 1);
    if (!shared_[id])
    {
        shared_[id] = new DisplayTexture(PString("shared texture " + std::to_string(id)), nullptr);
        shared_[id]->display_ = DisplayHandle(display_);
        shared_[id]->shared_ = true;
    }
    return shared_[id].Get();
}

DisplayTexture* SharedTextureCollection::GetTexture(uint32_t id, TextureManager* manager)
{
    DisplayTexture* texture = manager ? manager->GetSharedTexture(id) : nullptr;
    if (texture) texture->AddRef();
    return texture;
}

DisplayTexture* TextureManager::CreateTexture(ResourceDatabase* database, std::string_view name, std::string_view)
{
    if (name.empty()) return nullptr;
    AutoReference<TextureResource> resource(new TextureResource(PString(name), database));
    if (resource->Lock() != Resource::LoadOk) return nullptr;
    auto* texture = new DisplayTexture(PString(name), resource.Get());
    texture->display_ = DisplayHandle(display_);
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
    if (display_ && display_->IsRecording())
        display_->Record("bind texture " + std::to_string(stage) + " " + texture->GetName().str());
}

void TextureManager::BindNoTexture(uint32_t stage)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stage < bound_.size()) bound_[stage] = nullptr;
    }
    if (display_ && display_->IsRecording()) display_->Record("bind texture " + std::to_string(stage) + " none");
}

DisplayTexture* TextureManager::GetBound(uint32_t stage) const
{
    std::lock_guard<std::mutex> hold(lock_);
    return stage < bound_.size() ? bound_[stage].Get() : nullptr;
}

double TextureManager::GetCurrentTime() const { return Time::GetSeconds(); }

}  // namespace Orvo
