#include "assetdb/NWSpecFactory.h"

#include "core/LogPrintf.h"

void NWSpecFactory::SetCreator(Creator creator)
{
    std::lock_guard<std::mutex> lock(lock_);
    creator_ = creator;
}

NimblewickSpecRef NWSpecFactory::GetSpec(const KUID& kuid)
{
    if (kuid.IsNull()) return nullptr;
    std::lock_guard<std::mutex> lock(lock_);
    auto it = specs_.find(kuid);
    if (it != specs_.end()) return it->second;
    NimblewickSpec* spec = creator_ ? creator_(kuid) : new NimblewickSpec(kuid);
    if (!spec) return nullptr;
    NimblewickSpecRef ref(spec);
    specs_.emplace(kuid, ref);
    return ref;
}

NimblewickSpecRef NWSpecFactory::FindSpec(const KUID& kuid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = specs_.find(kuid);
    return it == specs_.end() ? nullptr : it->second;
}

void NWSpecFactory::ReleaseSpec(const KUID& kuid)
{
    NimblewickSpecRef dropped;
    std::lock_guard<std::mutex> lock(lock_);
    auto it = specs_.find(kuid);
    if (it == specs_.end()) return;
    dropped = std::move(it->second);
    specs_.erase(it);
}

size_t NWSpecFactory::ReleaseAllSpecs()
{
    std::unordered_map<KUID, NimblewickSpecRef> dropped;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dropped.swap(specs_);
    }
    size_t leaked = 0;
    for (auto& [kuid, spec] : dropped)
    {
        if (spec.use_count() > 1)
        {
            ++leaked;
            LogPrintf("NWSpecFactory::ReleaseAllSpecs> leaked spec %s (%ld references)", kuid.ToString().c_str(),
                      static_cast<long>(spec.use_count() - 1));
        }
    }
    return leaked;  // the cache's references go with `dropped`, outside the lock
}

size_t NWSpecFactory::GetSpecCount() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return specs_.size();
}
