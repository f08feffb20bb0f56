#pragma once
// The axis box tree: a bounding-box hierarchy over the triangles of a mesh, for segment queries
// (collision). It is built once (BeginBuild, AddTriangle for each triangle, FinishBuild) and afterwards
// only queried; queries do not change it, so any number of threads may query one tree.
//
// Triangles carry a 32-bit id, (chunk << 16) | (triangle number x 3): a chunk number below 512 and a
// triangle number below 21846. The tree keeps each id as a 3-byte leaf reference (15 bits triangle
// number, 9 bits chunk) and asks the external geometry for the corners of an id when a segment reaches
// its leaf. Nodes are kept compact: the box of a node as 16-bit quantised centre and half extent, each
// node's box made large enough to hold what it stands for.
//
// Build rules: corners that are exactly equal are welded into one vertex; a triangle whose corners lie on
// one line (or coincide) and one whose chunk number is 512 or more is rejected and counted; beyond
// 8,300,000 triangles or 16,700,000 vertices triangles are skipped. A node of at most 64 triangles is a
// leaf; a larger one is halved at the median of the triangle centres along the axis whose halves overlap
// least (axes tried from the largest extent down), both halves kept even in size.
#include "engine/Vector.h"

#include <cstdint>
#include <memory>
#include <vector>

// Where the tree reads the corners of a triangle id.
class VLAxisBoxTreeExternalGeometry
{
public:
    virtual ~VLAxisBoxTreeExternalGeometry() = default;
    // False when there is no such triangle.
    virtual bool GetTriangle(uint32_t id, Orvo::Vector3& a, Orvo::Vector3& b, Orvo::Vector3& c) const = 0;
};

// The nearest triangle a segment crosses: the point, the triangle's unit normal, the parameter along the
// segment (0 at the start, 1 at the end) and the triangle id.
struct VLSegmentHit
{
    Orvo::Vector3 point;
    Orvo::Vector3 normal;
    float t = -1.0f;
    uint32_t id = 0xFFFFFFFFu;
    int32_t reserved = -1;
};

class VLAxisBoxTree
{
public:
    static constexpr uint32_t kLeafSize = 64;
    static constexpr uint32_t kMaxVertices = 16700000;
    static constexpr uint32_t kMaxTriangles = 8300000;
    static constexpr uint32_t kMaxChunks = 512;

    struct Node
    {
        int32_t first;   // inner node: first child; leaf: -1 - index of its first leaf reference
        int32_t second;  // inner node: second child; leaf: number of references
        int16_t centre[3];
        uint16_t half[3];
    };

    VLAxisBoxTree();
    ~VLAxisBoxTree();
    VLAxisBoxTree(const VLAxisBoxTree&) = delete;
    VLAxisBoxTree& operator=(const VLAxisBoxTree&) = delete;

    // Starts a build that reads triangle corners from `geometry` when queried (not owned; it must outlive
    // the tree). A tree that was built before is emptied.
    void BeginBuild(const VLAxisBoxTreeExternalGeometry* geometry);
    // One triangle: corners a, b, c as nine floats.
    void AddTriangle(const float corners[9], uint32_t id);
    // Builds the nodes; false when no triangle was accepted (the tree then stays empty).
    bool FinishBuild();

    // The nearest triangle crossed by the segment from `start` to `end` (both ends included).
    bool IntersectSegment(const Orvo::Vector3& start, const Orvo::Vector3& end, VLSegmentHit& hit) const;

    // ---- what was built ----
    const std::vector<Node>& GetNodes() const { return nodes_; }
    size_t GetLeafReferenceCount() const { return leafRefs_.size() / 3; }
    // The id a leaf reference stands for.
    uint32_t GetLeafReferenceId(size_t i) const;
    // Triangles rejected by the last build (degenerate, or a chunk number of 512 or more).
    uint32_t GetRejectedCount() const { return rejected_; }
    // The deepest node level the last build reached (the root is 0).
    uint32_t GetDeepestLevel() const { return deepest_; }
    // The box a node stands for, as the quantised form gives it back.
    void GetNodeBox(const Node& node, Orvo::Vector3& centre, Orvo::Vector3& half) const;
    size_t GetMemorySize() const { return nodes_.capacity() * sizeof(Node) + leafRefs_.capacity(); }

private:
    struct BuildState;
    struct Query;

    // Splits the node standing for the triangles in [begin, end) of the build's triangle list.
    void SplitNode(uint32_t node, uint32_t begin, uint32_t end, uint32_t depth);
    // The range's halves along an axis, arranged in the build's trial list: the size of the first half, and
    // both halves' boxes.
    uint32_t ArrangeSplit(int axis, uint32_t begin, uint32_t end, float firstBox[6], float secondBox[6]);
    // How much the halves overlap along the axis, as a share of the node's extent.
    float SplitScore(int axis, uint32_t node, const float firstBox[6], const float secondBox[6]) const;
    void Compact();
    void Visit(uint32_t node, const Query& q, VLSegmentHit& hit, float& best) const;
    void TestLeafTriangle(uint32_t id, const Query& q, VLSegmentHit& hit, float& best) const;

    const VLAxisBoxTreeExternalGeometry* geometry_ = nullptr;
    std::vector<Node> nodes_;
    std::vector<uint8_t> leafRefs_;
    float inverseCentreScale_ = 0.0f;
    float inverseExtentScale_ = 0.0f;
    uint32_t rejected_ = 0;
    uint32_t deepest_ = 0;
    std::unique_ptr<BuildState> build_;
};
