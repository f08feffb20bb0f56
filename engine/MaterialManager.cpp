#include "engine/MaterialManager.h"

#include "engine/TextCase.h"
#include "engine/TextureManager.h"

#include <algorithm>
#include <exception>

namespace Orvo {

Material* MaterialPlugin::CreateFor(const PString& name, MaterialManager& manager)
{
    return Create(name, manager.GetDisplay());
}

MaterialManager::MaterialManager(Display* display) : display_(display), textures_(new TextureManager(display)) {}

void MaterialManager::SetDisplay(Display* display)
{
    display_ = display;
    textures_.reset(new TextureManager(display));
}

const UId& MaterialPlugin::FamilyId()
{
    static const UId id("4D415445-5249-414C-8000-0000000000A2");
    return id;
}

namespace {
class EngineMaterialPlugin : public MaterialPlugin
{
public:
    using MaterialPlugin::MaterialPlugin;
    Material* Create(const PString& name, Display*) override { return new Material(name, GetName()); }
};
}  // namespace

void MaterialManager::RegisterEngineMaterialTypes()
{
    const struct
    {
        const char* name;
        const char* id;
    } types[] = {{"notex", "4F52564F-0000-4D41-8000-000000000001"},
                 {"onetex", "4F52564F-0000-4D41-8000-000000000002"},
                 {"gloss", "4F52564F-0000-4D41-8000-000000000003"},
                 {"reflect", "4F52564F-0000-4D41-8000-000000000004"}};
    for (const auto& t : types) PluginBase::RegisterPluginType(new EngineMaterialPlugin(PString(t.name), UId(t.id)));
}

MaterialManager::~MaterialManager() { Clear(); }

bool MaterialManager::SplitDecoratedMaterialName(const PString& decorated, PString& name, PString& type)
{
    const std::string_view text = decorated.View();
    name = PString();
    type = PString();
    if (text.size() > 2 && text.substr(0, 2) == "m." &&
        text.find(Material::DecoratedTypeToken) == std::string_view::npos)
    {
        type = decorated;
        return true;
    }
    const size_t mark = text.rfind(Material::DecoratedTypeToken);
    if (mark == std::string_view::npos || mark + 3 >= text.size()) return false;
    name = PString(text.substr(0, mark));
    type = PString(text.substr(mark + 1));
    return true;
}

PString MaterialManager::TypeOf(const PString& decorated)
{
    PString name, type;
    if (!SplitDecoratedMaterialName(decorated, name, type)) return PString();
    return PString(type.View().substr(2));
}

Material* MaterialManager::CreateMaterial(const PString& name, int* result)
{
    int ignored = 0;
    int& out = result ? *result : ignored;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (Material* m : registered_)
            if (m->GetName() == name)
            {
                Material* copy = m->Duplicate();
                copy->AddRef();
                out = Made;
                return copy;
            }
    }
    PString base, type;
    if (!SplitDecoratedMaterialName(name, base, type))
    {
        out = NotDecorated;
        return nullptr;
    }
    const PString shortType(type.View().substr(2));
    bool known = false;
    if (Material* made = CreateFromPlugin(name, shortType, out, known)) return made;
    // A bare type name is what a loader asks for when it may substitute: a registered material of the type
    // serves it whether the type has no plug-in or its plug-in would not make the material.
    if (base.empty())
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (Material* m : registered_)
            if (m->GetType() == shortType)
            {
                Material* copy = m->Duplicate();
                copy->AddRef();
                out = Made;
                return copy;
            }
    }
    out = known ? CannotMake : UnknownType;
    return nullptr;
}

Material* MaterialManager::CreateFromPlugin(const PString& name, PString shortType, int& out, bool& known)
{
    std::vector<PString> passed;
    for (int step = 0; step <= kMaxFallbacks; ++step)
    {
        PluginType* found = PluginBase::LookupPluginType(MaterialPlugin::FamilyId(), shortType);
        if (found == nullptr) break;
        known = true;
        auto* plugin = dynamic_cast<MaterialPlugin*>(found);
        PString fallback;
        Material* made = nullptr;
        bool supported = false;
        try
        {
            supported = plugin && plugin->IsSupported(display_, fallback);
            if (supported) made = plugin->CreateFor(name, *this);
        }
        catch (const std::exception&)
        {
            // A plug-in that fails while it makes its material refuses it, as one answering null does.
            supported = true;
            made = nullptr;
        }
        found->Release();
        if (made != nullptr)
        {
            made->AddRef();
            out = Made;
            return made;
        }
        passed.push_back(shortType);
        if (supported || fallback.empty() || std::find(passed.begin(), passed.end(), fallback) != passed.end()) break;
        shortType = fallback;
    }
    if (known) out = CannotMake;
    return nullptr;
}

void MaterialManager::RegisterMaterial(Material* material)
{
    if (material == nullptr) return;
    material->AddRef();
    std::lock_guard<std::mutex> hold(lock_);
    registered_.push_back(material);
}

void MaterialManager::UnregisterMaterial(Material* material)
{
    std::unique_lock<std::mutex> hold(lock_);
    const auto at = std::find(registered_.begin(), registered_.end(), material);
    if (at == registered_.end()) return;
    registered_.erase(at);
    hold.unlock();
    material->Release();
}

Material* MaterialManager::FindRegistered(const PString& name) const
{
    std::lock_guard<std::mutex> hold(lock_);
    for (Material* m : registered_)
        if (m->GetName() == name) return m;
    return nullptr;
}

size_t MaterialManager::Count() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return registered_.size();
}

void MaterialManager::Clear()
{
    std::lock_guard<std::mutex> hold(lock_);
    for (Material* m : registered_) m->Release();
    registered_.clear();
}

}  // namespace Orvo
