#pragma once
// The program's eleven material plug-ins. Each carries its material type's short name and id, says
// whether a display can draw its material (naming the type to fall back to when it cannot), prepares
// once per display what its materials share (the kernel's rendering caches, the vertex and combiner
// programs, the texture-stage set-ups) and makes materials with it. Resources that cannot all be
// prepared are let go again (handles cleared), so that a later request can try once more.
//
// Fallbacks: "tbumpglosscol" -> "tbumpcoltex" -> "tgroundonetexvs" -> "tgroundonetex";
// "tbumpgloss" -> "tglossrust" -> "onetex"; "tbumptex", "tmpfx" -> "onetex"; "tbumpenv" -> "tonetexnoalpha".
#include "engine/AutoReference.h"
#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/OneTextureMaterial.h"
#include "engine/PluginType.h"
#include "engine/RenderingCache.h"
#include "engine/TextureCombiner.h"
#include "engine/VertexProgram.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/MaterialTypes.h"

#include <array>
#include <vector>

namespace Orvo {

class RenderKernel;

// One program a plug-in looks up: a vertex program of a set, or a combiner by name.
struct ProgramLookup
{
    const char* set;  // the vertex-program set; null for a combiner
    const char* name;
};

// What a plug-in registers and looks up, in order.
struct ProgramRequest
{
    std::vector<const char*> vertexSets;
    std::vector<const char*> combiners;
    std::vector<ProgramLookup> lookups;
};

// The handles a plug-in's lookups give, in lookup order.
class ProgramHandles
{
public:
    // Registers the texts, then looks every program up; false at the first lookup that fails (every
    // handle is then let go). True at once when all are there.
    bool Prepare(Display* display, const ProgramRequest& request);
    void Release() { handles_.clear(); }
    bool IsComplete(const ProgramRequest& request) const { return handles_.size() == request.lookups.size(); }
    size_t Count() const { return handles_.size(); }
    VertexProgram* Vertex(size_t i) const { return i < handles_.size() ? handles_[i].vertex.Get() : nullptr; }
    TextureCombiner* Combiner(size_t i) const { return i < handles_.size() ? handles_[i].combiner.Get() : nullptr; }
    // The bump passes' programs from handles (parallel program, spot program, parallel combiner, spot
    // combiner) at indices a, b, c, d.
    BumpPrograms Passes(size_t a, size_t b, size_t c, size_t d) const
    {
        return {Vertex(a), Combiner(c), Vertex(b), Combiner(d)};
    }

private:
    struct Handle
    {
        AutoReference<VertexProgram> vertex;
        AutoReference<TextureCombiner> combiner;
    };
    std::vector<Handle> handles_;
};

// The plug-ins of the bump line (bump colour, bump gloss colour, bump gloss, bump, bump environment):
// drawn when the display has texture combiners (capability 21) and vertex programs (17).
class VelmarBumpFamilyPlugin : public MaterialPlugin
{
public:
    VelmarBumpFamilyPlugin(VelmarMaterialType type, const PString& fallback, ProgramRequest request);
    ~VelmarBumpFamilyPlugin() override;

    Material* Create(const PString&, Display*) override { return nullptr; }
    Material* CreateFor(const PString& name, MaterialManager& manager) override;
    bool IsSupported(Display* display, PString& fallback) override;
    // The caches (alpha blend, alpha mask, material chunk) and the programs, then the material; null
    // when they cannot be prepared.
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel);

    const ProgramRequest& GetProgramRequest() const { return request_; }
    const ProgramHandles& GetHandles() const { return handles_; }
    RenderingCache* GetAlphaBlendCache() const { return blend_.Get(); }

protected:
    virtual Material* MakeMaterial(const PString& name, MaterialManager* manager) = 0;
    RenderingCache* MaterialChunkCache() const { return chunk_.Get(); }
    RenderingCache* AlphaMaskCache() const { return mask_.Get(); }
    RenderingCache* AlphaBlendCache() const { return blend_.Get(); }

    ProgramHandles handles_;

private:
    void ReleaseResources();

    PString fallback_;
    ProgramRequest request_;
    AutoReference<RenderingCache> blend_;
    AutoReference<RenderingCache> mask_;
    AutoReference<RenderingCache> chunk_;
    DisplayHandle display_;
};

class VelmarBumpColorMaterialPlugin : public VelmarBumpFamilyPlugin
{
public:
    VelmarBumpColorMaterialPlugin();

protected:
    Material* MakeMaterial(const PString& name, MaterialManager* manager) override;
};

class VelmarBumpGlossColMaterialPlugin : public VelmarBumpFamilyPlugin
{
public:
    VelmarBumpGlossColMaterialPlugin();

protected:
    Material* MakeMaterial(const PString& name, MaterialManager* manager) override;
};

class VelmarBumpGlossMaterialPlugin : public VelmarBumpFamilyPlugin
{
public:
    VelmarBumpGlossMaterialPlugin();

protected:
    Material* MakeMaterial(const PString& name, MaterialManager* manager) override;
};

class VelmarBumpMaterialPlugin : public VelmarBumpFamilyPlugin
{
public:
    VelmarBumpMaterialPlugin();

protected:
    Material* MakeMaterial(const PString& name, MaterialManager* manager) override;
};

class VelmarBumpEnvMaterialPlugin : public VelmarBumpFamilyPlugin
{
public:
    VelmarBumpEnvMaterialPlugin();

protected:
    Material* MakeMaterial(const PString& name, MaterialManager* manager) override;
};

// The multi-PFX plug-in: drawn when the display has at least two texture stages.
class VelmarMultiPFXMaterialPlugin : public MaterialPlugin
{
public:
    VelmarMultiPFXMaterialPlugin();
    ~VelmarMultiPFXMaterialPlugin() override;

    Material* Create(const PString&, Display*) override { return nullptr; }
    Material* CreateFor(const PString& name, MaterialManager& manager) override;
    bool IsSupported(Display* display, PString& fallback) override;
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel);
    uint32_t GetSetup(size_t i) const { return i < setups_.size() ? setups_[i] : 0; }

private:
    void ReleaseResources();

    AutoReference<RenderingCache> chunk_;
    AutoReference<RenderingCache> mask_;
    AutoReference<RenderingCache> blend_;
    std::array<uint32_t, 2> setups_{};
    DisplayHandle display_;
};

// The plug-ins on the engine's one-texture base. The colour one-texture and one-texture no-alpha
// plug-ins add one stage-0 set-up of their own.
class VelmarStageSetupPlugin : public OneTextureMaterialPlugin
{
public:
    VelmarStageSetupPlugin(VelmarMaterialType type, const TextureArgs& colour, const TextureArgs& alpha);
    ~VelmarStageSetupPlugin() override;
    uint32_t GetSetup() const { return setup_; }

protected:
    bool CreatePluginResources(RenderKernel* kernel) override;
    void ReleasePluginResources() override;

private:
    TextureArgs colour_;
    TextureArgs alpha_;
    uint32_t setup_ = 0;
};

class VelmarColorOneTextureMaterialPlugin : public VelmarStageSetupPlugin
{
public:
    VelmarColorOneTextureMaterialPlugin();
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel) override;
};

class VelmarOneTexNoAlphaMaterialPlugin : public VelmarStageSetupPlugin
{
public:
    VelmarOneTexNoAlphaMaterialPlugin();
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel) override;
};

// Drawn when the display has vertex programs (capability 17), else "tgroundonetex".
class VelmarColorOneTextureVSMaterialPlugin : public VelmarStageSetupPlugin
{
public:
    VelmarColorOneTextureVSMaterialPlugin();
    bool IsSupported(Display* display, PString& fallback) override;
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel) override;
    const ProgramHandles& GetHandles() const { return handles_; }

protected:
    void ReleasePluginResources() override;

private:
    ProgramRequest request_;
    ProgramHandles handles_;
};

// Drawn when the display can draw reflections (capability 1), else "onetex". Its four set-ups are made
// together: when one cannot be made, those made are released and the count is 0.
class VelmarGlossRustMaterialPlugin : public OneTextureMaterialPlugin
{
public:
    static constexpr uint32_t kSetups = 4;

    VelmarGlossRustMaterialPlugin();
    ~VelmarGlossRustMaterialPlugin() override;
    bool IsSupported(Display* display, PString& fallback) override;
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel) override;
    uint32_t GetSetupCount() const { return count_; }

protected:
    bool CreatePluginResources(RenderKernel* kernel) override;
    void ReleasePluginResources() override;

private:
    void ReleaseSetups();

    uint32_t count_ = 0;
    std::array<uint32_t, kSetups> setups_{};
};

class VelmarNoFogMaterialPlugin : public OneTextureMaterialPlugin
{
public:
    VelmarNoFogMaterialPlugin();
    Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel) override;
};

// Hands the eleven material plug-ins to `add`, in the order the engine is given them.
void RegisterMaterialPlugins(PluginAddFunction add);

}  // namespace Orvo
