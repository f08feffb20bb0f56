#include "engine/GeometryChunk.h"

#include "engine/DebugViewport.h"
#include "engine/Matrix3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Orvo {

uint32_t GeometryChunk::PrimitiveFlagsOfType(uint32_t typeCode)
{
    switch (typeCode)
    {
    case 0: return PrimitiveList;
    case 1: return PrimitiveStrip;
    case 2: return PrimitiveFan;
    case 3: return 1;
    case 4: return 2;
    case 5: return 0;
    default: return 0xFFFFFFFFu;
    }
}

uint32_t GeometryChunk::PrimitiveKindOf(uint32_t flags)
{
    switch (flags & PrimitiveMask)
    {
    case 0: return PointList;
    case 1: return LineList;
    case 2: return LineStrip;
    case PrimitiveStrip: return TriangleStrip;
    case PrimitiveFan: return TriangleFan;
    default: return TriangleList;
    }
}

GeometryChunk::GeometryChunk(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                             uint32_t faceCount)
    : flags_(flags), vertices_(vertexCount), vertexCapacity_(vertexCount), primitives_(primitiveCount),
      indices_(indexCount), maxIndices_(indexCount), faces_(faceCount)
{
    indexArray_ = std::make_shared<std::vector<uint16_t>>(indexCount);
    faceNormals_.resize(size_t(faceCount) * 3);
}

void GeometryChunk::SetFaceNeighborArray(const uint32_t* records, size_t faceCount)
{
    if (records == nullptr)
        neighbours_.clear();
    else
        neighbours_.assign(records, records + faceCount * 3);
}

uint32_t GeometryChunk::AddInfluenceMatrix(const Particle* bone)
{
    for (size_t i = 0; i < palette_.size(); ++i)
        if (palette_[i] == bone) return static_cast<uint32_t>(i);
    palette_.push_back(bone);
    return static_cast<uint32_t>(palette_.size() - 1);
}

void GeometryChunk::AssignInfluenceMatrix(uint32_t slot, const Matrix4* matrix)
{
    if (slot >= palette_.size()) return;  // a slot the palette does not have
    if (matrices_.size() < palette_.size()) matrices_.resize(palette_.size(), nullptr);
    matrices_[slot] = matrix;
}

void GeometryChunk::InitInstance(const GeometryChunk& from)
{
    flags_ = from.flags_;
    vertices_ = from.vertices_;
    vertexCapacity_ = from.vertexCapacity_;
    primitives_ = from.primitives_;
    indices_ = from.indices_;
    maxIndices_ = from.maxIndices_;
    faces_ = from.faces_;
    hintValue_ = from.hintValue_;
    opacity_ = from.opacity_;
    lightScale_ = from.lightScale_;
    sharing_ = from.sharing_;
    shared_ = from.shared_;
    sharingSet_ = from.sharingSet_;
    program_ = from.program_;
    properties_ = from.properties_;
    faceNormals_ = from.faceNormals_;
    neighbours_ = from.neighbours_;
    palette_ = from.palette_;
    indexArray_ = from.indexArray_;
}

bool GeometryChunk::DuplicateIndexArray(Display* display)
{
    if (indexArray_) indexArray_ = std::make_shared<std::vector<uint16_t>>(*indexArray_);
    if (indexBuffer_)
    {
        indexBuffer_.Reset();
        return InitializeBuffers(display, false);
    }
    return true;
}

bool GeometryChunk::AppendChunk(Display* display, GeometryChunk& other)
{
    const VertexType* mine = GetVertexType();
    const VertexType* theirs = other.GetVertexType();
    if (mine == nullptr || theirs == nullptr || !(*mine == *theirs)) return false;
    const uint32_t base = vertices_;
    const uint64_t total = uint64_t(base) + other.vertices_;
    if (total > 65536) return false;  // the indices are 16-bit
    if (!ResizeVertexArray(display, static_cast<uint32_t>(total))) return false;
    const size_t stride = GetVertexSize();
    if (other.vertices_ && other.GetVertexArray())
        std::memcpy(GetVertexArray() + base * stride, other.GetVertexArray(), size_t(other.vertices_) * stride);

    auto merged = std::make_shared<std::vector<uint16_t>>(indexArray_ ? *indexArray_ : std::vector<uint16_t>());
    merged->resize(indices_);
    const uint16_t* src = other.GetIndexArray();
    for (uint32_t i = 0; i < other.indices_ && src; ++i) merged->push_back(static_cast<uint16_t>(src[i] + base));
    indexArray_ = merged;
    indices_ = maxIndices_ = static_cast<uint32_t>(merged->size());
    faceNormals_.insert(faceNormals_.end(), other.faceNormals_.begin(), other.faceNormals_.end());
    faces_ += other.faces_;
    primitives_ += other.primitives_;
    neighbours_.clear();  // no longer describes the joined faces
    if (indexBuffer_)
    {
        indexBuffer_.Reset();
        return InitializeBuffers(display, false);
    }
    return true;
}

bool GeometryChunk::Check(Display*)
{
    const uint16_t* idx = GetIndexArray();
    if (indices_ > maxIndices_ || vertices_ > vertexCapacity_) return false;
    if (indices_ > 0 && idx == nullptr) return false;
    for (uint32_t i = 0; i < indices_; ++i)
        if (idx[i] >= vertices_) return false;
    return true;
}

void GeometryChunk::RenderGeometry(Display* display)
{
    if (display) display->RecordDraw(GetElementCount());
}

void GeometryChunk::RenderGeometry(Display* display, ViewPort*, VertexProgram* program, bool, int)
{
    if (display) display->RecordDraw("draw", GetElementCount(), program ? program->GetName().str() : std::string());
}

void GeometryChunk::RenderPrimitives(Display* display, ViewPort*, VertexProgram* program, uint32_t, const uint16_t*,
                                     uint32_t primitiveCount, uint32_t, bool, int)
{
    if (display)
        display->RecordDraw("draw primitives", primitiveCount, program ? program->GetName().str() : std::string());
}

void GeometryChunk::RenderDebug(const Matrix4& matrix)
{
    DebugViewport* viewport = GetDebugViewport();
    if (viewport == nullptr || !viewport->IsEnabled()) return;
    const VertexItemPtr positions = GetVector3Array(ItemPosition);
    if (!positions || vertices_ > vertexCapacity_) return;
    const uint16_t* idx = GetIndexArray();
    const size_t count = idx ? std::min<size_t>(indices_, indexArray_->size()) : vertices_;
    auto vertex = [&](size_t i, Vector3& out) {
        const uint32_t v = idx ? idx[i] : uint32_t(i);
        if (v >= vertices_) return false;
        float p[3];
        std::memcpy(p, positions.address + size_t(v) * positions.stride, sizeof p);
        out = matrix.TransformPoint({p[0], p[1], p[2]});
        return true;
    };
    auto line = [&](size_t a, size_t b) {
        Vector3 from, to;
        if (vertex(a, from) && vertex(b, to)) viewport->DrawLine(from, to, kDebugEdgeColour);
    };
    auto triangle = [&](size_t a, size_t b, size_t c) {
        Vector3 p[3];
        if (!vertex(a, p[0]) || !vertex(b, p[1]) || !vertex(c, p[2])) return;
        for (int e = 0; e < 3; ++e) viewport->DrawLine(p[e], p[(e + 1) % 3], kDebugEdgeColour);
    };
    switch (PrimitiveKindOf(flags_))
    {
    case LineList:
        for (size_t i = 0; i + 1 < count; i += 2) line(i, i + 1);
        break;
    case LineStrip:
        for (size_t i = 0; i + 1 < count; ++i) line(i, i + 1);
        break;
    case TriangleList:
        for (size_t i = 0; i + 2 < count; i += 3) triangle(i, i + 1, i + 2);
        break;
    case TriangleStrip:
        for (size_t i = 0; i + 2 < count; ++i) triangle(i, i + 1, i + 2);
        break;
    case TriangleFan:
        for (size_t i = 1; i + 1 < count; ++i) triangle(0, i, i + 1);
        break;
    default:  // points have no edges
        break;
    }
}

void GeometryChunk::SetVertexDataDynamic(uint32_t, int, bool on)
{
    if (on)
        flags_ |= FlagDynamicVertices;
    else
        flags_ &= ~uint32_t(FlagDynamicVertices);
}

void GeometryChunk::SetVertexDataShared(uint32_t, int mode, bool on)
{
    sharing_ = mode;
    shared_ = on;
    sharingSet_ = true;
}

bool GeometryChunk::AddChunkProperty(const PString& name) { return properties_.emplace(name, 0.0f).second; }

void GeometryChunk::SetChunkProperty(const PString& name, float value)
{
    auto it = properties_.find(name);
    if (it != properties_.end()) it->second = value;
}

float GeometryChunk::GetChunkProperty(const PString& name, float fallback) const
{
    auto it = properties_.find(name);
    return it == properties_.end() ? fallback : it->second;
}

GeometryChunkSingleStream::GeometryChunkSingleStream(uint32_t flags, uint32_t vertexCount, uint32_t primitiveCount,
                                                     uint32_t indexCount, uint32_t faceCount,
                                                     std::shared_ptr<const VertexType> type)
    : GeometryChunk(flags, vertexCount, primitiveCount, indexCount, faceCount), type_(std::move(type))
{
    if (vertexCount) vertices_ = std::make_shared<std::vector<uint8_t>>(size_t(vertexCount) * type_->GetStride());
}

VertexItemPtr GeometryChunkSingleStream::GetItem(uint32_t item, uint32_t stream)
{
    const int32_t offset = stream == 0 ? type_->GetItemOffset(item) : -1;
    uint8_t* base = GetVertexArray();
    if (offset < 0 || base == nullptr) return {};
    return {type_->GetStride(), base + offset};
}

GeometryChunkSingleStream* GeometryChunkSingleStream::MakeEmpty() const
{
    return new GeometryChunkSingleStream(GetFlags(), 0, GetNumPrimitives(), 0, 0, type_);
}

GeometryChunk* GeometryChunkSingleStream::CreateInstance() const
{
    GeometryChunkSingleStream* copy = MakeEmpty();
    if (copy == nullptr) return nullptr;
    copy->InitInstance(*this);
    copy->ShareVerticesOf(*this);
    return copy;
}

bool GeometryChunkSingleStream::InitializeBuffers(Display* display, bool uploadNow)
{
    if (display == nullptr) return false;
    if ((GetFlags() & FlagDynamicVertices) == 0 && !vertexBuffer_)
    {
        DisplayBuffer* buffer = display->CreateStaticVertexBuffer(GetMaxVertices(), *type_);
        if (buffer == nullptr) return false;
        if (uploadNow)
        {
            if (!display->UploadVertices(*buffer, GetVertexArray(), size_t(GetNumVertices()) * GetVertexSize()))
            {
                buffer->Release();
                return false;
            }
            vertexDirty_ = false;
        }
        else
            vertexDirty_ = true;
        vertexBuffer_ = buffer;
        buffer->Release();
    }
    if ((GetFlags() & FlagDynamicIndices) == 0 && !indexBuffer_)
    {
        DisplayBuffer* buffer = display->CreateStaticIndexBuffer(GetMaxIndices());
        if (buffer == nullptr) return false;
        if (uploadNow)
        {
            if (display->UploadIndices(*buffer, GetIndexArray(), GetNumIndices()) == -1)
            {
                buffer->Release();
                return false;
            }
            indexDirty_ = false;
        }
        else
            indexDirty_ = true;
        indexBuffer_ = buffer;
        buffer->Release();
    }
    return true;
}

bool GeometryChunkSingleStream::LoadBuffers(Display* display)
{
    if (display == nullptr) return false;
    if ((GetFlags() & FlagDynamicVertices) == 0)
    {
        if (!vertexBuffer_ ||
            !display->UploadVertices(*vertexBuffer_, GetVertexArray(), size_t(GetNumVertices()) * GetVertexSize()))
            return false;
        vertexDirty_ = false;
    }
    if (GetFlags() & FlagDynamicIndices) return true;
    if (!indexBuffer_) return false;
    if (display->UploadIndices(*indexBuffer_, GetIndexArray(), GetNumIndices()) == -1)
    {
        indexBuffer_.Reset();
        return false;
    }
    indexDirty_ = false;
    return true;
}

void GeometryChunkSingleStream::RebuildStaticVertexBuffer(Display* display)
{
    if (!vertexBuffer_) return;
    vertexBuffer_.Reset();
    InitializeBuffers(display, false);
}

bool GeometryChunkSingleStream::DuplicateVertexArray(Display* display)
{
    if (vertices_) vertices_ = std::make_shared<std::vector<uint8_t>>(*vertices_);
    RebuildStaticVertexBuffer(display);
    return true;
}

bool GeometryChunkSingleStream::ResizeVertexArray(Display* display, uint32_t count)
{
    auto resized = std::make_shared<std::vector<uint8_t>>(size_t(count) * type_->GetStride());
    if (vertices_) std::copy_n(vertices_->begin(), std::min(vertices_->size(), resized->size()), resized->begin());
    const bool had = vertices_ != nullptr;
    vertices_ = resized;
    SetCounts(count, count);
    if (had) RebuildStaticVertexBuffer(display);
    return true;
}

}  // namespace Orvo
