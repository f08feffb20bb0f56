#include "engine/Material.h"

#include <string_view>

namespace Orvo {

MaterialFactory::~MaterialFactory()
{
    for (auto& entry : materials_) entry.second->Release();
}

PString MaterialFactory::TypeOf(const PString& decoratedName)
{
    const std::string_view text(decoratedName.c_str());
    const size_t mark = text.rfind(".m.");
    if (mark == std::string_view::npos || mark + 3 >= text.size()) return PString();
    return PString(text.substr(mark + 3));
}

Material* MaterialFactory::CreateMaterial(const PString& decoratedName)
{
    const PString type = TypeOf(decoratedName);
    if (type == PString()) return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    Material*& slot = materials_[decoratedName.c_str()];
    if (slot == nullptr)
    {
        slot = new Material(decoratedName, type);
        slot->AddRef();
    }
    slot->AddRef();
    return slot;
}

size_t MaterialFactory::Count() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return materials_.size();
}

}  // namespace Orvo
