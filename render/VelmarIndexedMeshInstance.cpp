// VelmarIndexedMeshInstance: set-up, copies, culling and drawing, copy on write, scale and bounds.
#include "render/VelmarIndexedMeshInstance.h"

#include "engine/Bitmap.h"
#include "engine/Display.h"
#include "engine/DisplayFormat.h"
#include "engine/RenderKernel.h"
#include "engine/SceneGraph.h"
#include "engine/TextureFormat.h"
#include "engine/TextureManager.h"
#include "render/VelmarGeometryBaseResource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Orvo;

VelmarIndexedMeshInstance::VelmarIndexedMeshInstance(VelmarIndexedMeshDefinition* definition) : definition_(definition)
{}

VelmarIndexedMeshInstance::~VelmarIndexedMeshInstance()
{
    if (skeleton_) Particle::DeleteTree(skeleton_);
    if (resource_) resource_->DetachInstance();
}

void VelmarIndexedMeshInstance::SetResource(VelmarGeometryBaseResource* resource)
{
    if (resource_.Get() == resource) return;
    if (resource) resource->AttachInstance();
    if (resource_) resource_->DetachInstance();
    resource_ = resource;
    RenderKernel* kernel = resource ? resource->GetRenderKernel() : nullptr;
    display_ = kernel ? kernel->GetDisplay() : nullptr;
}

void VelmarIndexedMeshInstance::InitialiseFromDefinition(VelmarIndexedMeshDefinition* definition)
{
    TakeDefinition(definition);
    ClonePerInstanceChunks();
}

void VelmarIndexedMeshInstance::TakeDefinition(VelmarIndexedMeshDefinition* definition)
{
    definition_ = definition;
    if (definition == nullptr) return;
    chunkCount_ = definition->GetChunkCount();
    chunks_ = definition->GetChunks();
    materials_ = definition->GetMaterials();
    textureDetailBias_ = definition->GetTextureDetailBias();
    boundsHigh_ = definition->GetBoundsHigh();
    boundsLow_ = definition->GetBoundsLow();
    orientedBox_ = definition->GetOrientedBox();
    for (const AttachmentRecord& a : definition->GetAttachments())
    {
        if (a.name.empty() || (a.name[0] != 'p' && a.name[0] != 'P')) continue;
        PString first, second;
        ReferencePoint::GetSubNames(a.name, first, second);
        AddReferencePoint(new ReferencePoint(first, a.position, Quaternion(a.orientation)));
    }
    SetName(definition->GetName());
    UpdateBoundingVolume();
}

void VelmarIndexedMeshInstance::ClonePerInstanceChunks()
{
    bool madeUnique = false;
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
    {
        if (!chunks_[i] || (chunks_[i]->GetFlags() & GeometryChunk::FlagPerInstance) == 0) continue;
        if (!madeUnique)
        {
            MakeChunksUnique();
            madeUnique = true;
        }
        CloneChunk(i);
        if (chunks_[i]) chunks_[i]->DuplicateUnsharedArrays(display_);
    }
}

Particle* VelmarIndexedMeshInstance::AdoptSkeleton(const Particle* skeleton)
{
    if (skeleton_)
    {
        Particle::DeleteTree(skeleton_);
        skeleton_ = nullptr;
    }
    if (skeleton == nullptr) return nullptr;
    skeleton_ = skeleton->CreateInstance();
    if (skeleton_) AddChild(skeleton_);
    return skeleton_;
}

void VelmarIndexedMeshInstance::BindChunkBones()
{
    chunkBones_.clear();
    if (definition_ == nullptr || definition_->GetSkeletonRoot() == nullptr) return;
    Particle* copy = AdoptSkeleton(definition_->GetSkeletonRoot());
    if (copy == nullptr) return;
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        const PString name = definition_->GetChunkName(i);
        if (name.empty())
            chunkBones_.push_back(nullptr);
        else if (name == copy->GetName())
            chunkBones_.push_back(copy);
        else
            chunkBones_.push_back(copy->FindByName(name));
    }
}

Particle* VelmarIndexedMeshInstance::CreateInstance() const
{
    auto* copy = new VelmarIndexedMeshInstance(definition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarIndexedMeshInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    source.CopyInto(*this);
    for (const ReferencePoint* p : source.GetReferencePoints())
        AddReferencePoint(static_cast<ReferencePoint*>(p->CreateInstance()));
    for (const AttachmentPoint* p : source.GetAttachmentPoints())
        AddAttachmentPoint(static_cast<AttachmentPoint*>(p->CreateInstance()), false);
    AdoptSkeleton(source.skeleton_);
    // The copy's chunks follow the bones of its own skeleton.
    chunkBones_.clear();
    for (const Particle* bone : source.chunkBones_)
        chunkBones_.push_back(bone && skeleton_ ? skeleton_->FindByName(bone->GetName()) : nullptr);
    definition_ = source.definition_;
    SetResource(source.resource_.Get());
    chunkCount_ = source.chunkCount_;
    chunks_ = source.chunks_;
    materials_ = source.materials_;
    boundsHigh_ = source.boundsHigh_;
    boundsLow_ = source.boundsLow_;
    orientedBox_ = source.orientedBox_;
    textureDetailBias_ = source.textureDetailBias_;
    scale_ = source.scale_;
    scaled_ = source.scaled_;
    GetLights() = const_cast<VelmarIndexedMeshInstance&>(source).GetLights();
    UpdateBoundingVolume();
    ClonePerInstanceChunks();
}

// ---- culling and drawing ----

void VelmarIndexedMeshInstance::Cull(ViewPoint& viewPoint, const Matrix4& matrix)
{
    Particle::Cull(viewPoint, matrix);
    if (!(GetOpacity() > 0.0f)) return;
    const int levels = viewPoint.CalcWantedMipLevelsForCull(*this, textureDetailBias_);
    for (uint32_t i = 0; i < materials_.Count(); ++i)
        if (materials_[i]) materials_[i]->Activate(levels);
    viewPoint.Add(this, matrix);
    StoreMatrix(viewPoint.GetViewPort(), matrix);
}

void VelmarIndexedMeshInstance::ApplyScale(Matrix4& matrix) const
{
    if (!scaled_) return;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) matrix.m[r][c] *= scale_[r];
}

Matrix4 VelmarIndexedMeshInstance::MatrixBelow(const Particle* particle, const Matrix4& matrix) const
{
    Matrix4 m = particle->GetLocal().ToMatrix();
    for (const Particle* p = particle->GetParent(); p != nullptr && p != this; p = p->GetParent())
        m = m * p->GetLocal().ToMatrix();
    return m * matrix;
}

void VelmarIndexedMeshInstance::Render(Display* display, ViewPort& viewport, Matrix4& matrix)
{
    ApplyScale(matrix);
    MarkLightingIfLightsChanged();
    UpdateLighting(display, viewport, matrix, false);
    const uint32_t frame = display ? display->GetCurrentFrame() : viewport.frame;
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
    {
        GeometryChunk* chunk = chunks_[i].Get();
        Material* material = GetMaterial(i);
        if (chunk == nullptr || material == nullptr || chunk->GetElementCount() == 0) continue;
        if (i < chunkBones_.size())
        {
            const Particle* bone = chunkBones_[i];
            if (bone == nullptr || bone->GetLastCulledFrame() != frame) continue;
            material->CacheChunk(display, &viewport, chunk, GetDisplayLightList(), MatrixBelow(bone, matrix));
        }
        else
            material->CacheChunk(display, &viewport, chunk, GetDisplayLightList(), matrix);
    }
}

void VelmarIndexedMeshInstance::RenderGeometry(Display* display, ViewPort& viewport, const Matrix4& matrix, bool lit)
{
    if (display == nullptr) return;
    Matrix4 view;
    const bool hasView = lit && viewport.camera != nullptr;
    if (hasView) view = viewport.camera->GetViewTransform().ToMatrix();
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
    {
        GeometryChunk* chunk = chunks_[i].Get();
        if (chunk == nullptr || chunk->GetElementCount() == 0) continue;
        display->SetTransform(matrix);
        VertexProgram* program = chunk->GetVertexProgram(0);
        if (lit)
            if (Material* material = GetMaterial(i))
                material->SetLightingState(display, hasView ? &view : nullptr, chunk, program, GetDisplayLightList(),
                                           matrix, GetOpacity(), true);
        chunk->RenderGeometry(display, &viewport, program, true, 0);
    }
}

void VelmarIndexedMeshInstance::UpdateLighting(Display* display, ViewPort& viewport, const Matrix4& matrix, bool force)
{
    if (!GetUpdateLighting() && !force) return;
    CalculateLighting(display, viewport, matrix, chunkCount_, chunks_, materials_);
    SetUpdateLighting(false);
}

void VelmarIndexedMeshInstance::CalculateLighting(Display*, ViewPort&, const Matrix4& matrix, uint32_t,
                                                  const ChunkArray&, const MaterialArray&)
{
    ++lightingPasses_;
    RenderKernel* kernel = resource_ ? resource_->GetRenderKernel() : nullptr;
    if (kernel == nullptr) return;  // no scene to take lights from: the lights stay as they are
    GatherLights(kernel->GetSceneGraph(), BoundsUnder(matrix));
}

void VelmarIndexedMeshInstance::MarkLightingIfLightsChanged()
{
    RenderKernel* kernel = resource_ ? resource_->GetRenderKernel() : nullptr;
    if (kernel && !HasCurrentLightsOf(kernel->GetSceneGraph())) SetUpdateLighting(true);
}

Sphere VelmarIndexedMeshInstance::BoundsUnder(const Matrix4& matrix) const
{
    // The oriented box is unscaled: the matrix carries the instance's scale.
    float stretch = 0.0f;
    for (int r = 0; r < 3; ++r)
        stretch = std::max(stretch, std::sqrt(matrix.m[r][0] * matrix.m[r][0] + matrix.m[r][1] * matrix.m[r][1] +
                                              matrix.m[r][2] * matrix.m[r][2]));
    Sphere sphere;
    sphere.centre = matrix.TransformPoint(orientedBox_.GetCenter());
    sphere.radius = orientedBox_.GetExtents().Length() * stretch;
    return sphere;
}

void VelmarIndexedMeshInstance::SetOpacity(float opacity)
{
    for (uint32_t i = 0; i < chunks_.Count(); ++i)
        if (chunks_[i]) chunks_[i]->SetOpacity(display_, opacity);
    Particle::SetOpacity(opacity);
}

// ---- copy on write ----

void VelmarIndexedMeshInstance::MakeChunksUnique() { chunks_.MakeUnique(); }

void VelmarIndexedMeshInstance::MakeMaterialsUnique() { materials_.MakeUnique(); }

void VelmarIndexedMeshInstance::CloneChunk(uint32_t i)
{
    if (i >= chunkCount_ || i >= chunks_.Count() || !chunks_[i]) return;
    chunks_.MakeUnique();  // never replace an entry the definition or another instance still shares
    GeometryChunk* copy = chunks_[i]->CreateInstance();
    if (copy) chunks_[i] = copy;
}

void VelmarIndexedMeshInstance::CloneMaterial(uint32_t i)
{
    if (i >= chunkCount_ || i >= materials_.Count() || !materials_[i]) return;
    materials_.MakeUnique();
    Material* copy = materials_[i]->Duplicate();
    if (copy) materials_[i] = copy;
}

bool VelmarIndexedMeshInstance::AddChunk(GeometryChunk* chunk, Material* material)
{
    if (chunk == nullptr || material == nullptr || !chunks_.HasStorage()) return false;
    if ((chunk->GetFlags() & GeometryChunk::FlagNoInfluences) || !chunk->GetInfluencePalette().empty()) return false;
    AutoReference<GeometryChunk> added(chunk);
    if (chunk->GetFlags() & GeometryChunk::FlagPerInstance)
    {
        GeometryChunk* copy = chunk->CreateInstance();
        if (copy == nullptr) return false;
        added = copy;
        copy->DuplicateUnsharedArrays(display_);
    }
    ChunkArray chunks;
    MaterialArray materials;
    chunks.Create(chunkCount_ + 1);
    materials.Create(chunkCount_ + 1);
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        chunks.Append(i < chunks_.Count() ? chunks_[i] : AutoReference<GeometryChunk>());
        materials.Append(i < materials_.Count() ? materials_[i] : AutoReference<Material>());
    }
    chunks.Append(added);
    materials.Append(AutoReference<Material>(material));
    chunks_ = std::move(chunks);
    materials_ = std::move(materials);
    ++chunkCount_;
    return true;
}

bool VelmarIndexedMeshInstance::MergeChunk(GeometryChunk& chunk, uint32_t i)
{
    if ((chunk.GetFlags() & GeometryChunk::FlagNoInfluences) || !chunk.GetInfluencePalette().empty()) return false;
    if (i >= chunkCount_ || i >= chunks_.Count() || !chunks_[i]) return false;
    GeometryChunk& target = *chunks_[i];
    if ((chunk.GetFlags() & 4) == 0 || (target.GetFlags() & 4) == 0) return false;
    if (chunk.GetNumPasses() != 1 || target.GetNumPasses() != 1) return false;
    const VertexType* a = chunk.GetVertexType(0);
    const VertexType* b = target.GetVertexType(0);
    if (a == nullptr || b == nullptr || !(*a == *b)) return false;
    MakeChunksUnique();
    CloneChunk(i);
    return chunks_[i]->AppendChunk(display_, chunk);
}

// ---- scale, bounds, counts ----

void VelmarIndexedMeshInstance::SetScale(const Vector3& scale)
{
    scale_ = scale;
    scaled_ = !(scale.x == 1.0f && scale.y == 1.0f && scale.z == 1.0f);
    UpdateBoundingVolume();
}

void VelmarIndexedMeshInstance::UpdateBoundingVolume()
{
    OrientedBox box = orientedBox_;
    if (scaled_)
        box.SetExtents(Vector3(orientedBox_.GetExtents().x * scale_.x, orientedBox_.GetExtents().y * scale_.y,
                               orientedBox_.GetExtents().z * scale_.z));
    // The particle keeps an axis box in its own frame: the one around the oriented box's corners.
    AxisBox axisBox;
    const Vector3 c = box.GetCenter(), e = box.GetExtents();
    for (int corner = 0; corner < 8; ++corner)
    {
        Vector3 p = c;
        for (int k = 0; k < 3; ++k) p += box.GetAxis(k) * ((corner >> k) & 1 ? e[k] : -e[k]);
        axisBox.Add(p);
    }
    SetBoundingBox(axisBox);
}

uint32_t VelmarIndexedMeshInstance::GetElementCount() const
{
    uint32_t sum = 0;
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
        if (chunks_[i]) sum += chunks_[i]->GetElementCount();
    return sum;
}

void VelmarIndexedMeshInstance::CollectFootprint(std::vector<Vector2>& out, const Matrix3& m,
                                                 const Vector3& offset) const
{
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
    {
        GeometryChunk* chunk = chunks_[i].Get();
        const VertexItemPtr p = chunk ? chunk->GetVector3Array(ItemPosition) : VertexItemPtr();
        if (!p) continue;
        for (uint32_t v = 0; v < chunk->GetNumVertices(); ++v)
        {
            Vector3 q;
            std::memcpy(&q, p.address + size_t(v) * p.stride, 12);
            const Vector3 t = m.Transform(q);
            out.emplace_back(t.x + offset.x, t.y + offset.y);
        }
    }
}

// ---- new textures ----

bool VelmarIndexedMeshInstance::ReplaceTextureFromFile(Display* display, ViewPort& viewport, uint32_t material,
                                                       uint32_t texture, std::string_view file)
{
    String reason;
    const std::unique_ptr<Bitmap> bitmap = Bitmap::Load(file, reason);
    if (!bitmap) return false;
    return ReplaceTexture(display, viewport, material, texture, *bitmap);
}

bool VelmarIndexedMeshInstance::ReplaceTexture(Display* display, ViewPort&, uint32_t material, uint32_t texture,
                                               const Bitmap& bitmap)
{
    Material* m = GetMaterial(material);
    if (m == nullptr || texture > uint32_t(INT32_MAX)) return false;
    DisplayTexture* target = m->GetTexture(int(texture));
    if (target == nullptr) return false;
    DisplayFormat format;
    switch (bitmap.GetFormat())
    {
    case Bitmap::FormatRGB24: format.Set(DFormatRGB888); break;
    case Bitmap::FormatARGB32: format.Set(DFormatARGB8888); break;
    case Bitmap::FormatXRGB32: format.Set(DFormatXRGB8888); break;
    case Bitmap::FormatGrey8: format.Set(DFormatL8); break;
    default: return false;
    }
    if (target->IsShared())
    {
        // A built-in texture stands in for the missing maps of every material: this one takes its own.
        if (m->DuplicateTexture(int(texture)) != Material::ResultOk) return false;
        target = m->GetTexture(int(texture));
        if (target == nullptr || target->IsShared()) return false;
    }
    return target->RebuildFromBitmap(display, bitmap, format);
}

// ---- the progressive instance ----

Particle* VelmarProgressiveMeshInstance::CreateInstance() const
{
    auto* copy = new VelmarProgressiveMeshInstance(definition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarProgressiveMeshInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    VelmarIndexedMeshInstance::InitInstance(source);
    // Every progressive instance owns its index arrays.
    MakeChunksUnique();
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        CloneChunk(i);
        if (GeometryChunk* chunk = GetChunk(i)) chunk->DuplicateIndexArray(display_);
    }
}
