#pragma once
// The validation library's one shared object: it knows the validation data folder ("TETData/" beside
// the executable), owns the merged template tree read from its three template files and the user's
// personal details, and keeps the engine objects and the small scene in which meshes are loaded for
// checking. The tool's start-up creates it and hands it the engine objects; its shutdown releases it.
#include "core/TDBTagRef.h"
#include "engine/EngineObjects.h"
#include "engine/PString.h"
#include "validation/DummyLoadMaterials.h"

#include <array>
#include <string>
#include <string_view>

namespace Orvo {
class Particle;
}  // namespace Orvo

namespace TETLib {

struct PersonalDetails
{
    Orvo::PString author;
    Orvo::PString licence;
    Orvo::PString organisation;
    Orvo::PString email;
    Orvo::PString website;
    bool inputBoxOn = true;
};

class DataManager
{
public:
    // The three template files, read in this order; a later definition of a name replaces an earlier.
    static constexpr const char* kTemplateFiles[3] = {"inheritance.txt", "kind.txt", "container.txt"};
    static constexpr const char* kPersonalDetailsFile = "personalDetails.txt";

    // Creates the manager for the validation data folder (ending in a separator) and makes it the global
    // instance. False, with no instance made, when any of the three template files is missing: a tool
    // whose validation data is not installed should say so at start-up rather than at every check.
    static bool Initialise(std::string_view folder);
    // The instance; stops the program (FatalError) when there is none. The first call after Initialise
    // reads the personal details.
    static DataManager* Instance();
    // True while an instance exists.
    static bool HasInstance();
    // Saves the personal details, unlinks the scene, unloads the templates, deletes the objects it took
    // over, deletes the manager. Nothing when there is no instance.
    static void Shutdown();
    // Releases the placeholder materials, unlinks the scene from the render kernel and deletes the engine
    // objects it took over, so that the engine can go before the manager. Shutdown does it too; nothing when there is no instance.
    static void ReleaseScene();

    virtual ~DataManager();
    // Keeps the record's OS object, resource system and render kernel, creates the scene's root particle
    // in the kernel's scene graph, keeps the view (no view: no light) and the third engine object.
    virtual bool SetupScene(EngineObjects* engine);

    // Loads the template files once (until UnloadTemplates); false when none gave a definition.
    bool LoadTemplates();
    void UnloadTemplates();
    bool TemplatesLoaded() const { return templatesLoaded_; }
    // A counted handle of the merged template tree (null before LoadTemplates).
    TDBTagRef GetContainerDefinitions() const { return templates_; }

    void ReadPersonalDetailsIfPresent();
    void SavePersonalDetails();
    const PersonalDetails& GetPersonalDetails() const { return personal_; }

    const Orvo::PString& GetRuleFolder() const { return ruleFolder_; }
    Orvo::RenderKernel* GetRenderKernel() const { return renderKernel_; }
    Orvo::ResourceSystem* GetResourceSystem() const { return resourceSystem_; }
    Orvo::OS* GetOS() const { return os_; }
    Orvo::Particle* GetRootParticle() const { return rootParticle_; }

    // The render kernel published for the mesh loader by SetupScene (null before).
    static Orvo::RenderKernel* MeshRenderKernel();

protected:
    explicit DataManager(std::string_view folder);

private:
    std::string RulePath(std::string_view file) const;

    // The placeholder materials (DummyLoadMaterials.h) live with the manager whose kernel made them.
    friend void RegisterDummyLoadMaterials();
    friend void ReleaseDummyLoadMaterials();
    friend Orvo::Material* GetDummyLoadMaterial(size_t index);
    friend bool DummyLoadMaterialsRegistered();
    std::array<Orvo::Material*, kDummyLoadMaterialCount> placeholders_{};
    bool placeholdersRegistered_ = false;

    bool templatesLoaded_ = false;
    bool firstUse_ = false;
    bool personalFileUnreadable_ = false;  // an existing file we could not read is left alone
    Orvo::PString ruleFolder_;
    TDBTagRef templates_;
    Orvo::ResourceSystem* resourceSystem_ = nullptr;
    Orvo::RenderKernel* renderKernel_ = nullptr;
    Orvo::Particle* engineObject_ = nullptr;  // taken over from the record; deleted at shutdown
    Orvo::Particle* rootParticle_ = nullptr;
    Orvo::OS* os_ = nullptr;
    Orvo::View* view_ = nullptr;  // taken over from the record; deleted at shutdown
    Orvo::Particle* light_ = nullptr;
    PersonalDetails personal_;

    friend class DataManagerAccess;
};

}  // namespace TETLib
