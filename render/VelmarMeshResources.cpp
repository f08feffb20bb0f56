// The indexed, progressive and LOD mesh resources, and the registration of their types.
#include "render/VelmarMeshResources.h"

#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/PluginType.h"
#include "engine/ResourceTypeBase.h"
#include "render/VelmarDynamicIndexedMeshInstance.h"
#include "render/VelmarIndexedMeshLODInstance.h"
#include "render/VelmarProgressiveMeshDefinition.h"

using namespace Orvo;

// ---- indexed ----

VelmarIndexedMeshResource::VelmarIndexedMeshResource(const PString& name, ResourceDatabase* database)
    : VelmarGeometryBaseResource(name, database)
{}

VelmarIndexedMeshResource::~VelmarIndexedMeshResource() = default;

void VelmarIndexedMeshResource::ReplaceDefinition(std::unique_ptr<VelmarIndexedMeshDefinition> definition)
{
    if (definition_ && GetInstanceCount() > 0) retired_.push_back(std::move(definition_));
    definition_ = std::move(definition);
}

int VelmarIndexedMeshResource::Load(const std::string& fileName)
{
    ClearMissingMaterials();
    RenderKernel* kernel = GetRenderKernel();
    if (kernel == nullptr) return LoadFailed;
    ReplaceDefinition(std::make_unique<VelmarIndexedMeshDefinition>(GetOptions()));
    int result = definition_->OpenMeshFile(this, fileName);
    if (result == RES_OK)
        result = definition_->LoadIDXM(kernel->GetDisplay(), &kernel->GetMaterialManager(), this, kVertexColour);
    meshResult_ = result;
    if (result == RES_OK) return LoadOk;
    ReplaceDefinition(nullptr);
    return LoadFailed;
}

int VelmarIndexedMeshResource::LoadComplete()
{
    if (definition_)
    {
        definition_->FinishMaterials(this);
        RenderKernel* kernel = GetRenderKernel();
        definition_->CheckChunks(kernel ? kernel->GetDisplay() : nullptr);  // a refusal is not passed on
    }
    return Resource::LoadComplete();
}

size_t VelmarIndexedMeshResource::CalculateDataSize() const { return definition_ ? definition_->GetMemorySize() : 0; }

std::vector<MaterialArray> VelmarIndexedMeshResource::GetMaterialArrays() const
{
    if (!definition_) return {};
    return {definition_->GetMaterials()};
}

VelmarIndexedMeshInstance* VelmarIndexedMeshResource::MakeInstance(bool progressive)
{
    VelmarIndexedMeshDefinition* definition = definition_.get();
    if (GetRenderKernel() == nullptr || definition == nullptr) return nullptr;
    if (!definition->GetInfluences().empty() && definition->GetBonesPerChunk() != 0)
    {
        if (definition->GetSkeletonRoot() == nullptr) return nullptr;  // the skeleton could not be made
        VelmarDynamicIndexedMeshInstance* instance = progressive ? new VelmarDynamicProgressiveMeshInstance(definition)
                                                                 : new VelmarDynamicIndexedMeshInstance(definition);
        instance->SetResource(this);
        instance->InitialiseFromDefinition(definition);
        instance->SetupSkinning();
        definition->MountAttachmentPoints(*instance);
        return instance;
    }
    VelmarIndexedMeshInstance* instance =
        progressive ? new VelmarProgressiveMeshInstance(definition) : new VelmarIndexedMeshInstance(definition);
    instance->SetResource(this);
    instance->InitialiseFromDefinition(definition);
    instance->BindChunkBones();
    definition->MountAttachmentPoints(*instance);
    return instance;
}

VelmarIndexedMeshInstance* VelmarIndexedMeshResource::CreateMeshInstance() { return MakeInstance(false); }

// ---- progressive ----

int VelmarProgressiveMeshResource::Load(const std::string& fileName)
{
    ClearMissingMaterials();
    RenderKernel* kernel = GetRenderKernel();
    if (kernel == nullptr) return LoadFailed;
    MeshOptions options = GetOptions();
    if (!options.dynamicIndex.present)
    {
        options.dynamicIndex.present = 1;
        options.dynamicIndex.value = StandardChunkHint::UsageDynamic;
    }
    auto definition = std::make_unique<VelmarProgressiveMeshDefinition>(options);
    VelmarProgressiveMeshDefinition* progressive = definition.get();
    ReplaceDefinition(std::move(definition));
    const int result = progressive->LoadProgressive(kernel->GetDisplay(), &kernel->GetMaterialManager(), this, fileName,
                                                    kVertexColour);
    meshResult_ = result;
    if (result == RES_OK) return LoadOk;
    ReplaceDefinition(nullptr);
    return LoadFailed;
}

VelmarIndexedMeshInstance* VelmarProgressiveMeshResource::CreateMeshInstance() { return MakeInstance(true); }

// ---- LOD ----

VelmarIndexedMeshLODResource::VelmarIndexedMeshLODResource(const PString& name, ResourceDatabase* database)
    : VelmarGeometryBaseResource(name, database)
{}

VelmarIndexedMeshLODResource::~VelmarIndexedMeshLODResource() = default;

void VelmarIndexedMeshLODResource::ReplaceDefinition(std::unique_ptr<VelmarIndexedMeshLODDefinition> definition)
{
    if (definition_ && GetInstanceCount() > 0) retired_.push_back(std::move(definition_));
    definition_ = std::move(definition);
    textFailed_ = false;
}

int VelmarIndexedMeshLODResource::Load(const std::string& fileName)
{
    ClearMissingMaterials();
    RenderKernel* kernel = GetRenderKernel();
    if (kernel == nullptr) return LoadFailed;
    ReplaceDefinition(std::make_unique<VelmarIndexedMeshLODDefinition>(GetOptions()));
    const int result =
        definition_->LoadLODM(kernel->GetDisplay(), &kernel->GetMaterialManager(), this, fileName, kVertexColour);
    meshResult_ = result;
    if (result == RES_OK) return LoadOk;
    ReplaceDefinition(nullptr);
    return LoadFailed;
}

int VelmarIndexedMeshLODResource::LoadTxt(const std::string& fileName)
{
    RenderKernel* kernel = GetRenderKernel();
    if (kernel == nullptr) return LoadFailed;
    ReplaceDefinition(std::make_unique<VelmarIndexedMeshLODDefinition>(GetOptions()));
    const int result = definition_->ReadLODDescription(kernel->GetDisplay(), &kernel->GetMaterialManager(), this,
                                                       fileName, kVertexColour);
    meshResult_ = result;
    if (result == RES_OK) return LoadOk;
    textFailed_ = true;  // what was read stays attached, but makes no instances
    return LoadFailed;
}

int VelmarIndexedMeshLODResource::LoadComplete()
{
    int result = RES_OK;
    if (definition_)
    {
        definition_->FinishOwnedLevels(this);
        definition_->MergeEqualLevelMaterials();
        RenderKernel* kernel = GetRenderKernel();
        Display* display = kernel ? kernel->GetDisplay() : nullptr;
        for (const MeshChunkGroup& level : definition_->GetLevels())
            for (uint32_t c = 0; c < level.chunks.Count(); ++c)
                if (display && level.chunks[c] && !level.chunks[c]->Check(display)) result = RES_FILE_DATA_ERROR;
    }
    const int engine = Resource::LoadComplete();
    return result != RES_OK ? result : engine;
}

size_t VelmarIndexedMeshLODResource::CalculateDataSize() const
{
    return definition_ ? definition_->GetLODMemorySize() : 0;
}

std::vector<MaterialArray> VelmarIndexedMeshLODResource::GetMaterialArrays() const
{
    std::vector<MaterialArray> arrays;
    if (definition_)
        for (const MeshChunkGroup& level : definition_->GetLevels()) arrays.push_back(level.materials);
    return arrays;
}

VelmarIndexedMeshInstance* VelmarIndexedMeshLODResource::CreateMeshInstance()
{
    VelmarIndexedMeshLODDefinition* definition = definition_.get();
    if (GetRenderKernel() == nullptr || definition == nullptr || textFailed_) return nullptr;
    if (definition->GetBones().empty())
    {
        auto* instance = new VelmarIndexedMeshLODInstance(definition);
        instance->SetResource(this);
        instance->SetLODDefinition(definition);
        definition->MountAttachmentPoints(*instance);
        instance->BindLevelBones();
        return instance;
    }
    if (definition->GetSkeletonRoot() == nullptr) return nullptr;  // bones without a hierarchy
    auto* instance = new VelmarDynamicIndexedMeshLODInstance(definition);
    instance->SetResource(this);
    instance->SetLODDefinition(definition);
    instance->SetupSkinning();
    definition->MountAttachmentPoints(*instance);
    instance->FindCullAttachments();
    return instance;
}

// ---- registration ----

void RegisterMeshResourceTypes()
{
    const UId category("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    const UId lod("8FCC40D7-8BDD-4d14-B528-65692F5DF710");
    PluginBase::RegisterPluginType(new ResourceType<VelmarIndexedMeshResource>(
        PString("im"), UId("B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6"), category));
    PluginBase::RegisterPluginType(new ResourceType<VelmarProgressiveMeshResource>(
        PString("pm"), UId("2E8739F0-412F-48c2-9F71-912B659C58B6"), category));
    PluginBase::RegisterPluginType(new ResourceType<VelmarIndexedMeshLODResource>(PString("lm.txt"), lod, category));
    PluginBase::RegisterPluginType(new ResourceType<VelmarIndexedMeshLODResource>(PString("lm"), lod, category));
}
