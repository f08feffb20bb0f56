#pragma once
// The two-pass lighting the bump and ground-base materials share: a first pass lit by the ambient light
// and the brightest parallel light, then an additive pass for the brightest spot light. "Brightest" is
// the largest diffuse red + green + blue; the first of equally bright lights wins (ChooseBrightestLight,
// render/BrightestLight.h).
//
// Constants are given in the chunk's own space: with the chunk's transform T (object to view) and the
// camera's view transform V, M = V x T^-1 carries a direction by its 3 x 3 part and a point by the whole
// matrix (divided by w).
#include "engine/AutoReference.h"
#include "engine/Color.h"
#include "engine/DisplayLight.h"
#include "engine/Material.h"
#include "engine/Matrix3.h"
#include "engine/TextureCombiner.h"
#include "engine/Vector.h"
#include "engine/VertexProgram.h"
#include "render/BrightestLight.h"

#include <cstdint>

namespace Orvo {
class Display;
class GeometryChunk;
struct ViewPort;
}  // namespace Orvo

// The display's ambient colour plus the ambient colour of every parallel and ambient light (all four
// components).
Orvo::Color AmbientSum(const Orvo::Display* display, const Orvo::LightList* lights);
// Material ambient x ambient sum + material emissive, alpha 1, each component clamped to [0, 1].
Orvo::Color AmbientTerm(const Orvo::DisplayMaterial& material, const Orvo::Color& ambientSum);
// Component products of a material and a light colour with the alpha the lighting wants.
Orvo::Color LitColour(const Orvo::Color& material, const Orvo::Color& light, float alpha);
// The fixed axis change an environment texture transform applies after the camera's turn: the rows
// (1, 0, 0, 0), (0, 0, 1, 0), (0, -1, 0, 0), (0, 0, 0, 1).
Orvo::Matrix4 EnvironmentAxisChange();
// The rotation part of the camera's view transform, transposed, as a 4 x 4 matrix (no translation);
// identity without a camera.
Orvo::Matrix4 CameraRotationTransposed(const Orvo::ViewPort* viewport);

// What carries world directions and points into a chunk's space.
class ChunkSpace
{
public:
    ChunkSpace(const Orvo::ViewPort* viewport, const Orvo::Matrix4& transform);
    Orvo::Vector3 Direction(const Orvo::Vector3& d) const { return m_.TransformDirection(d); }
    Orvo::Vector3 Point(const Orvo::Vector3& p) const { return m_.TransformPointProjected(p); }
    // The camera's position in the chunk's space.
    const Orvo::Vector3& Camera() const { return camera_; }

private:
    Orvo::Matrix4 m_;
    Orvo::Vector3 camera_;
};

// The program objects of the two passes (the material holds them; the passes only use them).
struct BumpPrograms
{
    Orvo::VertexProgram* parallelProgram = nullptr;
    Orvo::TextureCombiner* parallelCombiner = nullptr;
    Orvo::VertexProgram* spotProgram = nullptr;
    Orvo::TextureCombiner* spotCombiner = nullptr;
};

// The same four held by reference.
struct BumpProgramRefs
{
    Orvo::AutoReference<Orvo::VertexProgram> parallelProgram;
    Orvo::AutoReference<Orvo::TextureCombiner> parallelCombiner;
    Orvo::AutoReference<Orvo::VertexProgram> spotProgram;
    Orvo::AutoReference<Orvo::TextureCombiner> spotCombiner;

    BumpProgramRefs() = default;
    explicit BumpProgramRefs(const BumpPrograms& p)
        : parallelProgram(p.parallelProgram), parallelCombiner(p.parallelCombiner), spotProgram(p.spotProgram),
          spotCombiner(p.spotCombiner)
    {}
    BumpPrograms Get() const
    {
        return {parallelProgram.Get(), parallelCombiner.Get(), spotProgram.Get(), spotCombiner.Get()};
    }
};

// How a material's passes differ from the bump material's.
struct BumpPassOptions
{
    uint32_t specularRegister = 2;          // the combiner register of the specular product
    bool clearSpecularWithoutLight = true;  // without a parallel light it becomes (0, 0, 0, 1), else left
    int spotSource = 4;                     // blend factors of the additive pass
    int spotDestination = 1;
    bool spotGrey = false;  // register 2 of the spot combiner set to `grey` first
    Orvo::Color grey;
};

// One chunk to draw: all of it, or the primitives of an index list.
struct ChunkDraw
{
    Orvo::GeometryChunk* chunk = nullptr;
    const Orvo::LightList* lights = nullptr;
    Orvo::Matrix4 transform;
    const uint16_t* indices = nullptr;
    uint32_t indexCount = 0;
    uint32_t primitiveCount = 0;
    uint32_t primitiveKind = 0;

    void Draw(Orvo::Display* display, Orvo::ViewPort* viewport, Orvo::VertexProgram* program) const;
};

// The first pass: its constants (the display given the chunk's transform), the combiner enabled around
// the draw.
void DrawParallelPass(Orvo::Display* display, Orvo::ViewPort* viewport, const Orvo::DisplayMaterial& material,
                      const BumpPrograms& programs, const BumpPassOptions& options, const ChunkDraw& draw);
// The constants of the first pass alone.
void SetParallelLightConstants(Orvo::Display* display, Orvo::ViewPort* viewport, const Orvo::DisplayMaterial& material,
                               const BumpPrograms& programs, const BumpPassOptions& options, const ChunkDraw& draw);
// The additive pass for `spot` (nothing without one): blend mode, blend factors and fog saved, blending
// on with the options' factors and fog off, the constants, the draw, and the three put back in order.
void DrawSpotPass(Orvo::Display* display, Orvo::ViewPort* viewport, const Orvo::DisplayMaterial& material,
                  const BumpPrograms& programs, const BumpPassOptions& options, const ChunkDraw& draw,
                  const Orvo::DisplayLight* spot);
// Saves the blend mode, blend factors and fog mode, sets the additive state, and puts them back.
class AdditivePassState
{
public:
    AdditivePassState(Orvo::Display* display, int source, int destination);
    ~AdditivePassState();
    AdditivePassState(const AdditivePassState&) = delete;
    AdditivePassState& operator=(const AdditivePassState&) = delete;

private:
    Orvo::Display* display_;
    bool blend_;
    int source_;
    int destination_;
    int fog_;
};
