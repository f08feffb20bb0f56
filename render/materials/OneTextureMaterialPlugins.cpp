// The plug-ins on the engine's one-texture base: colour one-texture, colour one-texture VS, one-texture
// no-alpha, gloss-rust and no-fog; and the registration of all eleven.
#include "engine/RenderKernel.h"
#include "render/materials/VelmarColorOneTextureVSMaterial.h"
#include "render/materials/VelmarGlossRustMaterial.h"
#include "render/materials/VelmarGroundBaseMaterial.h"
#include "render/materials/VelmarMaterialPlugins.h"
#include "render/materials/VelmarNoFogMaterial.h"

namespace Orvo {

// ---- plug-ins with a stage set-up of their own ----

VelmarStageSetupPlugin::VelmarStageSetupPlugin(VelmarMaterialType type, const TextureArgs& colour,
                                               const TextureArgs& alpha)
    : OneTextureMaterialPlugin(MaterialTypeToken(type), MaterialTypeId(type)), colour_(colour), alpha_(alpha)
{}

VelmarStageSetupPlugin::~VelmarStageSetupPlugin() { VelmarStageSetupPlugin::ReleasePluginResources(); }

void VelmarStageSetupPlugin::ReleasePluginResources()
{
    if (Display* display = GetResourceDisplay(); display && setup_ != 0) display->ReleaseTextureStageSetup(setup_);
    setup_ = 0;
    OneTextureMaterialPlugin::ReleasePluginResources();
}

bool VelmarStageSetupPlugin::CreatePluginResources(RenderKernel* kernel)
{
    if (!OneTextureMaterialPlugin::CreatePluginResources(kernel)) return false;
    if (setup_ == 0) setup_ = GetResourceDisplay()->CreateTextureStageSetup(0, colour_, alpha_);
    return true;
}

VelmarColorOneTextureMaterialPlugin::VelmarColorOneTextureMaterialPlugin()
    : VelmarStageSetupPlugin(VelmarMaterialType::ColorOneTexture, {0, 2, 0, 1}, {0, 1, 1, 1})
{}

Material* VelmarColorOneTextureMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                                      RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel)) return nullptr;
    return new VelmarColorOneTextureMaterial(name, manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                             GetAlphaBlendCache(), GetSetup());
}

VelmarOneTexNoAlphaMaterialPlugin::VelmarOneTexNoAlphaMaterialPlugin()
    : VelmarStageSetupPlugin(VelmarMaterialType::OneTexNoAlpha, {0, 2, 0, 1}, {0, 1, 1, 0})
{}

Material* VelmarOneTexNoAlphaMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                                    RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel)) return nullptr;
    return new VelmarOneTexNoAlphaMaterial(name, manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                           GetAlphaBlendCache(), GetSetup());
}

// ---- colour one-texture VS ----

namespace {
constexpr const char* kColOneTexVtx = "VelmarColOneTexMaterial_Vtx";
}

VelmarColorOneTextureVSMaterialPlugin::VelmarColorOneTextureVSMaterialPlugin()
    : VelmarStageSetupPlugin(VelmarMaterialType::ColorOneTextureVS, {0, 2, 0, 1}, {0, 1, 1, 1}),
      request_{{kColOneTexVtx},
               {},
               {{kColOneTexVtx, "VelmarColOneTex_ParallelLight"}, {kColOneTexVtx, "VelmarColOneTex_SpotLight"}}}
{}

bool VelmarColorOneTextureVSMaterialPlugin::IsSupported(Display* display, PString& fallback)
{
    if (display != nullptr && display->SupportsCapability(Display::CapVertexPrograms)) return true;
    fallback = MaterialTypeToken(VelmarMaterialType::ColorOneTexture);
    return false;
}

void VelmarColorOneTextureVSMaterialPlugin::ReleasePluginResources()
{
    handles_.Release();
    VelmarStageSetupPlugin::ReleasePluginResources();
}

Material* VelmarColorOneTextureVSMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                                        RenderKernel* kernel)
{
    Display* display = kernel ? kernel->GetDisplay() : nullptr;
    if (display == nullptr) return nullptr;
    // The set-up and caches are made for the display first, so that programs of another display are let
    // go before these are looked up.
    if (!CreatePluginResources(kernel)) return nullptr;
    if (!handles_.Prepare(display, request_)) return nullptr;
    return new VelmarColorOneTextureVSMaterial(name, manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                               GetAlphaBlendCache(), GetSetup(), handles_.Vertex(0),
                                               handles_.Vertex(1));
}

// ---- gloss-rust ----

VelmarGlossRustMaterialPlugin::VelmarGlossRustMaterialPlugin()
    : OneTextureMaterialPlugin(MaterialTypeToken(VelmarMaterialType::GlossRust),
                               MaterialTypeId(VelmarMaterialType::GlossRust))
{}

VelmarGlossRustMaterialPlugin::~VelmarGlossRustMaterialPlugin() { VelmarGlossRustMaterialPlugin::ReleaseSetups(); }

bool VelmarGlossRustMaterialPlugin::IsSupported(Display* display, PString& fallback)
{
    if (display != nullptr && display->SupportsCapability(Display::CapReflection)) return true;
    fallback = OneTextureMaterial::UNDECORATED_TYPE();
    return false;
}

void VelmarGlossRustMaterialPlugin::ReleaseSetups()
{
    Display* display = GetResourceDisplay();
    for (uint32_t i = 0; i < count_; ++i)
        if (display) display->ReleaseTextureStageSetup(setups_[i]);
    setups_ = {};
    count_ = 0;
}

void VelmarGlossRustMaterialPlugin::ReleasePluginResources()
{
    ReleaseSetups();
    OneTextureMaterialPlugin::ReleasePluginResources();
}

bool VelmarGlossRustMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    if (!OneTextureMaterialPlugin::CreatePluginResources(kernel)) return false;
    if (count_ == kSetups) return true;
    ReleaseSetups();
    static const struct
    {
        uint32_t stage;
        TextureArgs colour;
        TextureArgs alpha;
    } wanted[kSetups] = {{0, {0, 2, 0, 1}, {0, 1, 1, 0}},
                         {1, {1, 1, 0, 7}, {1, 1, 1, 0}},
                         {0, {0, 2, 0, 1}, {0, 1, 1, 1}},
                         {1, {1, 1, 0, 7}, {1, 1, 1, 0}}};
    Display* display = GetResourceDisplay();
    for (const auto& w : wanted)
    {
        const uint32_t setup = display->CreateTextureStageSetup(w.stage, w.colour, w.alpha);
        if (setup == 0)
        {
            ReleaseSetups();
            return false;
        }
        setups_[count_++] = setup;
    }
    return true;
}

Material* VelmarGlossRustMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                                RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel)) return nullptr;
    return new VelmarGlossRustMaterial(name, manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                       GetAlphaBlendCache(), count_, setups_.data());
}

// ---- no-fog ----

VelmarNoFogMaterialPlugin::VelmarNoFogMaterialPlugin()
    : OneTextureMaterialPlugin(MaterialTypeToken(VelmarMaterialType::NoFog), MaterialTypeId(VelmarMaterialType::NoFog))
{}

Material* VelmarNoFogMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                            RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel)) return nullptr;
    auto* material =
        new VelmarNoFogMaterial(name, manager, GetMaterialChunkCache(), GetAlphaMaskCache(), GetAlphaBlendCache());
    material->SetTextureStageSetup(GetBaseSetup());
    return material;
}

// ---- registration ----

void RegisterMaterialPlugins(PluginAddFunction add)
{
    if (add == nullptr) return;
    PluginType* const plugins[] = {
        new VelmarBumpColorMaterialPlugin(),       new VelmarBumpGlossColMaterialPlugin(),
        new VelmarColorOneTextureMaterialPlugin(), new VelmarColorOneTextureVSMaterialPlugin(),
        new VelmarBumpGlossMaterialPlugin(),       new VelmarBumpMaterialPlugin(),
        new VelmarBumpEnvMaterialPlugin(),         new VelmarOneTexNoAlphaMaterialPlugin(),
        new VelmarGlossRustMaterialPlugin(),       new VelmarMultiPFXMaterialPlugin(),
        new VelmarNoFogMaterialPlugin(),
    };
    for (PluginType* plugin : plugins)
    {
        plugin->AddRef();
        add(plugin);
        plugin->Release();
    }
}

}  // namespace Orvo
