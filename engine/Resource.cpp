#include "engine/Resource.h"

#include "engine/ResourceDatabase.h"
#include "engine/ResourceTypeBase.h"

namespace Orvo {

Resource::Resource(const PString& name, ResourceDatabase* database) : name_(name), database_(database) {}

Resource::~Resource()
{
    if (type_) type_->Release();
}

std::string Resource::GetFilePath(std::string_view fileName) const
{
    return database_ ? database_->GetFileName(fileName) : std::string(fileName);
}

int Resource::Load(const std::string&) { return LoadFailed; }

int Resource::LoadTxt(const std::string&) { return LoadFailed; }

int Resource::LoadComplete() { return LoadOk; }

bool Resource::LoadAll() { return IsLoaded(); }

int Resource::IsAllLoaded()
{
    std::lock_guard<std::recursive_mutex> hold(loadLock_);
    if (!loadStarted_) return StateLoading;
    return loadResult_ == LoadOk ? StateLoaded : StateFailed;
}

int Resource::Lock()
{
    std::lock_guard<std::recursive_mutex> hold(loadLock_);
    if (loadStarted_) return loadResult_;
    loadStarted_ = true;
    const std::string& file = fileName_.empty() ? name_.str() : fileName_;
    int result = textForm_ ? LoadTxt(file) : Load(file);
    if (result == LoadOk) result = LoadComplete();
    loadResult_ = result;
    return result;
}

bool Resource::IsLoaded() const
{
    std::lock_guard<std::recursive_mutex> hold(loadLock_);
    return loadStarted_ && loadResult_ == LoadOk;
}

bool Resource::HasLoadStarted() const
{
    std::lock_guard<std::recursive_mutex> hold(loadLock_);
    return loadStarted_;
}

int Resource::GetLoadResult() const
{
    std::lock_guard<std::recursive_mutex> hold(loadLock_);
    return loadResult_;
}

std::string Resource::ConvertResourceName(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c == '\\') c = '/';
    while (out.size() >= 2 && out[0] == '.' && out[1] == '/') out.erase(0, 2);
    return out;
}

}  // namespace Orvo
