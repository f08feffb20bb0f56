#pragma once
// The program's material types: each has a short type name (the token its materials report, "tbumptex"),
// a type name ("m.tbumptex", the part of a decorated material name after the material's own name) and
// the id of its plug-in.
#include "engine/PString.h"
#include "engine/UId.h"

enum class VelmarMaterialType
{
    BumpColor,          // "tbumpcoltex"
    BumpGlossColor,     // "tbumpglosscol"
    ColorOneTexture,    // "tgroundonetex"
    ColorOneTextureVS,  // "tgroundonetexvs"
    BumpGloss,          // "tbumpgloss"
    Bump,               // "tbumptex"
    BumpEnv,            // "tbumpenv"
    OneTexNoAlpha,      // "tonetexnoalpha"
    GlossRust,          // "tglossrust"
    MultiPFX,           // "tmpfx"
    NoFog,              // "nofogtex"
    GroundBase,         // "groundbase" (no plug-in of its own)
};

// The interned short type name.
const Orvo::PString& MaterialTypeToken(VelmarMaterialType type);
// "m." + the short type name.
const Orvo::PString& MaterialTypeNameOf(VelmarMaterialType type);
const Orvo::UId& MaterialTypeId(VelmarMaterialType type);
