#include "render/materials/BumpPasses.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "engine/ViewPoint.h"

#include <cmath>

using namespace Orvo;

Color AmbientSum(const Display* display, const LightList* lights)
{
    Color sum = display ? display->GetAmbientColor() : Color();
    if (lights != nullptr)
        for (const DisplayLight* light : *lights)
            if (light && (light->GetKind() == DisplayLight::Parallel || light->GetKind() == DisplayLight::Ambient))
            {
                sum.r += light->ambient.r;
                sum.g += light->ambient.g;
                sum.b += light->ambient.b;
                sum.a += light->ambient.a;
            }
    return sum;
}

Color AmbientTerm(const DisplayMaterial& material, const Color& ambientSum)
{
    Color c(material.ambient.r * ambientSum.r + material.emissive.r,
            material.ambient.g * ambientSum.g + material.emissive.g,
            material.ambient.b * ambientSum.b + material.emissive.b, 1.0f);
    c.Clamp();
    return c;
}

Color LitColour(const Color& material, const Color& light, float alpha)
{
    return Color(material.r * light.r, material.g * light.g, material.b * light.b, alpha);
}

namespace {
Matrix4 ViewMatrix(const ViewPort* viewport)
{
    return viewport && viewport->camera ? viewport->camera->GetViewTransform().ToMatrix() : Matrix4();
}
}  // namespace

Matrix4 EnvironmentAxisChange()
{
    Matrix4 m;
    m.m[1][1] = 0.0f;
    m.m[1][2] = 1.0f;
    m.m[2][1] = -1.0f;
    m.m[2][2] = 0.0f;
    return m;
}

Matrix4 CameraRotationTransposed(const ViewPort* viewport)
{
    const Matrix4 view = ViewMatrix(viewport);
    Matrix4 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = view.m[j][i];
    return r;
}

ChunkSpace::ChunkSpace(const ViewPort* viewport, const Matrix4& transform)
{
    Matrix4 inverse = transform;
    if (!inverse.Invert()) inverse = Matrix4();
    m_ = ViewMatrix(viewport) * inverse;
    const Vector3 camera = viewport && viewport->camera ? viewport->camera->GetGlobalPosition() : Vector3();
    camera_ = Point(camera);
}

void ChunkDraw::Draw(Display* display, ViewPort* viewport, VertexProgram* program) const
{
    if (indices != nullptr)
        chunk->RenderPrimitives(display, viewport, program, indexCount, indices, primitiveCount, primitiveKind, true,
                                0);
    else
        chunk->RenderGeometry(display, viewport, program, true, 0);
}

void SetParallelLightConstants(Display* display, ViewPort* viewport, const DisplayMaterial& material,
                               const BumpPrograms& programs, const BumpPassOptions& options, const ChunkDraw& draw)
{
    const Color ambient = AmbientSum(display, draw.lights);
    const DisplayLight* light = ChooseBrightestLight(draw.lights, DisplayLight::Parallel);
    display->SetTransform(draw.transform);
    VertexProgram* vp = programs.parallelProgram;
    TextureCombiner* tc = programs.parallelCombiner;
    if (light != nullptr)
    {
        const ChunkSpace space(viewport, draw.transform);
        vp->SetLocalConstant(7, space.Direction(light->GetDirection()));
        vp->SetLocalConstant(13, space.Camera());
        tc->SetConstantRegister(0, LitColour(material.diffuse, light->diffuse, material.diffuse.a));
        tc->SetConstantRegister(options.specularRegister, LitColour(material.specular, light->specular, 0.75f));
    }
    else
    {
        const Color none(0.0f, 0.0f, 0.0f, 1.0f);
        vp->SetLocalConstant(7, Vector3());
        tc->SetConstantRegister(0, none);
        vp->SetLocalConstant(13, Vector3());
        if (options.clearSpecularWithoutLight) tc->SetConstantRegister(options.specularRegister, none);
    }
    tc->SetConstantRegister(1, AmbientTerm(material, ambient));
}

void DrawParallelPass(Display* display, ViewPort* viewport, const DisplayMaterial& material,
                      const BumpPrograms& programs, const BumpPassOptions& options, const ChunkDraw& draw)
{
    SetParallelLightConstants(display, viewport, material, programs, options, draw);
    programs.parallelCombiner->Enable();
    draw.Draw(display, viewport, programs.parallelProgram);
    programs.parallelCombiner->Disable();
}

AdditivePassState::AdditivePassState(Display* display, int source, int destination) : display_(display)
{
    blend_ = display->GetAlphaBlendMode();
    display->GetAlphaBlendFunction(source_, destination_);
    fog_ = display->GetFogMode();
    display->SetAlphaBlendMode(true);
    display->SetAlphaBlendFunction(source, destination);
    display->SetFogMode(0);
}

AdditivePassState::~AdditivePassState()
{
    display_->SetAlphaBlendMode(blend_);
    display_->SetAlphaBlendFunction(source_, destination_);
    display_->SetFogMode(fog_);
}

void DrawSpotPass(Display* display, ViewPort* viewport, const DisplayMaterial& material, const BumpPrograms& programs,
                  const BumpPassOptions& options, const ChunkDraw& draw, const DisplayLight* spot)
{
    if (spot == nullptr) return;
    AdditivePassState additive(display, options.spotSource, options.spotDestination);
    VertexProgram* vp = programs.spotProgram;
    TextureCombiner* tc = programs.spotCombiner;
    if (options.spotGrey) tc->SetConstantRegister(2, options.grey);
    display->SetTransform(draw.transform);
    const ChunkSpace space(viewport, draw.transform);
    constexpr float kPi = 3.14159265f;
    vp->SetLocalConstant(7, space.Direction(spot->GetDirection()));
    vp->SetLocalConstant(13, space.Camera());
    vp->SetLocalConstant(5, space.Point(spot->GetPosition()));
    vp->SetLocalConstant(6, Vector3(std::cos(spot->coneAngle * kPi / 180.0f), 1.0f / spot->radius, 0.0f));
    tc->SetConstantRegister(0, LitColour(material.diffuse, spot->diffuse, material.diffuse.a));
    tc->SetConstantRegister(1, Color(0.0f, 0.0f, 0.0f, 1.0f));
    tc->SetConstantRegister(options.specularRegister, LitColour(material.specular, spot->specular, 0.75f));
    tc->Enable();
    draw.Draw(display, viewport, vp);
    tc->Disable();
}
