#include "validation/mesh/MeshData.h"

#include "core/TCXCallback.h"
#include "core/VelmarWorker.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceSystem.h"
#include "engine/ResourceTypeBase.h"
#include "engine/TextureManager.h"
#include "render/MaterialTextureChecks.h"
#include "render/MeshDataAccess.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarIndexedMeshLODInstance.h"
#include "render/VelmarMeshResources.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"

#include <algorithm>

namespace TETLib {
namespace {

// From this build a large indexed mesh should have levels of detail (rounded hundredths).
constexpr int32_t kLevelsOfDetailFrom = 290;
// Texture descriptions are small; a larger file is not read here (the texture folder check reports it).
constexpr uint64_t kMaxDescriptionBytes = 64 * 1024;
// Lines of a description are read up to this length.
constexpr size_t kMaxDescriptionLine = 511;
// A track's LOD trees nest a few levels; deeper ones are not followed.
constexpr int kMaxTreeDepth = 64;
// Materials still loading their textures are asked this often before they are taken as they stand.
constexpr int kMaxLoadPolls = 1000;
// A material with this flag does without a texture file that is not there.
constexpr uint8_t kMayLackTexture = 0x08;
// How long one pose of a mesh's skeleton blends into the next, in seconds.
constexpr float kSkeletonBlendTime = 0.5f;
// An animation is added looping and loaded at once, at full weight from its start, at its own speed.
constexpr uint32_t kAnimationFlags = 5;
constexpr Orvo::AnimationWeights kAnimationWeights = {0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};

// A process whose program did not hand the engine the mesh resource types gets them here.
void EnsureMeshTypes()
{
    if (Orvo::ResourceTypeBase* type = Orvo::ResourceSystem::FindType("x.im"))
    {
        type->Release();
        return;
    }
    RegisterMeshResourceTypes();
}

// Starts the texture loads of the resource's materials and waits while they are still loading.
void WaitForTextures(VelmarGeometryBaseResource& resource)
{
    resource.LoadAll();
    for (int polls = 0; polls < kMaxLoadPolls && resource.IsAllLoaded() == Orvo::Resource::StateLoading; ++polls)
        resource.LoadAll();
}

// True when the LOD tree, or one of its "high-detail" and "low-detail" trees, names the mesh.
bool TreeNamesMesh(const TDBTagRef& tree, std::string_view mesh, int depth)
{
    if (tree.IsNull() || depth > kMaxTreeDepth) return false;
    if (tree.HasChild("mesh") && tree.GetChildString("mesh").View() == mesh) return true;
    return TreeNamesMesh(tree.GetChildContainer("high-detail"), mesh, depth + 1) ||
           TreeNamesMesh(tree.GetChildContainer("low-detail"), mesh, depth + 1);
}

std::string_view FilePart(std::string_view name)
{
    const size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The value of the first line beginning "Primary=", without its line end; false when there is none.
bool FindPrimary(const std::string& text, std::string& value)
{
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, std::min(end - at, kMaxDescriptionLine));
        if (line.substr(0, 8) == "Primary=")
        {
            std::string_view v = line.substr(8);
            while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) v.remove_suffix(1);
            value = std::string(v);
            return true;
        }
        at = end + 1;
    }
    return false;
}

}  // namespace

std::string MeshPathText(const DataManager& manager, std::string_view path)
{
    const Orvo::File::Path& folder = manager.GetAssetFolder();
    if (folder.IsEmpty()) return std::string(path);
    return Orvo::File::Path(path).RelativeTo(folder).str();
}

MeshData::MeshData(DataManager& manager) : manager_(manager) {}

MeshData::~MeshData()
{
    if (instance_) RemoveChild(instance_.get());
}

bool MeshData::Load(const Orvo::File::Path& file, Container* owner)
{
    owner_ = owner;
    file_ = file.str();
    TCXCallback* step = TCXCallbackCPPVoidPtr<MeshData>::Create(this, &MeshData::LoadStep);
    const bool loaded = VelmarWorker::CallTask(step, VelmarWorker::kMainThread | VelmarWorker::kRunInline);
    step->Release();
    return loaded;
}

bool MeshData::LoadAnimation(const Orvo::File::Path& file)
{
    animationFile_ = file.str();
    TCXCallback* step = TCXCallbackCPPVoidPtr<MeshData>::Create(this, &MeshData::LoadAnimationStep);
    const bool loaded = VelmarWorker::CallTask(step, VelmarWorker::kMainThread | VelmarWorker::kRunInline);
    step->Release();
    return loaded;
}

bool MeshData::HasAttachmentPoint(std::string_view name) const
{
    return std::any_of(attachments_.begin(), attachments_.end(),
                       [&](const MeshAttachment& a) { return a.name.View() == name; });
}

uint32_t MeshData::GetPolygonCount() const { return MeshElementCount(instance_.get()); }

const VelmarIndexedMeshDefinition* MeshData::GetDefinitionInfo() const
{
    return instance_ ? instance_->GetDefinition() : nullptr;
}

const Orvo::PString& MeshData::GetTypeName() const { return MeshDataTypeName(); }

void MeshData::UpdateLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix, bool force)
{
    if (!instance_) return;
    instance_->SetUpdateLighting(true);
    instance_->UpdateLighting(display, viewport, matrix, force);
}

void MeshData::SetVisible(bool visible)
{
    SetFlags(uint8_t(visible ? (GetFlags() | kVisibleBit) : (GetFlags() & ~kVisibleBit)));
}

void MeshData::Report(bool error, std::string_view key, std::initializer_list<MessageParam> params) const
{
    ErrorHandler& handler = manager_.Errors();
    const Orvo::PString text = BuildMessage(key, params);
    if (!handler.IsNewMessage(text)) return;
    if (owner_ != nullptr)
        error ? handler.Error(text, owner_) : handler.Warning(text, owner_);
    else
        error ? handler.Error(text) : handler.Warning(text);
}

bool MeshData::LoadStep(void*)
{
    const std::string text = MeshPathText(manager_, file_);
    EnsureMeshTypes();
    Orvo::Resource* made = manager_.MeshDatabase().Get(file_, Orvo::ResourceSystem::GetNoLoad);
    const Orvo::AutoReference<Orvo::Resource> held(made);
    if (made != nullptr) made->Release();
    if (made == nullptr)
    {
        if (owner_ != nullptr && !manager_.IsAlias()) Report(true, "$tet_mesh_load_mesh", {{"FILE", text}});
        return false;
    }
    // A progressive mesh is not looked into: its format is reported where it is named.
    if (!IsLOD() && dynamic_cast<VelmarProgressiveMeshResource*>(made) != nullptr) return true;
    auto* geometry = dynamic_cast<VelmarGeometryBaseResource*>(made);
    if (geometry == nullptr)
    {
        Report(true, "$tet_mesh_load_mesh", {{"FILE", text}});
        return false;
    }

    // Materials that cannot be made get the placeholder of their type, so that the mesh still loads and
    // says which they are.
    geometry->SetRenderKernel(manager_.GetRenderKernel());
    geometry->SetAllowSubstitutes(true);
    if (geometry->Lock() == 0)
    {
        WaitForTextures(*geometry);
        instance_.reset(geometry->CreateMeshInstance());
    }
    if (instance_ && IsLOD() && dynamic_cast<VelmarIndexedMeshLODInstance*>(instance_.get()) == nullptr)
        instance_.reset();
    if (!instance_)
    {
        if (owner_ != nullptr) Report(true, "$tet_mesh_initialise_mesh", {{"FILE", text}});
        return false;
    }
    if (!IsLOD() && ShouldHaveLevelsOfDetail()) Report(false, "$tet_mesh_should_have_lod", {{"FILE", text}});

    AddChild(instance_.get());
    Orvo::RenderKernel* kernel = manager_.GetRenderKernel();
    skeleton_ = std::make_unique<Orvo::SkeletonModifier>(this, kernel, kSkeletonBlendTime);
    animator_ = std::make_unique<Orvo::Animator>(kernel ? kernel->GetDisplay() : nullptr, &manager_.MeshDatabase(),
                                                 skeleton_.get());
    animatable_ = true;
    if (owner_ != nullptr) Trace(owner_, "$tet_mesh_successfulmesh");
    CollectAttachmentPoints();
    CheckMaterials(geometry->GetMissingMaterials());
    CollectNamedParts();
    return true;
}

bool MeshData::ShouldHaveLevelsOfDetail() const
{
    if (Build::RoundedHundredths(manager_.GetAssetBuild()) < kLevelsOfDetailFrom) return false;
    if (!Orvo::File::Path(file_).IsExt("im") || !MeshNeedsLOD(instance_.get())) return false;
    if (owner_ == nullptr || owner_->GetParent() == nullptr) return false;
    // Only a track's meshes: its LOD trees may name the mesh's entry, which then has its levels there.
    const TDBTagRef& config = owner_->GetRoot()->GetConfigTag();
    if (config.GetChildString("kind").View() != "track") return false;
    const TDBTagRef track = config.GetChildContainer("track");
    const std::string_view entry = owner_->GetName().View();
    return !TreeNamesMesh(track.GetChildContainer("track-lod-tree"), entry, 0) &&
           !TreeNamesMesh(track.GetChildContainer("endcap-prev").GetChildContainer("track-lod-tree"), entry, 0) &&
           !TreeNamesMesh(track.GetChildContainer("endcap-next").GetChildContainer("track-lod-tree"), entry, 0);
}

void MeshData::CollectAttachmentPoints()
{
    attachments_.clear();
    for (const AttachmentRecord& a : instance_->GetDefinition()->GetAttachments())
        attachments_.push_back({a.orientation, a.position, Orvo::PString(FilePart(a.name.View()))});
}

void MeshData::CollectNamedParts()
{
    namedParts_.clear();
    instance_->EnumerateParticles([this](Orvo::Particle& p) { namedParts_.push_back({&p, p.GetName()}); });
}

void MeshData::CheckMaterials(const std::vector<Orvo::PString>& missingMaterials)
{
    // Every material once: a LOD mesh's levels share the materials they have in common.
    std::vector<Orvo::Material*> materials;
    auto take = [&](const MaterialArray& array) {
        for (uint32_t i = 0; i < array.Count(); ++i)
            if (Orvo::Material* m = array[i].Get();
                m && std::find(materials.begin(), materials.end(), m) == materials.end())
                materials.push_back(m);
    };
    if (const LODMeshData* lod = IsLOD() ? static_cast<const LODMeshData*>(this) : nullptr)
        for (const MeshChunkGroup& level : lod->GetLODInstance()->GetLevels()) take(level.materials);
    else
        take(instance_->GetMaterials());

    const std::string text = MeshPathText(manager_, file_);
    auto failed = [&](const Orvo::PString& material, std::string_view texture) {
        Report(true, "$tet_mesh_failedmaterial",
               {{"MATERIAL", material.View()}, {"TEXTURE", MeshPathText(manager_, texture)}, {"FILE", text}});
    };
    // Texture files the reader found missing (a material that refuses a texture it cannot find keeps no
    // record of it, so the definition's list comes first).
    std::vector<Orvo::PString> reported;
    for (const MissingTexture& t : instance_->GetDefinition()->GetMissingTextures())
    {
        failed(t.material, t.texture.View());
        reported.push_back(t.material);
    }
    for (Orvo::Material* m : materials)
    {
        const std::vector<Orvo::Material::Texture>& textures = m->GetTextures();
        // A material that could not be made, or whose textures did not load: the texture that failed, or
        // its first.
        MaterialArray one;
        one.Create(1);
        one.Append(Orvo::AutoReference<Orvo::Material>(m));
        int state = Orvo::Resource::StateLoaded;
        IsAllMaterialsLoaded(one, state);
        const bool notMade =
            std::find(missingMaterials.begin(), missingMaterials.end(), m->GetRequestName()) != missingMaterials.end();
        const bool said = std::find(reported.begin(), reported.end(), m->GetRequestName()) != reported.end();
        if (notMade || (state == Orvo::Resource::StateFailed && !said))
        {
            std::string_view culprit = textures.empty() ? std::string_view() : textures.front().file.View();
            for (const Orvo::Material::Texture& t : textures)
                if (const Orvo::DisplayTexture* d = m->GetTexture(t.stage); d && d->HasFailed())
                {
                    culprit = t.file.View();
                    break;
                }
            failed(m->GetRequestName(), culprit);
        }
        for (const Orvo::Material::Texture& t : textures)
        {
            if (t.file.empty()) continue;
            if (!(m->GetFlags() & kMayLackTexture) && !Orvo::File::IsFile(t.file.View()))
                failed(m->GetRequestName(), t.file.View());
            CheckTextureDescription(t.file);
        }
    }
}

void MeshData::CheckTextureDescription(const Orvo::PString& texture)
{
    Orvo::File::Path description(texture.View());
    if (description.IsExt("texture"))
        description.Add(".txt");
    else if (!description.IsExt("txt"))
        return;
    std::string content;
    std::string primary;
    if (!Orvo::File::IsFile(description.View()) ||
        !Orvo::File::ReadFile(description.View(), content, kMaxDescriptionBytes) || !FindPrimary(content, primary))
        return;
    Orvo::File::Path image(description.GetFolder().View());
    image.AddPath(primary);
    if (Orvo::File::Exists(image.View())) return;
    Report(true, "$tet_mesh_load_texture",
           {{"IMG", primary},
            {"TXTR", MeshPathText(manager_, description.View())},
            {"MESH", MeshPathText(manager_, file_)}});
}

bool MeshData::LoadAnimationStep(void*)
{
    const std::string text = MeshPathText(manager_, animationFile_);
    if (!animator_)
    {
        Report(true, "$tet_mesh_animationfailedmesh", {{"FILE", text}});
        return false;
    }
    const int added = animator_->Add(animationFile_, kAnimationFlags, kAnimationWeights);
    if (added != Orvo::Animator::AddOk)
    {
        const char* key = added == Orvo::Animator::AddSkeletonMismatch ? "$tet_mesh_animationfailedskeleton"
                          : added == Orvo::Animator::AddObserverFailed ? "$tet_mesh_animationfailedobserver"
                                                                       : "$tet_mesh_animationfailedres";
        Report(true, key, {{"FILE", text}, {"REASON", animator_->GetLastError()}});
        return false;
    }
    // The value the checks keep is the animation's frame count, from a modifier made for the purpose.
    std::string reason;
    const std::unique_ptr<Orvo::AnimationModifier> modifier(
        Orvo::AnimationModifier::CreateInstance(&manager_.MeshDatabase(), animationFile_, kAnimationFlags, &reason));
    if (!modifier)
    {
        // The file changed under us since the animator read it.
        Report(true, "$tet_mesh_animationfailedres", {{"FILE", text}, {"REASON", reason}});
        return false;
    }
    animations_.push_back({Orvo::PString(animationFile_), modifier->GetFrameCount()});
    if (owner_ != nullptr)
        Trace(owner_, "$tet_mesh_successfulanimation");
    else
        manager_.Errors().IsNewMessage(BuildMessage("$tet_mesh_successfulanimation"));
    return true;
}

VelmarIndexedMeshLODInstance* LODMeshData::GetLODInstance() const
{
    return static_cast<VelmarIndexedMeshLODInstance*>(GetInstance());
}

uint32_t LODMeshData::GetLevelCount() const { return GetInstance() ? GetLODInstance()->GetLevelCount() : 0; }

const VelmarIndexedMeshDefinition* LODMeshData::GetDefinitionInfo() const
{
    return GetInstance() ? GetLODInstance()->GetLODDefinition() : nullptr;
}

void LODMeshData::SelectLOD(uint32_t level)
{
    if (GetInstance()) GetLODInstance()->SelectLOD(level);
}

}  // namespace TETLib
