#pragma once
// The level-of-detail selector. It measures how far an object is from the camera,
//   measure = distance from the camera to the object's point (centre, nearest or farthest point of its
//             bounding sphere) x multiplier + offset,
// and picks the level whose switch distance is the largest one not above the measure (level 0 when the
// measure is below them all). Switch distances are ascending, level 0 first.
#include "engine/Bounds.h"

#include <cstdint>
#include <vector>

namespace Orvo {

class Camera;

class ObjectLOD
{
public:
    enum CalcPoint : uint32_t
    {
        Centre = 0,
        Near = 1,
        Far = 2
    };

    bool Init(const std::vector<float>& switchDistances, CalcPoint point);
    void InitInstance(const ObjectLOD& other) { *this = other; }
    void SetMultiplier(float m) { multiplier_ = m; }
    void SetOffset(float o) { offset_ = o; }
    float GetMultiplier() const { return multiplier_; }
    float GetOffset() const { return offset_; }
    CalcPoint GetCalcPoint() const { return point_; }
    const std::vector<float>& GetSwitchDistances() const { return distances_; }

    // The measure for a sphere seen from the camera (from the origin without a camera); kept as the
    // current measure.
    float FindLOD(const Sphere& sphere, const Camera* camera);
    // The level for a measure; kept as the current level. 0 without switch distances.
    uint32_t FindLODIndex(float measure);
    float GetCurrentMeasure() const { return measure_; }
    uint32_t GetCurrentIndex() const { return index_; }

private:
    std::vector<float> distances_;
    CalcPoint point_ = Centre;
    float multiplier_ = 1.0f;
    float offset_ = 0.0f;
    float measure_ = 0.0f;
    uint32_t index_ = 0;
};

}  // namespace Orvo
