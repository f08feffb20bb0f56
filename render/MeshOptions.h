#pragma once
// The mesh options a mesh resource hands to its definition: five settings, each a value byte and a
// "present" byte.
#include <cstdint>

struct MeshOption
{
    uint8_t value = 0;
    uint8_t present = 0;
    bool IsOn() const { return present && value; }
};

struct MeshOptions
{
    MeshOption softwareLighting;                 // "SoftwareLighting"
    MeshOption softwareAnimation;                // "SoftwareAnimation"
    MeshOption dynamicVertex;                    // "DynamicVertex": the chunks' vertex buffer usage
    MeshOption dynamicIndex;                     // "DynamicIndex": the chunks' index buffer usage
    MeshOption hardwareAnimationFloatPrecision;  // "HardwareAnimationFloatPrecision"
};
