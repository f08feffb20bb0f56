#include "render/VLAxisBoxTree.h"

#include "engine/Plane.h"
#include "render/PointMap.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace Orvo;

namespace {

struct BuildNode
{
    int32_t first;
    int32_t second;
    float min[3];
    float max[3];
};

void GrowBox(float box[6], const float p[3])
{
    for (int k = 0; k < 3; ++k)
    {
        box[k] = std::min(box[k], p[k]);
        box[3 + k] = std::max(box[3 + k], p[k]);
    }
}

void EmptyBox(float box[6])
{
    for (int k = 0; k < 3; ++k)
    {
        box[k] = FLT_MAX;
        box[3 + k] = -FLT_MAX;
    }
}

}  // namespace

struct VLAxisBoxTree::BuildState
{
    std::vector<float> vertices;     // three floats a welded vertex
    std::vector<int32_t> triangles;  // three vertex indices a triangle
    std::vector<uint32_t> ids;       // one a triangle, in adding order
    std::vector<float> bounds;       // min[3], max[3] a triangle
    std::vector<BuildNode> nodes;
    std::vector<uint32_t> leafList;  // triangle numbers; a node's are one range, in leaf order once built
    std::vector<uint32_t> trial;     // a split's arrangement being tried, and the best one so far
    std::vector<uint32_t> chosen;
    VLMapKDTree<int, float, 3, 4000> vertexMap;
    StepArray<int> found;

    size_t TriangleCount() const { return ids.size(); }
    size_t VertexCount() const { return vertices.size() / 3; }
    float Centre(uint32_t triangle, int axis) const
    {
        return (bounds[6 * size_t(triangle) + axis] + bounds[6 * size_t(triangle) + 3 + axis]) * 0.5f;
    }
};

// The segment as the query visits nodes: its midpoint, half-vector, unit direction and length.
struct VLAxisBoxTree::Query
{
    Vector3 p0, p1;
    Vector3 mid, half, absHalf;
    Vector3 direction;
    float inverseLength = 0.0f;
    float planeOffset = 0.0f;
};

VLAxisBoxTree::VLAxisBoxTree() = default;
VLAxisBoxTree::~VLAxisBoxTree() = default;

void VLAxisBoxTree::BeginBuild(const VLAxisBoxTreeExternalGeometry* geometry)
{
    geometry_ = geometry;
    nodes_.clear();
    leafRefs_.clear();
    rejected_ = 0;
    deepest_ = 0;
    build_ = std::make_unique<BuildState>();
}

void VLAxisBoxTree::AddTriangle(const float corners[9], uint32_t id)
{
    if (!build_) return;
    BuildState& s = *build_;
    if ((id >> 16) >= kMaxChunks)
    {
        ++rejected_;
        return;
    }
    if (s.TriangleCount() >= kMaxTriangles || s.VertexCount() >= kMaxVertices) return;
    const Vector3 a(corners[0], corners[1], corners[2]);
    const Vector3 b(corners[3], corners[4], corners[5]);
    const Vector3 c(corners[6], corners[7], corners[8]);
    Vector3 normal = (b - a).Cross(c - a);
    const float length = normal.Length();
    if (length != 0.0f) normal = normal * (1.0f / length);
    Plane plane;
    plane.normal = normal;
    plane.distance = normal.Dot(a);
    if (!(plane.normal.LengthSquared() >= 0.1f))  // corners on one line, or not numbers
    {
        ++rejected_;
        return;
    }
    int32_t index[3];
    for (int k = 0; k < 3; ++k)
    {
        const float key[3] = {corners[3 * k], corners[3 * k + 1], corners[3 * k + 2]};
        if (s.vertexMap.Find(key, s.found) > 0)
            index[k] = s.found[0];
        else
        {
            const size_t next = s.VertexCount();
            if (next >= kMaxVertices) return;  // abandoned; the corners welded so far stay
            s.vertices.insert(s.vertices.end(), key, key + 3);
            s.vertexMap.Insert(key, int(next));
            index[k] = int32_t(next);
        }
    }
    s.triangles.insert(s.triangles.end(), index, index + 3);
    s.ids.push_back(id);
    float box[6];
    EmptyBox(box);
    for (int k = 0; k < 3; ++k) GrowBox(box, corners + 3 * k);
    s.bounds.insert(s.bounds.end(), box, box + 6);
}

bool VLAxisBoxTree::FinishBuild()
{
    if (!build_) return false;
    BuildState& s = *build_;
    const bool valid = s.TriangleCount() > 0 && s.VertexCount() < kMaxVertices && s.TriangleCount() < kMaxTriangles;
    if (valid)
    {
        // One array of triangle numbers, partitioned in place: a node's triangles are one range of it, its
        // halves the two parts of that range, and in the end the leaves' ranges follow each other in leaf
        // order.
        s.leafList.resize(s.TriangleCount());
        for (uint32_t i = 0; i < s.leafList.size(); ++i) s.leafList[i] = i;
        s.trial.resize(s.leafList.size());
        s.chosen.resize(s.leafList.size());
        BuildNode root{0, 0, {}, {}};
        float box[6];
        EmptyBox(box);
        for (size_t v = 0; v < s.VertexCount(); ++v) GrowBox(box, &s.vertices[3 * v]);
        std::copy(box, box + 3, root.min);
        std::copy(box + 3, box + 6, root.max);
        s.nodes.push_back(root);
        deepest_ = 0;
        SplitNode(0, 0, uint32_t(s.leafList.size()), 0);
        Compact();
    }
    build_.reset();
    return valid;
}

void VLAxisBoxTree::SplitNode(uint32_t node, uint32_t begin, uint32_t end, uint32_t depth)
{
    BuildState& s = *build_;
    deepest_ = std::max(deepest_, depth);
    const uint32_t count = end - begin;
    if (count <= kLeafSize)
    {
        s.nodes[node].first = -1 - int32_t(begin);
        s.nodes[node].second = int32_t(count);
        return;
    }
    // The axes from the largest extent down.
    const float a = std::fabs(s.nodes[node].max[0] - s.nodes[node].min[0]);
    const float b = std::fabs(s.nodes[node].max[1] - s.nodes[node].min[1]);
    const float c = std::fabs(s.nodes[node].max[2] - s.nodes[node].min[2]);
    int order[3];
    if (b <= a)
    {
        if (a < c)
            order[0] = 2, order[1] = 0, order[2] = 1;
        else if (c < b)
            order[0] = 0, order[1] = 1, order[2] = 2;
        else
            order[0] = 0, order[1] = 2, order[2] = 1;
    }
    else
    {
        if (b < c)
            order[0] = 2, order[1] = 1, order[2] = 0;
        else if (a < c)
            order[0] = 1, order[1] = 2, order[2] = 0;
        else
            order[0] = 1, order[1] = 0, order[2] = 2;
    }
    // Each axis arranges a copy of the range; the best arrangement so far is kept in `chosen`, the next
    // axis is tried in `trial`.
    float best = FLT_MAX;
    uint32_t split = 0;
    bool have = false;
    float firstBox[6] = {}, secondBox[6] = {}, box1[6], box2[6];
    for (int axis : order)
    {
        const uint32_t at = ArrangeSplit(axis, begin, end, box1, box2);
        const float score = SplitScore(axis, node, box1, box2);
        if (score < best || !have)  // a score that is not a number still gives halves
        {
            best = score;
            have = true;
            split = at;
            s.trial.swap(s.chosen);
            std::copy(box1, box1 + 6, firstBox);
            std::copy(box2, box2 + 6, secondBox);
        }
    }
    std::copy(s.chosen.begin(), s.chosen.begin() + count, s.leafList.begin() + begin);
    const uint32_t one = uint32_t(s.nodes.size());
    s.nodes.push_back({0, 0, {firstBox[0], firstBox[1], firstBox[2]}, {firstBox[3], firstBox[4], firstBox[5]}});
    s.nodes.push_back({0, 0, {secondBox[0], secondBox[1], secondBox[2]}, {secondBox[3], secondBox[4], secondBox[5]}});
    s.nodes[node].first = int32_t(one);
    s.nodes[node].second = int32_t(one + 1);
    SplitNode(one, begin, begin + split, depth + 1);
    SplitNode(one + 1, begin + split, end, depth + 1);
}

uint32_t VLAxisBoxTree::ArrangeSplit(int axis, uint32_t begin, uint32_t end, float firstBox[6], float secondBox[6])
{
    BuildState& s = *build_;
    // Ordered by the centres on the axis as far as the halves need: the median in place, and the first
    // half's largest at its end.
    const auto sorted = s.trial.begin();
    const size_t n = end - begin;
    std::copy(s.leafList.begin() + begin, s.leafList.begin() + end, sorted);
    auto before = [&s, axis](uint32_t x, uint32_t y) { return s.Centre(x, axis) < s.Centre(y, axis); };
    const size_t half = n / 2;
    std::nth_element(sorted, sorted + long(half), sorted + long(n), before);
    if (half > 1) std::nth_element(sorted, sorted + long(half - 1), sorted + long(half), before);
    // Both halves even: when both would be odd, the first half's last triangle goes to the end of the second.
    size_t split = half;
    if ((half & 1) && ((n - half) & 1))
    {
        std::rotate(sorted + long(half - 1), sorted + long(half), sorted + long(n));
        --split;
    }
    EmptyBox(firstBox);
    EmptyBox(secondBox);
    for (size_t i = 0; i < n; ++i)
    {
        float* box = i < split ? firstBox : secondBox;
        const size_t t = sorted[long(i)];
        GrowBox(box, &s.bounds[6 * t]);
        GrowBox(box, &s.bounds[6 * t + 3]);
    }
    return uint32_t(split);
}

float VLAxisBoxTree::SplitScore(int axis, uint32_t node, const float firstBox[6], const float secondBox[6]) const
{
    const BuildState& s = *build_;
    const float extent = s.nodes[node].max[axis] - s.nodes[node].min[axis];
    if (!(extent > 0.0f)) return 0.0f;
    return (firstBox[3 + axis] - secondBox[axis]) / extent;
}

void VLAxisBoxTree::Compact()
{
    const BuildState& s = *build_;
    float largestCentre = 0.0f, largestHalf = 0.0f;
    for (const BuildNode& n : s.nodes)
        for (int k = 0; k < 3; ++k)
        {
            largestCentre = std::max(largestCentre, std::fabs((n.min[k] + n.max[k]) * 0.5f));
            largestHalf = std::max(largestHalf, std::fabs((n.max[k] - n.min[k]) * 0.5f));
        }
    const float centreScale = largestCentre > 0.0f ? 32767.0f / largestCentre : 0.0f;
    const float extentScale = largestHalf > 0.0f ? 32767.0f / largestHalf : 0.0f;
    inverseCentreScale_ = centreScale != 0.0f ? 1.0f / centreScale : 0.0f;
    inverseExtentScale_ = extentScale != 0.0f ? 1.0f / extentScale : 0.0f;

    nodes_.clear();
    nodes_.reserve(s.nodes.size());
    for (const BuildNode& n : s.nodes)
    {
        Node out{n.first, n.second, {0, 0, 0}, {0, 0, 0}};
        for (int k = 0; k < 3; ++k)
        {
            const float centre = (n.min[k] + n.max[k]) * 0.5f;
            const float half = (n.max[k] - n.min[k]) * 0.5f;
            out.centre[k] = int16_t(std::clamp(centre * centreScale, -32767.0f, 32767.0f));
            uint32_t q = uint32_t(std::clamp(half * extentScale, 0.0f, 65535.0f));
            const float c = float(out.centre[k]) * inverseCentreScale_;
            // The smallest half extent from q up whose interval holds the node's own: estimated, then
            // stepped.
            if (inverseExtentScale_ > 0.0f)
            {
                const float need = std::max(c - n.min[k], n.max[k] - c) / inverseExtentScale_;
                if (need > float(q) + 2.0f) q = uint32_t(std::min(need - 2.0f, 65535.0f));
            }
            while (q < 65535 &&
                   !(c - float(q) * inverseExtentScale_ <= n.min[k] && c + float(q) * inverseExtentScale_ >= n.max[k]))
            {
                if (inverseExtentScale_ == 0.0f)
                {
                    q = 65535;
                    break;
                }
                ++q;
            }
            out.half[k] = uint16_t(q);
        }
        nodes_.push_back(out);
    }
    leafRefs_.clear();
    leafRefs_.reserve(3 * s.leafList.size());
    for (uint32_t t : s.leafList)
    {
        const uint32_t id = s.ids[t];
        const uint32_t value = ((id & 0xFFFFu) / 3) | ((id >> 16) << 15);
        leafRefs_.push_back(uint8_t(value));
        leafRefs_.push_back(uint8_t(value >> 8));
        leafRefs_.push_back(uint8_t(value >> 16));
    }
}

uint32_t VLAxisBoxTree::GetLeafReferenceId(size_t i) const
{
    if (i >= GetLeafReferenceCount()) return 0xFFFFFFFFu;
    const uint32_t v =
        uint32_t(leafRefs_[3 * i]) | uint32_t(leafRefs_[3 * i + 1]) << 8 | uint32_t(leafRefs_[3 * i + 2]) << 16;
    return ((v >> 15) << 16) | ((v & 0x7FFFu) * 3);
}

void VLAxisBoxTree::GetNodeBox(const Node& node, Vector3& centre, Vector3& half) const
{
    for (int k = 0; k < 3; ++k)
    {
        centre[k] = float(node.centre[k]) * inverseCentreScale_;
        half[k] = float(node.half[k]) * inverseExtentScale_;
    }
}

namespace {

// Whether the segment (midpoint m, half-vector h, |h| = a) overlaps the box (centre c, half extents e);
// touching counts.
bool SegmentMeetsBox(const Vector3& m, const Vector3& h, const Vector3& a, const Vector3& c, const Vector3& e)
{
    const Vector3 d = m - c;
    if (std::fabs(d.x) > a.x + e.x || std::fabs(d.y) > a.y + e.y || std::fabs(d.z) > a.z + e.z) return false;
    if (std::fabs(h.y * d.z - h.z * d.y) > e.y * a.z + e.z * a.y) return false;
    if (std::fabs(h.z * d.x - h.x * d.z) > e.x * a.z + e.z * a.x) return false;
    if (std::fabs(h.x * d.y - h.y * d.x) > e.x * a.y + e.y * a.x) return false;
    return true;
}

}  // namespace

bool VLAxisBoxTree::IntersectSegment(const Vector3& start, const Vector3& end, VLSegmentHit& hit) const
{
    hit = VLSegmentHit();
    if (nodes_.empty() || geometry_ == nullptr) return false;
    Query q;
    q.p0 = start;
    q.p1 = end;
    q.mid = (start + end) * 0.5f;
    q.half = (end - start) * 0.5f;
    q.absHalf = Vector3(std::fabs(q.half.x), std::fabs(q.half.y), std::fabs(q.half.z));
    const float length = (end - start).Length();
    q.inverseLength = length > 0.0f ? 1.0f / length : 0.0f;
    q.direction = (end - start) * q.inverseLength;
    q.planeOffset = q.direction.Dot(start);
    float best = FLT_MAX;
    Visit(0, q, hit, best);
    if (best == FLT_MAX) return false;
    hit.normal = hit.normal.Normalised();
    return true;
}

void VLAxisBoxTree::Visit(uint32_t index, const Query& q, VLSegmentHit& hit, float& best) const
{
    Vector3 c, e;
    GetNodeBox(nodes_[index], c, e);
    if (!SegmentMeetsBox(q.mid, q.half, q.absHalf, c, e)) return;
    const Vector3 absDirection(std::fabs(q.direction.x), std::fabs(q.direction.y), std::fabs(q.direction.z));
    auto entry = [&](const Vector3& centre, const Vector3& half) {
        return ((q.direction.Dot(centre) - q.planeOffset) - absDirection.Dot(half)) * q.inverseLength;
    };
    while (nodes_[index].first >= 0)
    {
        const Node& node = nodes_[index];
        Vector3 c1, e1, c2, e2;
        GetNodeBox(nodes_[size_t(node.first)], c1, e1);
        GetNodeBox(nodes_[size_t(node.second)], c2, e2);
        const float d1 = entry(c1, e1), d2 = entry(c2, e2);
        const bool secondNear = d2 <= d1;
        const uint32_t nearNode = uint32_t(secondNear ? node.second : node.first);
        const uint32_t farNode = uint32_t(secondNear ? node.first : node.second);
        const float nearEntry = secondNear ? d2 : d1, farEntry = secondNear ? d1 : d2;
        if (nearEntry <= best) Visit(nearNode, q, hit, best);
        if (farEntry > best) return;
        index = farNode;
        const Vector3& fc = secondNear ? c1 : c2;
        const Vector3& fe = secondNear ? e1 : e2;
        if (!SegmentMeetsBox(q.mid, q.half, q.absHalf, fc, fe)) return;
    }
    const Node& leaf = nodes_[index];
    const size_t firstRef = size_t(-1 - leaf.first);
    for (size_t r = 0; r < size_t(leaf.second); ++r) TestLeafTriangle(GetLeafReferenceId(firstRef + r), q, hit, best);
}

void VLAxisBoxTree::TestLeafTriangle(uint32_t id, const Query& q, VLSegmentHit& hit, float& best) const
{
    Vector3 a, b, c;
    if (!geometry_->GetTriangle(id, a, b, c)) return;
    const Vector3 n = (b - a).Cross(c - a);
    const float d = n.Dot(a), d0 = n.Dot(q.p0), d1 = n.Dot(q.p1);
    if (!((d0 >= d || d1 >= d) && (d0 <= d || d1 <= d))) return;  // the segment does not reach the plane
    const float t = d0 == d1 ? 0.0f : (d0 - d) / (d0 - d1);
    if (!(t <= best)) return;
    const Vector3 p = q.p0 + (q.p1 - q.p0) * t;
    // Work in the plane of the two axes other than the normal's largest.
    int u, v, w;
    const float nx = std::fabs(n.x), ny = std::fabs(n.y), nz = std::fabs(n.z);
    if (ny <= nz)
    {
        if (nx <= nz)
            u = 0, v = 1, w = 2;
        else
            u = 1, v = 2, w = 0;
    }
    else if (nx <= ny)
        u = 2, v = 0, w = 1;
    else
        u = 1, v = 2, w = 0;
    const Vector3* edges[3][2] = {{&c, &a}, {&a, &b}, {&b, &c}};
    for (const auto& edge : edges)
    {
        const Vector3& s = *edge[0];
        const Vector3& e = *edge[1];
        if (((e[u] - s[u]) * (p[v] - s[v]) - (e[v] - s[v]) * (p[u] - s[u])) * n[w] < 0.0f) return;
    }
    best = t;
    hit.point = p;
    hit.normal = n;
    hit.t = t;
    hit.id = id;
    hit.reserved = -1;
}
