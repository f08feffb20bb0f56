#pragma once
// Drawable geometry: the matrix it was last queued with, and, for geometry made of triangles, the
// questions collision and lighting ask about one face.
#include "engine/Matrix3.h"
#include "engine/Vector.h"

#include <cstdint>

namespace Orvo {

class Material;
class TriangleGeometry;
struct ViewPort;

class Geometry
{
public:
    virtual ~Geometry() = default;
    void StoreMatrix(const ViewPort&, const Matrix4& matrix) { matrix_ = matrix; }
    const Matrix4& GetStoredMatrix() const { return matrix_; }

private:
    Matrix4 matrix_;
};

// One face of triangle geometry: the geometry, the triangle's number in its chunk and the chunk's number.
struct ConstFaceDescriptor
{
    const TriangleGeometry* geometry = nullptr;
    uint32_t triangle = 0;
    uint32_t chunk = 0;
};

class TriangleGeometry : public Geometry
{
public:
    // False when the face or its neighbour does not exist.
    virtual bool GetFaceNeighbour(ConstFaceDescriptor&, const ConstFaceDescriptor&, uint32_t) const { return false; }
    virtual void GetFaceCentre(Vector3&, const ConstFaceDescriptor&) const {}
    virtual void GetFaceNormal(Vector3&, const ConstFaceDescriptor&) const {}
    virtual void GetFaceVertex(Vector3&, const ConstFaceDescriptor&, uint32_t) const {}
    virtual Material* GetFaceMaterial(const ConstFaceDescriptor&) const { return nullptr; }
};

}  // namespace Orvo
