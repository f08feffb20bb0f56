#include "render/MaterialTextureChecks.h"

#include "engine/Resource.h"
#include "engine/TextureManager.h"

using namespace Orvo;

bool LoadAllMaterialTextures(const AutoReferenceArray<AutoReference<Material>>& materials)
{
    for (const AutoReference<Material>& material : materials)
    {
        if (!material || material->IsLoaded() == Material::ResultOk) continue;
        for (const Material::Texture& definition : material->GetTextures())
        {
            DisplayTexture* texture = material->GetTexture(definition.stage);
            if (texture == nullptr || texture->IsLoaded()) continue;
            texture->RequestLoad();
            if (texture->HasFailed()) return false;
        }
    }
    return true;
}

void IsAllMaterialsLoaded(const AutoReferenceArray<AutoReference<Material>>& materials, int& result)
{
    for (const AutoReference<Material>& material : materials)
    {
        if (!material) continue;
        const int loaded = material->IsLoaded();
        if (loaded == Material::ResultOk) continue;
        if (loaded != Material::ResultNotLoaded || material->GetTextures().empty())
        {
            result = Resource::StateFailed;
            return;
        }
        for (const Material::Texture& definition : material->GetTextures())
        {
            const DisplayTexture* texture = material->GetTexture(definition.stage);
            if (texture == nullptr || texture->IsLoaded()) continue;
            result = texture->HasFailed() || texture->GetPendingState() == DisplayTexture::PendingFailed
                         ? Resource::StateFailed
                         : Resource::StateLoading;
            return;
        }
        result = Resource::StateLoading;
        return;
    }
    result = Resource::StateLoaded;
}
