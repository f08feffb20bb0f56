// The texts of the program's texture-combiner (pixel) programs, written for pixel-shader version 1.1.
// Inputs: t0 the colour bitmap, t1 the bump map (its alpha the gloss map), t2 the half-angle vector as a
// texture coordinate, t3 the environment or gloss map; v0 the tangent-space light vector (alpha: the
// vertex alpha in the colour variants), v1 the per-vertex specular term. Constants are named in the
// header and referred to as c[^Name]. LightDiff and LightAmb default to 0, 0, 0, 1: the ambient alpha
// must stay 1.
#include "render/materials/BuiltInPrograms.h"

#include <iterator>

namespace {

const char kBumpMatParallelLight[] = R"(
# VelmarBumpMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0                                  ; colour bitmap
tex t1                                  ; bump normal, gloss in alpha
texcoord t2                             ; half angle
dp3_sat r1, t1_bx2, t2_bx2              ; N.H
dp3_sat r0, t1_bx2, v0_bx2              ; N.L
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a        ; alpha: bitmap x diffuse alpha
mul_x2 r0.rgb, r0, t0                   ; lit bitmap
mul r1, r1, r1                          ; (N.H)^2
mul_x4 r1, r1, r1                       ; (N.H)^4 x 4
sub_sat r1, r1, c[^Specular].a          ; power-of-16 approximation
mul t1.rgb, c[^Specular], t1.a          ; specular scaled by the gloss map
lrp r1.rgb, t1_bias.b, r1, v1.b         ; per-pixel or per-vertex term by the normal's height
mad r0.rgb, t1, r1, r0                  ; colour + specular
}
API(common)
{
; ps.1.1 with the per-vertex specular only:
; tex t0
; tex t1
; dp3_sat r0, t1_bx2, v0_bx2
; mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
; +mul r0.a, t0.a, c[^LightDiff].a
; mul_x2 r0.rgb, r0, t0
; mad r0.rgb, c[^Specular], v1.b, r0
}
)";

const char kBumpColMatParallelLight[] = R"(
# VelmarBumpColMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpColMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
+mul r0.a, r0.a, v0.a                   ; times the vertex alpha
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul t1.rgb, c[^Specular], t1.a
lrp r1.rgb, t1_bias.b, r1, v1.b
mad r0.rgb, t1, r1, r0
}
)";

const char kBumpEnvMatParallelLight[] = R"(
# VelmarBumpEnvMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpEnvMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
tex t3                                  ; environment map
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mad r1.rgb, c[^Specular], r1, t3        ; specular and reflection
mad r0.rgb, r1, t1.a, r0                ; where the gloss map says
}
)";

const char kBumpEnvMatSpotLight[] = R"(
# VelmarBumpEnvMat_SpotLight_Pxl
version 1.1
header(VelmarBumpEnvMat_SpotLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
mad r0.rgb, r1, t1.a, r0
}
)";

const char kBumpGlossMatParallelLight[] = R"(
# VelmarBumpGlossMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpGlossMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Lerp) - 0.0, 0.0, 1.0, 1.0;
    reg 3(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
tex t3                                  ; gloss map
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
lrp r1.rgb, c[^Lerp], t3, r1            ; gloss map by the gloss strength
mad r0.rgb, r1, t1.a, r0
}
)";

const char kBumpGlossMatSpotLight[] = R"(
# VelmarBumpGlossMat_SpotLight_Pxl
version 1.1
header(VelmarBumpGlossMat_SpotLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Lerp) - 0.0, 0.0, 1.0, 1.0;
    reg 3(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
tex t3
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mul_sat r0.rgb, r0, c[^LightDiff]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
lrp r1.rgb, c[^Lerp], t3, r1
mad r0.rgb, r1, t1.a, r0
}
)";

const char kBumpGlossColMatParallelLight[] = R"(
# VelmarBumpGlossColMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpGlossColMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Specular) - 0.9, 0.9, 0.9, 0.75;
    reg 3(Lerp) - 0.0, 0.0, 1.0, 1.0;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
tex t3                                  ; environment map
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
+mul r0.a, r0.a, v0.a
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
lrp r1.rgb, c[^Lerp], t3, r1
mad r0.rgb, r1, t1.a, r0
}
)";

const char kBumpGlossColMatSpotLight[] = R"(
# VelmarBumpGlossColMat_SpotLight_Pxl
version 1.1
header(VelmarBumpGlossColMat_SpotLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(Lerp) - 0.0, 0.0, 1.0, 1.0;
    reg 3(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
tex t3
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mul_sat r0.rgb, r0, c[^LightDiff]
+mul r0.a, t0.a, c[^LightDiff].a
mul_x2 r0.rgb, r0, t0
+mul r0.a, r0.a, v0.a
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
lrp r1.rgb, c[^Lerp], t3, r1
mad r0.rgb, r1, t1.a, r0
}
)";

const char kBumpRustMatParallelLight[] = R"(
# VelmarBumpRustMat_ParallelLight_Pxl
version 1.1
header(VelmarBumpRustMat_ParallelLight)
{
    reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
    reg 1(LightAmb) - 0.0, 0.0, 0.0, 1.0;
    reg 2(RustColor) - 0.0, 0.0, 1.0, 1.0;
    reg 3(Specular) - 0.9, 0.9, 0.9, 0.75;
}
API(common)
{
ps.1.1
tex t0
tex t1
texcoord t2
dp3_sat r1, t1_bx2, t2_bx2
dp3_sat r0, t1_bx2, v0_bx2
mad_sat r0.rgb, r0, c[^LightDiff], c[^LightAmb]
+mul r0.a, t0.a, c[^LightDiff].a
lrp r0.rgb, c[^RustColor].a, c[^RustColor], r0   ; rust tints the lit colour
mul_x2 r0.rgb, r0, t0
mul r1, r1, r1
mul_x4 r1, r1, r1
sub_sat r1, r1, c[^Specular].a
mul r1.rgb, r1, c[^Specular]
mad r0.rgb, r1, t1.a, r0
}
)";

}  // namespace

const BuiltInProgramText kBuiltInCombinerPrograms[] = {
    {"VelmarBumpMat_ParallelLight", kBumpMatParallelLight},
    {"VelmarBumpColMat_ParallelLight", kBumpColMatParallelLight},
    {"VelmarBumpEnvMat_SpotLight", kBumpEnvMatSpotLight},
    {"VelmarBumpEnvMat_ParallelLight", kBumpEnvMatParallelLight},
    {"VelmarBumpGlossMat_SpotLight", kBumpGlossMatSpotLight},
    {"VelmarBumpGlossMat_ParallelLight", kBumpGlossMatParallelLight},
    {"VelmarBumpGlossColMat_SpotLight", kBumpGlossColMatSpotLight},
    {"VelmarBumpGlossColMat_ParallelLight", kBumpGlossColMatParallelLight},
    {"VelmarBumpRustMat_ParallelLight", kBumpRustMatParallelLight},
};
const size_t kBuiltInCombinerProgramCount = std::size(kBuiltInCombinerPrograms);
