// The plug-ins of the bump line and the multi-PFX plug-in, and the program lookups they share.
#include "engine/RenderKernel.h"
#include "render/materials/BuiltInPrograms.h"
#include "render/materials/VelmarBumpColorMaterial.h"
#include "render/materials/VelmarBumpMaterial.h"
#include "render/materials/VelmarMaterialPlugins.h"
#include "render/materials/VelmarMultiPFXMaterial.h"

namespace Orvo {

bool ProgramHandles::Prepare(Display* display, const ProgramRequest& request)
{
    if (IsComplete(request)) return true;
    handles_.clear();
    if (display == nullptr) return false;
    VertexProgramManager* vertexPrograms = display->GetVertexProgramManager();
    TextureCombinerManager* combiners = request.combiners.empty() ? nullptr : display->GetTextureCombinerManager();
    if (vertexPrograms == nullptr || (!request.combiners.empty() && combiners == nullptr)) return false;
    for (const char* set : request.vertexSets) RegisterBuiltInVertexProgramSet(*vertexPrograms, set);
    for (const char* name : request.combiners) RegisterBuiltInCombinerProgram(*combiners, name);
    for (const ProgramLookup& lookup : request.lookups)
    {
        Handle h;
        int result = -1;
        if (lookup.set != nullptr)
        {
            VertexProgram* found = nullptr;
            result = vertexPrograms->FindProgram(PString(lookup.set), PString(lookup.name), found);
            h.vertex = found;
            if (found) found->Release();
        }
        else if (combiners != nullptr)
        {
            TextureCombiner* found = nullptr;
            result = combiners->FindCombiner(PString(lookup.name), found);
            h.combiner = found;
            if (found) found->Release();
        }
        if (result != 0)
        {
            handles_.clear();
            return false;
        }
        handles_.push_back(std::move(h));
    }
    return true;
}

namespace {

bool HasBumpCapabilities(Display* display)
{
    return display != nullptr && display->SupportsCapability(Display::CapTextureCombiners) &&
           display->SupportsCapability(Display::CapVertexPrograms);
}

// Fills a cache slot from the kernel when it is empty; false when it stays empty.
bool FillCache(AutoReference<RenderingCache>& slot, RenderKernel* kernel, const UId& kind)
{
    if (!slot)
    {
        RenderingCache* cache = AcquireRenderingCache(kernel, kind);
        slot = cache;
        if (cache) cache->Release();
    }
    return bool(slot);
}

}  // namespace

// ---- the bump line ----

VelmarBumpFamilyPlugin::VelmarBumpFamilyPlugin(VelmarMaterialType type, const PString& fallback, ProgramRequest request)
    : MaterialPlugin(MaterialTypeToken(type), MaterialTypeId(type)), fallback_(fallback), request_(std::move(request))
{}

VelmarBumpFamilyPlugin::~VelmarBumpFamilyPlugin() { ReleaseResources(); }

void VelmarBumpFamilyPlugin::ReleaseResources()
{
    blend_.Reset();
    chunk_.Reset();
    mask_.Reset();
    handles_.Release();
    display_.Reset();
}

bool VelmarBumpFamilyPlugin::IsSupported(Display* display, PString& fallback)
{
    if (HasBumpCapabilities(display)) return true;
    fallback = fallback_;
    return false;
}

Material* VelmarBumpFamilyPlugin::CreateFor(const PString& name, MaterialManager& manager)
{
    return CreateMaterialInstance(name, &manager, manager.GetRenderKernel());
}

Material* VelmarBumpFamilyPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                         RenderKernel* kernel)
{
    Display* display = kernel ? kernel->GetDisplay() : nullptr;
    if (display == nullptr) return nullptr;
    // What was made for another display (another render kernel) is of no use here.
    if (!display_.Refers(display)) ReleaseResources();
    display_ = DisplayHandle(display);
    if (!FillCache(blend_, kernel, AlphaBlendCache::AlphaBlendCacheID()) ||
        !FillCache(mask_, kernel, AlphaMaskCache::AlphaMaskCacheID()) ||
        !FillCache(chunk_, kernel, MaterialChunkCache::MaterialChunkCacheID()))
        return nullptr;
    if (!handles_.Prepare(display, request_)) return nullptr;
    return MakeMaterial(name, manager);
}

namespace {

constexpr const char* kBumpVtx = "VelmarBumpMaterial_Vtx";
constexpr const char* kBumpColVtx = "VelmarBumpColMaterial_Vtx";

ProgramRequest BumpColorRequest()
{
    return {{kBumpColVtx},
            {"VelmarBumpColMat_ParallelLight"},
            {{kBumpColVtx, "VelmarBumpCol_ParallelLight"},
             {kBumpColVtx, "VelmarBumpCol_SpotLight"},
             {nullptr, "VelmarBumpColMat_ParallelLight"},
             {nullptr, "VelmarBumpColMat_ParallelLight"}}};
}

// The two programs the gloss colour material keeps but never draws with are looked up in the set that
// declares them.
ProgramRequest BumpGlossColRequest()
{
    return {
        {kBumpColVtx, kBumpVtx},
        {"VelmarBumpGlossColMat_SpotLight", "VelmarBumpGlossColMat_ParallelLight", "VelmarBumpRustMat_ParallelLight"},
        {{kBumpColVtx, "VelmarBumpGlossCol_ParallelLight"},
         {kBumpColVtx, "VelmarBumpGlossCol_SpotLight"},
         {nullptr, "VelmarBumpGlossColMat_ParallelLight"},
         {nullptr, "VelmarBumpGlossColMat_SpotLight"},
         {kBumpVtx, "VelmarBump_ParallelLight"},
         {kBumpVtx, "VelmarBump_SpotLight"},
         {nullptr, "VelmarBumpRustMat_ParallelLight"},
         {nullptr, "VelmarBumpRustMat_ParallelLight"}}};
}

ProgramRequest BumpGlossRequest()
{
    return {{kBumpVtx},
            {"VelmarBumpRustMat_ParallelLight", "VelmarBumpGlossMat_SpotLight", "VelmarBumpGlossMat_ParallelLight"},
            {{kBumpVtx, "VelmarBumpGloss_ParallelLight"},
             {kBumpVtx, "VelmarBumpGloss_SpotLight"},
             {nullptr, "VelmarBumpGlossMat_ParallelLight"},
             {nullptr, "VelmarBumpGlossMat_SpotLight"},
             {kBumpVtx, "VelmarBump_ParallelLight"},
             {kBumpVtx, "VelmarBump_SpotLight"},
             {nullptr, "VelmarBumpRustMat_ParallelLight"},
             {nullptr, "VelmarBumpRustMat_ParallelLight"}}};
}

ProgramRequest BumpRequest()
{
    return {{kBumpVtx},
            {"VelmarBumpMat_ParallelLight"},
            {{kBumpVtx, "VelmarBump_ParallelLight"},
             {kBumpVtx, "VelmarBump_SpotLight"},
             {nullptr, "VelmarBumpMat_ParallelLight"},
             {nullptr, "VelmarBumpMat_ParallelLight"}}};
}

ProgramRequest BumpEnvRequest()
{
    return {{kBumpVtx},
            {"VelmarBumpEnvMat_SpotLight", "VelmarBumpEnvMat_ParallelLight"},
            {{kBumpVtx, "VelmarBumpEnv_ParallelLight"},
             {kBumpVtx, "VelmarBumpEnv_SpotLight"},
             {nullptr, "VelmarBumpEnvMat_ParallelLight"},
             {nullptr, "VelmarBumpEnvMat_SpotLight"}}};
}

}  // namespace

VelmarBumpColorMaterialPlugin::VelmarBumpColorMaterialPlugin()
    : VelmarBumpFamilyPlugin(VelmarMaterialType::BumpColor, MaterialTypeToken(VelmarMaterialType::ColorOneTextureVS),
                             BumpColorRequest())
{}

Material* VelmarBumpColorMaterialPlugin::MakeMaterial(const PString& name, MaterialManager* manager)
{
    return new VelmarBumpColorMaterial(name, manager, MaterialChunkCache(), AlphaMaskCache(), AlphaBlendCache(),
                                       handles_.Passes(0, 1, 2, 3));
}

VelmarBumpGlossColMaterialPlugin::VelmarBumpGlossColMaterialPlugin()
    : VelmarBumpFamilyPlugin(VelmarMaterialType::BumpGlossColor, MaterialTypeToken(VelmarMaterialType::BumpColor),
                             BumpGlossColRequest())
{}

Material* VelmarBumpGlossColMaterialPlugin::MakeMaterial(const PString& name, MaterialManager* manager)
{
    return new VelmarBumpGlossColMaterial(name, manager, MaterialChunkCache(), AlphaMaskCache(), AlphaBlendCache(),
                                          handles_.Passes(0, 1, 2, 3), handles_.Passes(4, 5, 6, 7));
}

VelmarBumpGlossMaterialPlugin::VelmarBumpGlossMaterialPlugin()
    : VelmarBumpFamilyPlugin(VelmarMaterialType::BumpGloss, MaterialTypeToken(VelmarMaterialType::GlossRust),
                             BumpGlossRequest())
{}

Material* VelmarBumpGlossMaterialPlugin::MakeMaterial(const PString& name, MaterialManager* manager)
{
    return new VelmarBumpGlossMaterial(name, manager, MaterialChunkCache(), AlphaMaskCache(), AlphaBlendCache(),
                                       handles_.Passes(0, 1, 2, 3), handles_.Passes(4, 5, 6, 7));
}

VelmarBumpMaterialPlugin::VelmarBumpMaterialPlugin()
    : VelmarBumpFamilyPlugin(VelmarMaterialType::Bump, OneTextureMaterial::UNDECORATED_TYPE(), BumpRequest())
{}

Material* VelmarBumpMaterialPlugin::MakeMaterial(const PString& name, MaterialManager* manager)
{
    return new VelmarBumpMaterial(name, manager, MaterialChunkCache(), AlphaMaskCache(), AlphaBlendCache(),
                                  handles_.Passes(0, 1, 2, 3));
}

VelmarBumpEnvMaterialPlugin::VelmarBumpEnvMaterialPlugin()
    : VelmarBumpFamilyPlugin(VelmarMaterialType::BumpEnv, MaterialTypeToken(VelmarMaterialType::OneTexNoAlpha),
                             BumpEnvRequest())
{}

Material* VelmarBumpEnvMaterialPlugin::MakeMaterial(const PString& name, MaterialManager* manager)
{
    return new VelmarBumpEnvMaterial(name, manager, MaterialChunkCache(), AlphaMaskCache(), AlphaBlendCache(),
                                     handles_.Passes(0, 1, 2, 3));
}

// ---- multi-PFX ----

VelmarMultiPFXMaterialPlugin::VelmarMultiPFXMaterialPlugin()
    : MaterialPlugin(MaterialTypeToken(VelmarMaterialType::MultiPFX), MaterialTypeId(VelmarMaterialType::MultiPFX))
{}

VelmarMultiPFXMaterialPlugin::~VelmarMultiPFXMaterialPlugin() { ReleaseResources(); }

void VelmarMultiPFXMaterialPlugin::ReleaseResources()
{
    chunk_.Reset();
    mask_.Reset();
    blend_.Reset();
    if (Display* display = display_.Get())
        for (uint32_t setup : setups_)
            if (setup != 0) display->ReleaseTextureStageSetup(setup);
    setups_ = {};
    display_.Reset();
}

bool VelmarMultiPFXMaterialPlugin::IsSupported(Display* display, PString& fallback)
{
    if (display != nullptr && display->GetTextureStageCount() >= 2) return true;
    fallback = OneTextureMaterial::UNDECORATED_TYPE();
    return false;
}

Material* VelmarMultiPFXMaterialPlugin::CreateFor(const PString& name, MaterialManager& manager)
{
    return CreateMaterialInstance(name, &manager, manager.GetRenderKernel());
}

Material* VelmarMultiPFXMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                               RenderKernel* kernel)
{
    Display* display = kernel ? kernel->GetDisplay() : nullptr;
    if (display == nullptr) return nullptr;
    if (!display_.Refers(display)) ReleaseResources();
    display_ = DisplayHandle(display);
    if (!FillCache(chunk_, kernel, MaterialChunkCache::MaterialChunkCacheID()) ||
        !FillCache(mask_, kernel, AlphaMaskCache::AlphaMaskCacheID()) ||
        !FillCache(blend_, kernel, AlphaBlendCache::AlphaBlendCacheID()))
        return nullptr;
    if (setups_[0] == 0 || setups_[1] == 0)
    {
        static const TextureArgs stage0Colour{0, 2, 0, 1}, stage0Alpha{0, 1, 1, 1};
        static const TextureArgs stage1Colour{1, 1, 0, 0}, stage1Alpha{1, 1, 1, 1};
        if (setups_[0] == 0) setups_[0] = display->CreateTextureStageSetup(0, stage0Colour, stage0Alpha);
        if (setups_[0] != 0) setups_[1] = display->CreateTextureStageSetup(1, stage1Colour, stage1Alpha);
        if (setups_[1] == 0)
        {
            if (setups_[0] != 0) display->ReleaseTextureStageSetup(setups_[0]);
            setups_[0] = 0;
            return nullptr;
        }
    }
    return new VelmarMultiPFXMaterial(name, manager, chunk_.Get(), mask_.Get(), blend_.Get(), setups_[0], setups_[1]);
}

}  // namespace Orvo
