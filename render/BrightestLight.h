#pragma once
// The brightest light of a kind among the lights that reach an object: the one with the largest diffuse
// red + green + blue; the first of equally bright lights wins. The materials' lighting passes take the
// brightest parallel and spot lights this way, and skinned instances answer their strongest light with it.
#include "engine/DisplayLight.h"

// Null without a list or without a light of `kind`.
const Orvo::DisplayLight* ChooseBrightestLight(const Orvo::LightList* lights, int kind);
