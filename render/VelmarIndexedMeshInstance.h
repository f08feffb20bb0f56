#pragma once
// A mesh instance: what is placed in a scene for a loaded mesh. It is a particle structure (with the
// mesh's reference points and its own copy of the mesh's skeleton as children), triangle geometry (face
// queries, collision) and a light target. It shares the geometry chunks and materials of its definition
// and adds per-instance state: opacity, a non-uniform scale, the bone each chunk follows, and copies of
// chunks or materials that this instance changes (copy on write; a chunk flagged per-instance, 0x1000,
// is never shared between instances).
//
// Per frame the engine culls the instance (while its opacity is above 0 it asks its materials for the
// texture levels its distance wants, ViewPoint::CalcWantedMipLevelsForCull, and queues itself on the view
// point) and renders it (each chunk with elements goes to its material, with the instance's matrix, or
// with the matrix of the bone the chunk follows when that bone was culled in this frame). Its lighting,
// when marked to be worked out again (and whenever the scene's lights were added to or removed since),
// gathers the lights of its render kernel's scene graph that reach it (LightTarget::GatherLights); the
// materials draw with those.
//
// Type ids (GetID): 17 indexed, 18 dynamic, 19 progressive, 20 dynamic progressive, 21 LOD, 22 dynamic LOD.
#include "engine/AutoReference.h"
#include "engine/Geometry.h"
#include "engine/LightTarget.h"
#include "engine/OrientedBox.h"
#include "engine/Particle.h"
#include "engine/Ray.h"
#include "engine/ViewPoint.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace Orvo {
class Bitmap;
}
class VelmarGeometryBaseResource;

class VelmarIndexedMeshInstance : public Orvo::ParticleStructure,
                                  public Orvo::TriangleGeometry,
                                  public Orvo::LightTarget
{
public:
    static constexpr uint32_t kTypeId = 17;

    explicit VelmarIndexedMeshInstance(VelmarIndexedMeshDefinition* definition);
    ~VelmarIndexedMeshInstance() override;

    // ---- set-up (the mesh resource makes instances this way) ----
    // Holds the resource that made the instance (one reference) and draws on its render kernel's display.
    virtual void SetResource(VelmarGeometryBaseResource* resource);
    // Shares the definition's chunks and materials, copies its bounds and boxes, adds its reference points
    // ("p" names) and its name, and clones the per-instance chunks.
    virtual void InitialiseFromDefinition(VelmarIndexedMeshDefinition* definition);
    // With a skeleton in the definition: adds a copy of it as a child and binds each chunk to the bone of
    // the chunk's name (none for a chunk without a name).
    void BindChunkBones();

    // ---- the engine's particle operations ----
    void Cull(Orvo::ViewPoint& viewPoint, const Orvo::Matrix4& matrix) override;
    void Render(Orvo::Display* display, Orvo::ViewPort& viewport, Orvo::Matrix4& matrix) override;
    // A new instance of the same definition and kind with this one's state (the caller owns it).
    Orvo::Particle* CreateInstance() const override;
    uint32_t GetID() const override { return kTypeId; }
    float GetOpacity() const override { return Orvo::Particle::GetOpacity(); }
    void SetOpacity(float opacity) override;
    // The ray (in the instance's frame; distances in units of its direction's length) against the mesh:
    // on entry `distance` is the farthest the caller accepts; on a hit nearer than that it gets the hit's
    // distance and `face` the face hit. Never a hit behind the ray's origin.
    virtual bool TestCollisionGeometry(const Orvo::Ray& ray, float& distance, Orvo::ConstFaceDescriptor& face);

    // ---- copy on write ----
    virtual void MakeChunksUnique();
    virtual void MakeMaterialsUnique();
    // Replaces chunk (material) i by a copy of its own, which shares the old one's arrays until changed.
    virtual void CloneChunk(uint32_t i);
    virtual void CloneMaterial(uint32_t i);
    // Appends a chunk drawn with `material`; refused for skinned chunks (flag 0x40 or a bone palette).
    virtual bool AddChunk(Orvo::GeometryChunk* chunk, Orvo::Material* material);
    // Appends the geometry of `chunk` to chunk i (same vertex type, one pass, both with flag bit 2).
    virtual bool MergeChunk(Orvo::GeometryChunk& chunk, uint32_t i);

    // ---- scale, bounds, counts ----
    virtual void SetScale(const Orvo::Vector3& scale);
    const Orvo::Vector3& GetScale() const { return scale_; }
    bool IsScaled() const { return scaled_; }
    // The sum of the element counts (primitives) of the instance's chunks.
    virtual uint32_t GetElementCount() const;
    // Every vertex position of every chunk mapped to the ground plane: x = (p M).x + offset x,
    // y = (p M).y + offset y.
    void CollectFootprint(std::vector<Orvo::Vector2>& out, const Orvo::Matrix3& m, const Orvo::Vector3& offset) const;
    // The particle's bounding box from the oriented box (scaled when the instance is).
    virtual void UpdateBoundingVolume();

    // ---- new textures ----
    // Texture `texture` of material `material` rebuilt from an image file (PNG, JPEG, TGA or BMP); false
    // when the file cannot be read, or as ReplaceTexture.
    virtual bool ReplaceTextureFromFile(Orvo::Display* display, Orvo::ViewPort& viewport, uint32_t material,
                                        uint32_t texture, std::string_view file);
    // Texture `texture` of material `material` rebuilt from `bitmap`: pixel formats 1, 2, 3 and 4 give
    // display formats 5, 1, 3 and 8. False when there is no such material or texture, or for any other
    // pixel format. The texture changes for all that share it (the instances of the mesh, materials
    // duplicated from this one); one instance's own takes CloneMaterial and the material's DuplicateTexture
    // first. A built-in shared texture is never rebuilt: the material is given its own copy of it first.
    virtual bool ReplaceTexture(Orvo::Display* display, Orvo::ViewPort& viewport, uint32_t material, uint32_t texture,
                                const Orvo::Bitmap& bitmap);

    // ---- drawing and lighting ----
    // Draws every chunk with elements directly (no material caching): the matrix to the display, when
    // lit the material's lighting state (the camera's view, the instance's lights and opacity), then the
    // chunk with its own vertex program.
    virtual void RenderGeometry(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                                bool lit);
    // True when the instance was not culled in the viewport's frame.
    bool NeedsUpdate(const Orvo::ViewPort& viewport) const { return GetLastCulledFrame() != viewport.frame; }
    // Works the lighting out again when it was marked for it (or `force`), then clears the mark.
    virtual void UpdateLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                                bool force);
    // How many times the lighting of a set of chunks was worked out (the engine's light pass).
    uint32_t GetLightingPasses() const { return lightingPasses_; }

    // ---- faces (bounded: a face that does not exist leaves the output unchanged, or answers false) ----
    bool GetFaceNeighbour(Orvo::ConstFaceDescriptor& out, const Orvo::ConstFaceDescriptor& face,
                          uint32_t edge) const override;
    void GetFaceCentre(Orvo::Vector3& out, const Orvo::ConstFaceDescriptor& face) const override;
    void GetFaceNormal(Orvo::Vector3& out, const Orvo::ConstFaceDescriptor& face) const override;
    void GetFaceVertex(Orvo::Vector3& out, const Orvo::ConstFaceDescriptor& face, uint32_t corner) const override;
    Orvo::Material* GetFaceMaterial(const Orvo::ConstFaceDescriptor& face) const override;

    // ---- what the instance holds ----
    VelmarIndexedMeshDefinition* GetDefinition() const { return definition_; }
    VelmarGeometryBaseResource* GetResource() const { return resource_.Get(); }
    Orvo::Display* GetDisplay() const { return display_; }
    uint32_t GetChunkCount() const { return chunkCount_; }
    const ChunkArray& GetChunks() const { return chunks_; }
    const MaterialArray& GetMaterials() const { return materials_; }
    Orvo::GeometryChunk* GetChunk(uint32_t i) const { return i < chunks_.Count() ? chunks_[i].Get() : nullptr; }
    Orvo::Material* GetMaterial(uint32_t i) const { return i < materials_.Count() ? materials_[i].Get() : nullptr; }
    const std::vector<Orvo::Particle*>& GetChunkBones() const { return chunkBones_; }
    const Orvo::OrientedBox& GetOrientedBox() const { return orientedBox_; }
    const Orvo::Vector3& GetBoundsHigh() const { return boundsHigh_; }
    const Orvo::Vector3& GetBoundsLow() const { return boundsLow_; }
    float GetTextureDetailBias() const { return textureDetailBias_; }
    // The copy of the definition's skeleton this instance holds, or null.
    Orvo::Particle* GetSkeleton() const { return skeleton_; }

protected:
    // Copies `source` into this new instance of the same definition (CreateInstance).
    virtual void InitInstance(const VelmarIndexedMeshInstance& source);
    // Steps 1 to 4 of InitialiseFromDefinition: the definition's arrays, bounds, boxes, points and name.
    void TakeDefinition(VelmarIndexedMeshDefinition* definition);
    // Step 5 of the set-up: every per-instance chunk becomes this instance's own, with its own arrays.
    void ClonePerInstanceChunks();
    // The light pass over a set of chunks: the lights of the render kernel's scene graph that reach the
    // instance drawn with `matrix` become its lights (kept as they are without a render kernel).
    virtual void CalculateLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                                   uint32_t count, const ChunkArray& chunks, const MaterialArray& materials);
    // Marks the lighting to be worked out again when lights were added to or removed from the scene since
    // the instance gathered them (a light removed may be gone by the time the materials would read it).
    void MarkLightingIfLightsChanged();
    // The sphere around the instance's oriented box when drawn with `matrix`.
    Orvo::Sphere BoundsUnder(const Orvo::Matrix4& matrix) const;
    // Scales rows 0 to 2 of a matrix by the scale when it is active.
    void ApplyScale(Orvo::Matrix4& matrix) const;
    // The matrix of a particle below this instance: its frame chained up to the instance, then `matrix`.
    Orvo::Matrix4 MatrixBelow(const Orvo::Particle* particle, const Orvo::Matrix4& matrix) const;
    // Adds a copy of `skeleton` as a child; it is this instance's skeleton from then on.
    Orvo::Particle* AdoptSkeleton(const Orvo::Particle* skeleton);

    VelmarIndexedMeshDefinition* definition_;
    Orvo::AutoReference<VelmarGeometryBaseResource> resource_;
    Orvo::Display* display_ = nullptr;
    uint32_t chunkCount_ = 0;
    ChunkArray chunks_;
    MaterialArray materials_;
    std::vector<Orvo::Particle*> chunkBones_;
    Orvo::Vector3 scale_{1.0f, 1.0f, 1.0f};
    Orvo::Vector3 boundsHigh_;
    Orvo::Vector3 boundsLow_;
    Orvo::OrientedBox orientedBox_;
    float textureDetailBias_ = 0.0f;
    bool scaled_ = false;
    Orvo::Particle* skeleton_ = nullptr;  // owned, with everything below it
    uint32_t lightingPasses_ = 0;
};

// The instance of a progressive mesh: drawn at full detail like an indexed mesh, but every instance owns
// its index arrays, and no chunks are added or merged.
class VelmarProgressiveMeshInstance : public VelmarIndexedMeshInstance
{
public:
    static constexpr uint32_t kTypeId = 19;
    using VelmarIndexedMeshInstance::VelmarIndexedMeshInstance;

    Orvo::Particle* CreateInstance() const override;
    uint32_t GetID() const override { return kTypeId; }
    bool AddChunk(Orvo::GeometryChunk*, Orvo::Material*) override { return false; }
    bool MergeChunk(Orvo::GeometryChunk&, uint32_t) override { return false; }

protected:
    void InitInstance(const VelmarIndexedMeshInstance& source) override;
};
