#include "tool/InstallTextures.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADProtocol.h"
#include "core/VelmarProperty.h"
#include "engine/FilePath.h"
#include "textures/TextureConversion.h"
#include "textures/TextureTargets.h"

namespace {

// The text with the first asset folder it names cut to the path below it; `asset` gets that asset.
std::string BelowAsset(std::string text, const std::vector<InstallTextureAsset>& assets, const KUID*& asset)
{
    for (const InstallTextureAsset& a : assets)
    {
        const std::string prefix = a.first + "/";
        bool named = false;
        for (size_t at; (at = text.find(prefix)) != std::string::npos;)
        {
            text.erase(at, prefix.size());
            named = true;
        }
        if (named)
        {
            asset = &a.second;
            break;
        }
    }
    return text;
}

}  // namespace

void CompileInstallTextures(const std::string& folder, const std::vector<InstallTextureAsset>& assets, ResultsLog& log)
{
    static const PStringArray targets = ParseTextureTargetList(kVADInstallTextureTargets);
    ResultsLog found;
    ConvertTexturesInPath("", Orvo::File::Path(folder), targets, found, true);
    // A result that names no asset (the reason after a failure) is about the asset named last.
    const KUID* asset = nullptr;
    for (const ResultsLog::Result& r : found.GetResults())
    {
        const std::string text = BelowAsset(std::string(r.text.View()), assets, asset);
        const uint32_t kind = r.kind == kResultError ? kResultWarning : r.kind;
        if (asset)
            log.PostResult(kind, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), *asset)), text);
        else
            log.PostResult(kind, r.source, text);
    }
}
