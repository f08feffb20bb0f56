#include "validation/ValidationHooks.h"

#include <atomic>

namespace TETLib {
namespace {
std::atomic<ConfigNormaliserFn> g_normaliser{nullptr};
std::atomic<MeshSource*> g_meshSource{nullptr};
std::atomic<TextureFolderCheckFn> g_textureCheck{nullptr};
std::atomic<SoundCheckFn> g_soundCheck{nullptr};
std::atomic<RenderCachesMakerFn> g_cachesMaker{nullptr};
AssetDatabaseServices g_services;
}  // namespace

void SetConfigNormaliser(ConfigNormaliserFn fn) { g_normaliser.store(fn); }
ConfigNormaliserFn GetConfigNormaliser() { return g_normaliser.load(); }
void SetMeshSource(MeshSource* source) { g_meshSource.store(source); }
MeshSource* GetMeshSource() { return g_meshSource.load(); }
void SetTextureFolderCheck(TextureFolderCheckFn fn) { g_textureCheck.store(fn); }
TextureFolderCheckFn GetTextureFolderCheck() { return g_textureCheck.load(); }
void SetRenderCachesMaker(RenderCachesMakerFn fn) { g_cachesMaker.store(fn); }
RenderCachesMakerFn GetRenderCachesMaker() { return g_cachesMaker.load(); }
void SetSoundCheck(SoundCheckFn fn) { g_soundCheck.store(fn); }
SoundCheckFn GetSoundCheck() { return g_soundCheck.load(); }

void SetAssetDatabaseServices(const AssetDatabaseServices& services) { g_services = services; }

bool IsValidUserId(int32_t userId)
{
    return g_services.isValidUserId ? g_services.isValidUserId(userId) : userId < 0 && userId != -2;
}

bool CheckAssetFolderWithDatabase(std::string_view source, const Orvo::File::Path& folder, ResultsLog* log)
{
    return g_services.checkAssetFolder && g_services.checkAssetFolder(source, folder, log);
}

}  // namespace TETLib
