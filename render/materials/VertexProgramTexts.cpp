// The texts of the program's vertex-program sets. Each declares its programs (name, vertex type, the
// features the body is built with) and one body whose feature sections stand between "%ifdef" and
// "%endif". Local parameters: 4 light colour x material colour, 5 light position (object space),
// 6 (cosine of the spot angle, 1 / light radius, lowest attenuation, 0), 7 light direction (object space,
// normalised), 8 light ambient x material ambient, 9-11 the basis of the light direction, 12 global
// ambient, 13 camera position (object space).
#include "render/materials/BuiltInPrograms.h"

#include <iterator>

namespace {

// What the two bump sets compute; the colour set writes the light terms into red, green and blue only
// and ends by copying the vertex colour's alpha.
const char kBumpMaterialVtx[] = R"(
# VelmarBumpMaterial_Vtx
version 2.0
vertexProgram(VelmarBumpMaterial_Vtx)
{
    program VelmarBump_ParallelLight(PNTA) = ParallelLight, OneTex, Fog;
    program VelmarBump_SpotLight(PNTA) = SpotLight, OneTex, Fog;
    program VelmarBumpGloss_ParallelLight(PNTA) = ParallelLight, OneTex, SphereMap, Fog;
    program VelmarBumpGloss_SpotLight(PNTA) = SpotLight, OneTex, SphereMap, Fog;
    program VelmarBumpEnv_ParallelLight(PNTA) = ParallelLight, OneTex, cubeMap, Fog;
    program VelmarBumpEnv_SpotLight(PNTA) = SpotLight, OneTex, cubeMap, Fog;
}
API(common)
{
!!ARBvp1.0
ATTRIB iPos = vertex.position;
ATTRIB iNormal = vertex.normal;
ATTRIB iTex0 = vertex.texcoord[0];
ATTRIB iTangent = vertex.attrib[4];
PARAM mvp[4] = { state.matrix.mvp };
PARAM mv[4] = { state.matrix.modelview };
PARAM tex1[4] = { state.matrix.texture[1] };
PARAM lightPos = program.local[5];
PARAM spot = program.local[6];
PARAM lightDir = program.local[7];
PARAM eyePos = program.local[13];
PARAM half = { 0.5, 0.5, 0.5, 1.0 };
TEMP binormal, toLight, toEye, halfAngle, ts, scale, d, e, n;
DP4 result.position.x, mvp[0], iPos;
DP4 result.position.y, mvp[1], iPos;
DP4 result.position.z, mvp[2], iPos;
DP4 result.position.w, mvp[3], iPos;
XPD binormal, iNormal, iTangent;
SUB toEye, eyePos, iPos;
DP3 toEye.w, toEye, toEye;
RSQ toEye.w, toEye.w;
MUL toEye.xyz, toEye, toEye.w;
%ifdef ParallelLight
MOV toLight, -lightDir;
MOV scale, half.w;
DP3 ts.x, iTangent, toLight;
DP3 ts.y, binormal, toLight;
DP3 ts.z, iNormal, toLight;
MAD result.color.primary, ts, half, half;
ADD halfAngle, toEye, toLight;
%endif
%ifdef SpotLight
SUB d, iPos, lightPos;
DP3 d.w, d, d;
RSQ e.w, d.w;
MUL e.xyz, d, e.w;
MUL d.w, d.w, e.w;
MUL d.w, d.w, spot.y;
MAD d.w, -d.w, d.w, half.w;
MAX d.w, d.w, spot.z;
DP3 e.x, e, lightDir;
SGE e.y, e.x, spot.x;
MUL scale, e.x, e.y;
MUL scale, scale, d.w;
MOV toLight, -e;
DP3 ts.x, iTangent, toLight;
DP3 ts.y, binormal, toLight;
DP3 ts.z, iNormal, toLight;
MUL result.color.primary, ts, scale;
SUB halfAngle, toEye, lightDir;
%endif
DP3 halfAngle.w, halfAngle, halfAngle;
RSQ halfAngle.w, halfAngle.w;
MUL halfAngle.xyz, halfAngle, halfAngle.w;
DP3 ts.x, iTangent, halfAngle;
DP3 ts.y, binormal, halfAngle;
DP3 ts.z, iNormal, halfAngle;
MUL ts.xyz, ts, scale;
MAD result.texcoord[2], ts, half, half;
MAX ts.z, ts.z, 0;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MOV result.color.secondary, ts.z;
%ifdef OneTex
MOV result.texcoord[0], iTex0;
MOV result.texcoord[1], iTex0;
%endif
%ifdef SphereMap
DP3 n.x, mv[0], iNormal;
DP3 n.y, mv[1], iNormal;
DP3 n.z, mv[2], iNormal;
MOV n.y, -n.y;
MAD n, n, half, half;
MAD n.xy, iTex0, 0.05, n;
MOV n.w, half.w;
MOV result.texcoord[3], n;
%endif
%ifdef cubeMap
DP3 n.x, mv[0], iNormal;
DP3 n.y, mv[1], iNormal;
DP3 n.z, mv[2], iNormal;
DP4 e.x, mv[0], iPos;
DP4 e.y, mv[1], iPos;
DP4 e.z, mv[2], iPos;
DP3 e.w, e, e;
RSQ e.w, e.w;
MUL e.xyz, -e, e.w;
DP3 d.x, n, e;
MUL d.x, d.x, 2;
MAD d.xyz, n, d.x, -e;
MOV d.w, half.w;
DP4 result.texcoord[3].x, tex1[0], d;
DP4 result.texcoord[3].y, tex1[1], d;
DP4 result.texcoord[3].z, tex1[2], d;
DP4 result.texcoord[3].w, tex1[3], d;
%endif
%ifdef Fog
DP4 e.x, mv[0], iPos;
DP4 e.y, mv[1], iPos;
DP4 e.z, mv[2], iPos;
DP3 e.w, e, e;
RSQ e.w, e.w;
RCP result.fogcoord.x, e.w;
%endif
END
}
)";

const char kBumpColMaterialVtx[] = R"(
# VelmarBumpColMaterial_Vtx
version 2.0
vertexProgram(VelmarBumpColMaterial_Vtx)
{
    program VelmarBumpCol_ParallelLight(PCNTA) = ParallelLight, OneTex, Fog;
    program VelmarBumpCol_SpotLight(PCNTA) = SpotLight, OneTex, Fog;
    program VelmarBumpGlossCol_ParallelLight(PCNTA) = ParallelLight, OneTex, cubeMap, Fog;
    program VelmarBumpGlossCol_SpotLight(PCNTA) = SpotLight, OneTex, cubeMap, Fog;
}
API(common)
{
!!ARBvp1.0
ATTRIB iPos = vertex.position;
ATTRIB iColour = vertex.color;
ATTRIB iNormal = vertex.normal;
ATTRIB iTex0 = vertex.texcoord[0];
ATTRIB iTangent = vertex.attrib[4];
PARAM mvp[4] = { state.matrix.mvp };
PARAM mv[4] = { state.matrix.modelview };
PARAM tex1[4] = { state.matrix.texture[1] };
PARAM lightPos = program.local[5];
PARAM spot = program.local[6];
PARAM lightDir = program.local[7];
PARAM eyePos = program.local[13];
PARAM half = { 0.5, 0.5, 0.5, 1.0 };
TEMP binormal, toLight, toEye, halfAngle, ts, scale, d, e, n;
DP4 result.position.x, mvp[0], iPos;
DP4 result.position.y, mvp[1], iPos;
DP4 result.position.z, mvp[2], iPos;
DP4 result.position.w, mvp[3], iPos;
XPD binormal, iNormal, iTangent;
SUB toEye, eyePos, iPos;
DP3 toEye.w, toEye, toEye;
RSQ toEye.w, toEye.w;
MUL toEye.xyz, toEye, toEye.w;
%ifdef ParallelLight
MOV toLight, -lightDir;
MOV scale, half.w;
DP3 ts.x, iTangent, toLight;
DP3 ts.y, binormal, toLight;
DP3 ts.z, iNormal, toLight;
MAD result.color.primary.xyz, ts, half, half;
ADD halfAngle, toEye, toLight;
%endif
%ifdef SpotLight
SUB d, iPos, lightPos;
DP3 d.w, d, d;
RSQ e.w, d.w;
MUL e.xyz, d, e.w;
MUL d.w, d.w, e.w;
MUL d.w, d.w, spot.y;
MAD d.w, -d.w, d.w, half.w;
MAX d.w, d.w, spot.z;
DP3 e.x, e, lightDir;
SGE e.y, e.x, spot.x;
MUL scale, e.x, e.y;
MUL scale, scale, d.w;
MOV toLight, -e;
DP3 ts.x, iTangent, toLight;
DP3 ts.y, binormal, toLight;
DP3 ts.z, iNormal, toLight;
MUL result.color.primary.xyz, ts, scale;
SUB halfAngle, toEye, lightDir;
%endif
DP3 halfAngle.w, halfAngle, halfAngle;
RSQ halfAngle.w, halfAngle.w;
MUL halfAngle.xyz, halfAngle, halfAngle.w;
DP3 ts.x, iTangent, halfAngle;
DP3 ts.y, binormal, halfAngle;
DP3 ts.z, iNormal, halfAngle;
MUL ts.xyz, ts, scale;
MAD result.texcoord[2], ts, half, half;
MAX ts.z, ts.z, 0;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MUL ts.z, ts.z, ts.z;
MOV result.color.secondary, ts.z;
%ifdef OneTex
MOV result.texcoord[0], iTex0;
MOV result.texcoord[1], iTex0;
%endif
%ifdef cubeMap
DP3 n.x, mv[0], iNormal;
DP3 n.y, mv[1], iNormal;
DP3 n.z, mv[2], iNormal;
DP4 e.x, mv[0], iPos;
DP4 e.y, mv[1], iPos;
DP4 e.z, mv[2], iPos;
DP3 e.w, e, e;
RSQ e.w, e.w;
MUL e.xyz, -e, e.w;
DP3 d.x, n, e;
MUL d.x, d.x, 2;
MAD d.xyz, n, d.x, -e;
MOV d.w, half.w;
DP4 result.texcoord[3].x, tex1[0], d;
DP4 result.texcoord[3].y, tex1[1], d;
DP4 result.texcoord[3].z, tex1[2], d;
DP4 result.texcoord[3].w, tex1[3], d;
%endif
%ifdef Fog
DP4 e.x, mv[0], iPos;
DP4 e.y, mv[1], iPos;
DP4 e.z, mv[2], iPos;
DP3 e.w, e, e;
RSQ e.w, e.w;
RCP result.fogcoord.x, e.w;
%endif
MOV result.color.primary.w, iColour.w;
END
}
)";

// Lighting per vertex: the light colour, the light ambient and the vertex colour's alpha.
const char kColOneTexMaterialVtx[] = R"(
# VelmarColOneTexMaterial_Vtx
version 2.0
vertexProgram(VelmarColOneTexMaterial_Vtx)
{
    program VelmarColOneTex_ParallelLight(PCNTA) = ParallelLight, OneTex, Fog;
    program VelmarColOneTex_SpotLight(PCNTA) = SpotLight, OneTex, Fog;
}
API(common)
{
!!ARBvp1.0
ATTRIB iPos = vertex.position;
ATTRIB iColour = vertex.color;
ATTRIB iNormal = vertex.normal;
ATTRIB iTex0 = vertex.texcoord[0];
PARAM mvp[4] = { state.matrix.mvp };
PARAM mv[4] = { state.matrix.modelview };
PARAM lightColour = program.local[4];
PARAM lightPos = program.local[5];
PARAM spot = program.local[6];
PARAM lightDir = program.local[7];
PARAM lightAmbient = program.local[8];
PARAM terms = { 0.75, 0.25, 0.0, 1.0 };
TEMP lambert, d, e;
DP4 result.position.x, mvp[0], iPos;
DP4 result.position.y, mvp[1], iPos;
DP4 result.position.z, mvp[2], iPos;
DP4 result.position.w, mvp[3], iPos;
DP3 lambert.x, iNormal, -lightDir;
%ifdef ParallelLight
MAX lambert.x, lambert.x, terms.z;
MAD result.color.primary.xyz, lightColour, lambert.x, lightAmbient;
%endif
%ifdef SpotLight
SUB d, iPos, lightPos;
DP3 d.w, d, d;
RSQ e.w, d.w;
MUL e.xyz, d, e.w;
MUL d.w, d.w, e.w;
MUL d.w, d.w, spot.y;
MAD d.w, -d.w, d.w, terms.w;
MAX d.w, d.w, spot.z;
DP3 e.x, e, lightDir;
SGE e.y, e.x, spot.x;
MUL e.x, e.x, e.y;
MUL e.x, e.x, d.w;
MAD lambert.x, lambert.x, terms.x, terms.y;
MUL e.x, e.x, lambert.x;
MUL result.color.primary.xyz, lightColour, e.x;
%endif
%ifdef OneTex
MOV result.texcoord[0], iTex0;
MOV result.texcoord[1], iTex0;
%endif
%ifdef Fog
DP4 e.x, mv[0], iPos;
DP4 e.y, mv[1], iPos;
DP4 e.z, mv[2], iPos;
DP3 e.w, e, e;
RSQ e.w, e.w;
RCP result.fogcoord.x, e.w;
%endif
MOV result.color.primary.w, iColour.w;
END
}
)";

}  // namespace

const BuiltInProgramText kBuiltInVertexProgramSets[] = {
    {"VelmarBumpMaterial_Vtx", kBumpMaterialVtx},
    {"VelmarBumpColMaterial_Vtx", kBumpColMaterialVtx},
    {"VelmarColOneTexMaterial_Vtx", kColOneTexMaterialVtx},
};
const size_t kBuiltInVertexProgramSetCount = std::size(kBuiltInVertexProgramSets);
