#pragma once
// Colour and vector helpers the mesh readers, the mesh code and the materials share.
#include "engine/Color.h"
#include "engine/Vector.h"

// Every component, alpha included, multiplied by `factor`.
Orvo::Color ScaleColour(const Orvo::Color& colour, float factor);
// The length of a vector in single precision: the squared length times the table-driven reciprocal
// square root (Orvo::StdMath) refined by two Newton steps.
float VectorLength(const Orvo::Vector3& v);
