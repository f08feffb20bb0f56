#pragma once
// Geometry chunks: one drawable piece of a mesh. A chunk holds its vertices (laid out by a vertex
// type), 16-bit indices, face normals, face neighbours, the palette of bones that skin it, and the
// static buffers the display made for it.
//
// The flag word: bits 0-4 the primitive (4 triangle list, 8 strip, 16 fan; 1, 2 and 0 the other
// types), bit 6 a chunk that takes no bone influences, 0x100 index data kept dynamic (no static index
// buffer), 0x1000 a chunk every instance holds its own copy of, 0x10000 vertex data kept dynamic (no
// static vertex buffer).
//
// Chunks copied with CreateInstance() share their vertex and index arrays until one of them duplicates
// or resizes its own (copy on write).
#include "engine/AutoReference.h"
#include "engine/Display.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"
#include "engine/VertexProgram.h"
#include "engine/VertexType.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace Orvo {

struct Matrix4;
class Particle;
struct ViewPort;

// How a material is asked to make a chunk.
struct StandardChunkHint
{
    enum Flags : uint32_t
    {
        SoftwareLighting = 1,
        Skinned = 2,
        SoftwareSkinning = 4,
        FloatWeights = 8,  // hardware skinning with float weights (else packed byte weights)
    };
    enum Usage : uint32_t
    {
        UsageDynamic = 1,
        UsageStatic = 2,
    };

    explicit StandardChunkHint(uint32_t usage = UsageStatic, uint32_t flags_ = 0)
        : flags(flags_), vertexUsage(usage), indexUsage(usage)
    {}

    uint32_t flags;
    uint32_t vertexUsage;
    uint32_t indexUsage;
    float value = 0.0f;
    uint32_t textureSets = 1;
    uint32_t weights = 0;       // blend weights per vertex of a hardware-skinned chunk
    uint32_t boneLimit = 0;     // palette size of a hardware-skinned chunk
    bool extraVectors = false;  // the data carries a third vector a vertex (tangents): keep room for it

    // How the chunk's vertices are kept, for the materials that read it: valid only when `optionsValid`.
    // A material writes back what it decided (bit 2), so the byte is mutable.
    enum Options : uint8_t
    {
        OptionNormalArray = 1,    // normals in an array of their own beside the vertices
        OptionShareVertices = 2,  // vertices shared between the instances of the chunk
        OptionSharingSet = 4,     // the sharing has been arranged
    };
    bool optionsValid = false;
    mutable uint8_t options = 0;
};

class GeometryChunk : public ReferenceCount
{
public:
    // Primitive kinds a draw is given (the display's own numbers).
    enum DPrimitive : uint32_t
    {
        PointList = 1,
        LineList = 2,
        LineStrip = 3,
        TriangleList = 4,
        TriangleStrip = 5,
        TriangleFan = 6,
    };
    // The kind of the primitive bits of a flag word (a triangle list for bits no kind has).
    static uint32_t PrimitiveKindOf(uint32_t flags);

    enum Flag : uint32_t
    {
        PrimitiveMask = 0x1F,
        PrimitiveList = 4,
        PrimitiveStrip = 8,
        PrimitiveFan = 16,
        FlagNoInfluences = 1u << 6,
        FlagDynamicIndices = 0x100,
        FlagPerInstance = 0x1000,
        FlagDynamicVertices = 0x10000,
    };
    static constexpr uint16_t kNoNeighbour16 = 0xFFFF;

    // The primitive bits of the flag word for a creation type code (0 list, 1 strip, 2 fan, 3, 4, 5);
    // 0xFFFFFFFF for an unknown code.
    static uint32_t PrimitiveFlagsOfType(uint32_t typeCode);

    GeometryChunk(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                  uint32_t faceCount);

    uint32_t GetFlags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }
    uint32_t GetNumVertices() const { return vertices_; }
    uint32_t GetMaxVertices() const { return vertexCapacity_; }
    uint32_t GetNumIndices() const { return indices_; }
    uint32_t GetMaxIndices() const { return maxIndices_; }
    uint32_t GetNumFaces() const { return faces_; }
    uint32_t GetNumPrimitives() const { return primitives_; }
    // What a draw of the chunk draws: its primitives.
    uint32_t GetElementCount() const { return primitives_; }
    float GetHintValue() const { return hintValue_; }
    void SetHintValue(float v) { hintValue_ = v; }

    // Null when the chunk has no indices (or faces).
    uint16_t* GetIndexArray() { return indexArray_ && !indexArray_->empty() ? indexArray_->data() : nullptr; }
    const uint16_t* GetIndexArray() const
    {
        return indexArray_ && !indexArray_->empty() ? indexArray_->data() : nullptr;
    }
    float* GetFaceNormalArray() { return faceNormals_.empty() ? nullptr : faceNormals_.data(); }
    const float* GetFaceNormalArray() const { return faceNormals_.empty() ? nullptr : faceNormals_.data(); }
    // Three u32 per face: the neighbours across the face's edges (all bits set: none).
    void SetFaceNeighborArray(const uint32_t* records, size_t faceCount);
    const uint32_t* GetFaceNeighborArray() const { return neighbours_.empty() ? nullptr : neighbours_.data(); }
    uint32_t GetNumFaceNeighbors() const { return static_cast<uint32_t>(neighbours_.size() / 3); }

    // The palette slot of a bone, added when new.
    uint32_t AddInfluenceMatrix(const Particle* bone);
    const std::vector<const Particle*>& GetInfluencePalette() const { return palette_; }
    // The skinning matrix a palette slot is drawn with (hardware skinning): the chunk keeps the address,
    // its owner keeps the matrix up to date. A copy of the chunk starts without assignments.
    void AssignInfluenceMatrix(uint32_t slot, const Matrix4* matrix);
    const Matrix4* GetInfluenceMatrix(uint32_t slot) const
    {
        return slot < matrices_.size() ? matrices_[slot] : nullptr;
    }
    // Empties the palette and its matrix assignments.
    void ResetMatrixArray()
    {
        palette_.clear();
        matrices_.clear();
    }

    // Vertex items of stream 0: {stride, address of the item in the first vertex}, {0, null} when absent.
    virtual VertexItemPtr GetItem(uint32_t item, uint32_t stream = 0) = 0;
    VertexItemPtr GetVector2Array(uint32_t item, uint32_t stream = 0) { return GetItem(item, stream); }
    VertexItemPtr GetVector3Array(uint32_t item, uint32_t stream = 0) { return GetItem(item, stream); }
    VertexItemPtr GetVector4Array(uint32_t item, uint32_t stream = 0) { return GetItem(item, stream); }
    VertexItemPtr GetFloatArray(uint32_t item, uint32_t stream = 0) { return GetItem(item, stream); }
    VertexItemPtr GetUDwordArray(uint32_t item, uint32_t stream = 0) { return GetItem(item, stream); }
    bool HasItem(uint32_t item) { return GetItem(item).address != nullptr; }

    virtual const VertexType* GetVertexType(uint32_t stream = 0) const = 0;
    virtual uint32_t GetVertexSize(uint32_t stream = 0) const = 0;
    uint32_t GetVertexTypeID(uint32_t stream = 0) const
    {
        const VertexType* t = GetVertexType(stream);
        return t ? t->GetId() : 0;
    }
    int32_t GetItemOffset(uint32_t item, uint32_t stream = 0) const
    {
        const VertexType* t = GetVertexType(stream);
        return t ? t->GetItemOffset(item) : -1;
    }
    virtual uint8_t* GetVertexArray(uint32_t stream = 0) = 0;

    // A new chunk sharing this one's arrays (null when it cannot be made).
    virtual GeometryChunk* CreateInstance() const = 0;
    // Static buffers: made (and filled now, or marked dirty) for data that is not dynamic.
    virtual bool InitializeBuffers(Display* display, bool uploadNow) = 0;
    virtual bool LoadBuffers(Display* display) = 0;
    virtual bool DuplicateVertexArray(Display* display) = 0;
    virtual bool DuplicateIndexArray(Display* display);
    virtual bool ResizeVertexArray(Display* display, uint32_t count) = 0;
    // Appends another chunk's vertices and indices (same vertex type only); false otherwise.
    virtual bool AppendChunk(Display* display, GeometryChunk& other);
    // Private copies of the vertex and index arrays.
    bool DuplicateUnsharedArrays(Display* display)
    {
        return DuplicateVertexArray(display) && DuplicateIndexArray(display);
    }

    // The chunk's own check once loaded: every index names a vertex in use, the counts fit the arrays.
    virtual bool Check(Display* display);
    virtual uint32_t GetNumPasses() const { return 1; }
    void SetOpacity(Display*, float opacity) { opacity_ = opacity; }
    float GetOpacity() const { return opacity_; }
    // Records one draw of the chunk on the display.
    virtual void RenderGeometry(Display* display);
    // Records one draw with a vertex program ("draw <elements> with <program>").
    virtual void RenderGeometry(Display* display, ViewPort* viewport, VertexProgram* program, bool lit, int pass);
    // Draws the edges of the chunk's lines and triangles (lists, strips, fans; by its indices, or its
    // vertices in order without them) into the published debug viewport, the positions carried by `matrix`
    // (the chunk's frame into the root's). A primitive naming a vertex past the count is left out. Nothing
    // without positions or a viewport, or when the viewport wants no debug drawing.
    void RenderDebug(const Matrix4& matrix);
    // Records a draw of `primitiveCount` primitives through an index list of the caller's.
    virtual void RenderPrimitives(Display* display, ViewPort* viewport, VertexProgram* program, uint32_t indexCount,
                                  const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind, bool lit,
                                  int pass);

    // ---- what materials keep on a chunk ----
    // Vertex data kept dynamic (no static vertex buffer) when `on`; the stream and mode are the
    // display's and are kept as given.
    void SetVertexDataDynamic(uint32_t stream, int mode, bool on);
    // How the vertex data is shared between instances (the display's mode number and switch, kept as
    // given; HasVertexDataSharing is false until it is set).
    void SetVertexDataShared(uint32_t stream, int mode, bool on);
    bool HasVertexDataSharing() const { return sharingSet_; }
    int GetVertexDataSharing() const { return sharing_; }
    bool IsVertexDataShared() const { return shared_; }
    void SetIndexDataDynamic() { flags_ |= FlagDynamicIndices; }
    // Named float properties: Add is true when the property is new (its value then 0).
    bool AddChunkProperty(const PString& name);
    void SetChunkProperty(const PString& name, float value);
    float GetChunkProperty(const PString& name, float fallback = 0.0f) const;
    bool HasChunkProperty(const PString& name) const { return properties_.count(name) != 0; }
    // The vertex program the chunk is drawn with when its material has none of its own.
    VertexProgram* GetVertexProgram(uint32_t stream = 0) const { return stream == 0 ? program_.Get() : nullptr; }
    void SetVertexProgram(VertexProgram* program) { program_ = program; }
    // The chunk's own factor on the light it receives.
    float GetLightScale() const { return lightScale_; }
    void SetLightScale(float scale) { lightScale_ = scale; }

    DisplayBuffer* GetStaticVertexBuffer() const { return vertexBuffer_.Get(); }
    DisplayBuffer* GetStaticIndexBuffer() const { return indexBuffer_.Get(); }
    bool IsVertexDataDirty() const { return vertexDirty_; }
    // Marks the vertex data as changed since the static buffer was filled.
    void SetVertexDataDirty(bool dirty) { vertexDirty_ = dirty; }
    bool IsIndexDataDirty() const { return indexDirty_; }

protected:
    // Copies the counts, flags, arrays other than the vertices (shared) and palette of `from`.
    void InitInstance(const GeometryChunk& from);
    void SetCounts(uint32_t vertices, uint32_t capacity)
    {
        vertices_ = vertices;
        vertexCapacity_ = capacity;
    }

    AutoReference<DisplayBuffer> vertexBuffer_;
    AutoReference<DisplayBuffer> indexBuffer_;
    bool vertexDirty_ = false;
    bool indexDirty_ = false;
    std::shared_ptr<std::vector<uint16_t>> indexArray_;

private:
    uint32_t flags_;
    uint32_t vertices_;
    uint32_t vertexCapacity_;
    uint32_t primitives_;
    uint32_t indices_;
    uint32_t maxIndices_;
    uint32_t faces_;
    float hintValue_ = 0.0f;
    float opacity_ = 1.0f;
    float lightScale_ = 1.0f;
    int sharing_ = 0;
    bool shared_ = false;
    bool sharingSet_ = false;
    AutoReference<VertexProgram> program_;
    std::map<PString, float> properties_;
    std::vector<float> faceNormals_;
    std::vector<uint32_t> neighbours_;
    std::vector<const Particle*> palette_;
    std::vector<const Matrix4*> matrices_;
};

// A chunk whose vertices lie in one array of one vertex type.
class GeometryChunkSingleStream : public GeometryChunk
{
public:
    GeometryChunkSingleStream(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                              uint32_t faceCount, std::shared_ptr<const VertexType> type);

    VertexItemPtr GetItem(uint32_t item, uint32_t stream = 0) override;
    const VertexType* GetVertexType(uint32_t = 0) const override { return type_.get(); }
    uint32_t GetVertexSize(uint32_t = 0) const override { return type_->GetStride(); }
    uint8_t* GetVertexArray(uint32_t = 0) override
    {
        return vertices_ && !vertices_->empty() ? vertices_->data() : nullptr;
    }
    // How many holders share the vertex array (0 without one).
    long GetVertexArrayUses() const { return vertices_ ? vertices_.use_count() : 0; }
    // Lays the vertices out by another type of the same stride (a type that names the same bytes
    // differently); false, and nothing changed, for a type of another stride.
    bool SetVertexType(std::shared_ptr<const VertexType> type)
    {
        if (!type || type->GetStride() != type_->GetStride()) return false;
        type_ = std::move(type);
        return true;
    }

    GeometryChunk* CreateInstance() const override;
    bool InitializeBuffers(Display* display, bool uploadNow) override;
    bool LoadBuffers(Display* display) override;
    bool DuplicateVertexArray(Display* display) override;
    bool ResizeVertexArray(Display* display, uint32_t count) override;

protected:
    // A chunk of the same kind for `vertexCount` vertices, for CreateInstance.
    virtual GeometryChunkSingleStream* MakeEmpty() const;
    void ShareVerticesOf(const GeometryChunkSingleStream& from) { vertices_ = from.vertices_; }
    void RebuildStaticVertexBuffer(Display* display);

    std::shared_ptr<const VertexType> type_;
    std::shared_ptr<std::vector<uint8_t>> vertices_;
};

// The type of each packed vertex struct.
template <class V>
const VertexType& PackedVertexType();
template <>
inline const VertexType& PackedVertexType<PackedVertexPNT>()
{
    return VertexType::PNT();
}
template <>
inline const VertexType& PackedVertexType<PackedVertexPCT>()
{
    return VertexType::PCT();
}
template <>
inline const VertexType& PackedVertexType<PackedVertexPCNTA>()
{
    return VertexType::PCNTA();
}
template <>
inline const VertexType& PackedVertexType<PackedVertexPNTA>()
{
    return VertexType::PNTA();
}

// A single-stream chunk over a packed vertex type.
template <class V, class Base = GeometryChunkSingleStream>
class GeometryChunkTemplate : public Base
{
public:
    GeometryChunkTemplate(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                          uint32_t faceCount)
        : Base(flags, vertexCount, primitiveCount, indexCount, faceCount,
               std::shared_ptr<const VertexType>(&PackedVertexType<V>(), [](const VertexType*) {}))
    {}
    V* GetVertices() { return reinterpret_cast<V*>(this->GetVertexArray()); }

protected:
    GeometryChunkSingleStream* MakeEmpty() const override
    {
        return new GeometryChunkTemplate(this->GetFlags(), 0, this->GetNumPrimitives(), 0, 0);
    }
};

// A packed type without a normal, with the normals in an array of their own (3 floats a vertex).
template <class V, class Base = GeometryChunkSingleStream>
class GeometryChunkNmlTemplate : public GeometryChunkTemplate<V, Base>
{
    using Super = GeometryChunkTemplate<V, Base>;

public:
    GeometryChunkNmlTemplate(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                             uint32_t faceCount)
        : Super(flags, vertexCount, primitiveCount, indexCount, faceCount),
          normals_(std::make_shared<std::vector<float>>(size_t(vertexCount) * 3))
    {}

    VertexItemPtr GetItem(uint32_t item, uint32_t stream = 0) override
    {
        if (item != ItemNormal) return Super::GetItem(item, stream);
        if (!normals_ || normals_->empty()) return {};
        return {12, reinterpret_cast<uint8_t*>(normals_->data())};
    }
    GeometryChunk* CreateInstance() const override
    {
        auto* copy = static_cast<GeometryChunkNmlTemplate*>(Super::CreateInstance());
        if (copy) copy->normals_ = normals_;
        return copy;
    }
    bool DuplicateVertexArray(Display* display) override
    {
        if (!Super::DuplicateVertexArray(display)) return false;
        if (normals_) normals_ = std::make_shared<std::vector<float>>(*normals_);
        return true;
    }
    bool ResizeVertexArray(Display* display, uint32_t count) override
    {
        if (normals_)
        {
            auto resized = std::make_shared<std::vector<float>>(size_t(count) * 3);
            std::copy_n(normals_->begin(), std::min(normals_->size(), resized->size()), resized->begin());
            normals_ = resized;
        }
        return Super::ResizeVertexArray(display, count);
    }
    bool AppendChunk(Display* display, GeometryChunk& other) override
    {
        const uint32_t at = this->GetNumVertices();
        if (!Super::AppendChunk(display, other)) return false;
        const VertexItemPtr theirs = other.GetItem(ItemNormal);
        if (normals_ && theirs)
            for (uint32_t v = 0; v < other.GetNumVertices() && (at + v) * 3 + 2 < normals_->size(); ++v)
                std::memcpy(normals_->data() + (at + v) * 3, theirs.address + size_t(v) * theirs.stride, 12);
        return true;
    }
    long GetNormalArrayUses() const { return normals_ ? normals_.use_count() : 0; }

protected:
    GeometryChunkSingleStream* MakeEmpty() const override
    {
        auto* copy = new GeometryChunkNmlTemplate(this->GetFlags(), 0, this->GetNumPrimitives(), 0, 0);
        copy->normals_.reset();
        return copy;
    }

private:
    std::shared_ptr<std::vector<float>> normals_;
};

}  // namespace Orvo
