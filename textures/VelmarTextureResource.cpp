#include "textures/VelmarTextureResource.h"

#include "core/VelmarEx.h"

#include <mutex>

namespace {
// A texture that will not load is logged and drawn without: the program goes on.
constexpr OnError kOnError = OnError::Log;
}  // namespace

void AutoReleaseList::Unlink(AutoReleasingResource* r)
{
    if (!r->inList_) return;
    (r->previous_ ? r->previous_->next_ : first_) = r->next_;
    (r->next_ ? r->next_->previous_ : last_) = r->previous_;
    r->next_ = r->previous_ = nullptr;
    r->inList_ = false;
}

void AutoReleaseList::PushFront(AutoReleasingResource* r)
{
    r->previous_ = nullptr;
    r->next_ = first_;
    (first_ ? first_->previous_ : last_) = r;
    first_ = r;
    r->inList_ = true;
}

AutoReleaseList::~AutoReleaseList()
{
    std::lock_guard<std::mutex> hold(lock_);
    while (first_)
    {
        AutoReleasingResource* r = first_;
        Unlink(r);
        r->list_ = nullptr;
    }
}

void AutoReleaseList::Touch(AutoReleasingResource* r, double now)
{
    std::lock_guard<std::mutex> hold(lock_);
    // Every use moves the resource to the front, so the list stays ordered by last use and a sweep from the
    // back releases the least recently used first.
    Unlink(r);
    PushFront(r);
    r->lastUse_ = now;
    r->inUse_ = true;
}

void AutoReleaseList::Leave(AutoReleasingResource* r)
{
    std::lock_guard<std::mutex> hold(lock_);
    Unlink(r);
}

std::vector<AutoReleasingResource*> AutoReleaseList::ListByLastUse() const
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<AutoReleasingResource*> out;
    for (AutoReleasingResource* r = first_; r != nullptr; r = r->next_) out.push_back(r);
    return out;
}

size_t AutoReleaseList::ReleaseUnusedBefore(double before)
{
    std::vector<AutoReleasingResource*> victims;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (AutoReleasingResource* r = last_; r != nullptr && r->lastUse_ < before;)
        {
            AutoReleasingResource* older = r->previous_;
            if (r->useCount_ <= 0)
            {
                Unlink(r);
                r->inUse_ = false;
                victims.push_back(r);
            }
            r = older;
        }
    }
    for (AutoReleasingResource* r : victims) r->ReleaseNow();
    return victims.size();
}

void AutoReleaseList::Empty()
{
    std::lock_guard<std::mutex> hold(lock_);
    while (first_) Unlink(first_);
}

AutoReleasingResource::~AutoReleasingResource()
{
    if (list_) list_->Leave(this);
}

int AutoReleasingResource::AdjustUseCount(int delta)
{
    useCount_ += delta;
    return delta;
}

void AutoReleasingResource::Touch(double now)
{
    if (list_)
        list_->Touch(this, now);
    else
    {
        lastUse_ = now;
        inUse_ = true;
    }
}

VelmarTextureResource::VelmarTextureResource(AutoReleaseList& list, Orvo::TextureManager* manager,
                                             std::string_view sourceName, std::string_view textureName,
                                             std::string_view arguments)
    : AutoReleasingResource(list), manager_(manager), sourceName_(sourceName), databaseWanted_(!sourceName.empty()),
      textureName_(textureName), textureWanted_(!textureName.empty()), arguments_(arguments)
{}

VelmarTextureResource::~VelmarTextureResource()
{
    ReleaseTexture();
    ReleaseDatabase();
}

void VelmarTextureResource::ObtainDatabase()
{
    if (!databaseWanted_ || disabled_ || database_.Get() != nullptr) return;
    if (!database_.AcquireForSource(sourceName_.View()) || database_.Get() == nullptr)
    {
        disabled_ = true;
        return;
    }
    // The content database mounts its source as "<name>:"; the engine reads the texture through that.
    // It only names files: the texture manager makes the texture itself, through no resource system.
    engineDatabase_ = std::make_unique<Orvo::ResourceDatabase>(sourceName_, nullptr);
}

void VelmarTextureResource::Load()
{
    if (failed_ || disabled_) return;
    ObtainDatabase();
    if (!disabled_ && textureWanted_ && texture_)
    {
        Touch(manager_->GetCurrentTime());
        return;
    }
    if (!disabled_ && textureWanted_ && manager_ != nullptr)
    {
        Orvo::DisplayTexture* made =
            manager_->CreateTexture(engineDatabase_.get(), textureName_.View(), arguments_.View());
        if (made != nullptr)
        {
            texture_ = made;
            made->Release();
            texture_->SetPriority(GetPriority());
        }
    }
    if (!texture_)
    {
        // The state is set before reporting: the report may throw.
        failed_ = true;
        LogErrorAndThrow(kOnError, "Unable to load texture '%s' from '%s'", textureName_.c_str(), sourceName_.c_str());
        return;
    }
    Touch(manager_->GetCurrentTime());
}

int VelmarTextureResource::Activate()
{
    if (failed_ || disabled_ || manager_ == nullptr) return 0;
    Load();
    if (texture_)
    {
        manager_->Touch(texture_.Get(), -1);
        return texture_->Activate();
    }
    failed_ = true;
    LogErrorAndThrow(kOnError, "VelmarTextureResource::Activate> couldnt load '%s' from '%s'", textureName_.c_str(),
                     sourceName_.c_str());
    return 0;
}

void VelmarTextureResource::Bind(uint32_t stage)
{
    if (manager_ == nullptr) return;
    if (failed_ || disabled_)
    {
        manager_->BindNoTexture(stage);
        return;
    }
    Load();
    if (texture_)
    {
        manager_->Touch(texture_.Get(), -1);
        manager_->BindTexture(stage, texture_.Get());
        return;
    }
    manager_->BindNoTexture(stage);
    failed_ = true;
    LogErrorAndThrow(kOnError, "VelmarTextureResource::Bind> couldnt load '%s' from '%s'", textureName_.c_str(),
                     sourceName_.c_str());
}

void VelmarTextureResource::ReleaseTexture()
{
    if (textureWanted_ && texture_)
    {
        texture_->SetPriority(0.0f);
        texture_ = nullptr;
    }
}

void VelmarTextureResource::ReleaseDatabase()
{
    if (!databaseWanted_) return;
    ReleaseTexture();
    engineDatabase_.reset();
    ReleaseHeldResourceDatabase(database_);
}
