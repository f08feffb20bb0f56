#include "validation/ValidationHooks.h"

#include <atomic>

namespace TETLib {
namespace {
// What the program plugs into the validation library. Process-wide, as the library is: one data manager
// and its templates serve every validation of the process.
struct Plugins
{
    std::atomic<ConfigNormaliserFn> normaliser{nullptr};
    std::atomic<MeshSource*> meshSource{nullptr};
    std::unique_ptr<MeshSource> ownedMeshSource;  // a source handed over with SetMeshSource
    std::atomic<TextureFolderCheckFn> textureCheck{nullptr};
    std::atomic<SoundCheckFn> soundCheck{nullptr};
    std::atomic<RenderCachesMakerFn> cachesMaker{nullptr};
    AssetDatabaseServices services;  // set before validation runs, read while it runs
};
Plugins g_plugins;
}  // namespace

void SetConfigNormaliser(ConfigNormaliserFn fn) { g_plugins.normaliser.store(fn); }
ConfigNormaliserFn GetConfigNormaliser() { return g_plugins.normaliser.load(); }
void SetMeshSource(MeshSource* source)
{
    g_plugins.meshSource.store(source);
    if (source != g_plugins.ownedMeshSource.get()) g_plugins.ownedMeshSource.reset();
}
void SetMeshSource(std::unique_ptr<MeshSource> source)
{
    g_plugins.meshSource.store(source.get());
    g_plugins.ownedMeshSource = std::move(source);
}
MeshSource* GetMeshSource() { return g_plugins.meshSource.load(); }
void SetTextureFolderCheck(TextureFolderCheckFn fn) { g_plugins.textureCheck.store(fn); }
TextureFolderCheckFn GetTextureFolderCheck() { return g_plugins.textureCheck.load(); }
void SetRenderCachesMaker(RenderCachesMakerFn fn) { g_plugins.cachesMaker.store(fn); }
RenderCachesMakerFn GetRenderCachesMaker() { return g_plugins.cachesMaker.load(); }
void SetSoundCheck(SoundCheckFn fn) { g_plugins.soundCheck.store(fn); }
SoundCheckFn GetSoundCheck() { return g_plugins.soundCheck.load(); }

void SetAssetDatabaseServices(const AssetDatabaseServices& services) { g_plugins.services = services; }

bool IsValidUserId(int32_t userId)
{
    const AssetDatabaseServices& s = g_plugins.services;
    return s.isValidUserId ? s.isValidUserId(userId) : userId < 0 && userId != -2;
}

}  // namespace TETLib
