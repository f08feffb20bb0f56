#include "engine/Display.h"

#include "engine/TextureCombiner.h"
#include "engine/VertexProgram.h"
#include "engine/VertexType.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Orvo {

Display::Display(Kind kind) : kind_(kind), life_(std::make_shared<const int>(0)) {}

// Handles see the display gone before its parts go.
Display::~Display() { life_.reset(); }

bool Display::SupportsCapability(uint32_t capability) const
{
    auto it = capabilities_.find(capability);
    return it != capabilities_.end() && it->second;
}

void Display::SetCapability(uint32_t capability, bool supported) { capabilities_[capability] = supported; }

void Display::ConvertColorArray(uint32_t*, size_t) const {}

DisplayBuffer* Display::CreateStaticVertexBuffer(size_t vertexCount, const VertexType& type)
{
    if (failBuffers_) return nullptr;
    Record("create vertex buffer " + std::to_string(vertexCount) + " x " + std::to_string(type.GetStride()));
    auto* buffer = new DisplayBuffer(true, vertexCount * type.GetStride());
    buffer->AddRef();
    return buffer;
}

DisplayBuffer* Display::CreateStaticIndexBuffer(size_t indexCount)
{
    if (failBuffers_) return nullptr;
    Record("create index buffer " + std::to_string(indexCount));
    auto* buffer = new DisplayBuffer(false, indexCount * sizeof(uint16_t));
    buffer->AddRef();
    return buffer;
}

bool Display::UploadVertices(DisplayBuffer& buffer, const void* data, size_t bytes)
{
    if (failUploads_ || bytes > buffer.GetCapacity() || (bytes && data == nullptr)) return false;
    const auto* b = static_cast<const uint8_t*>(data);
    buffer.Data().assign(b, b + bytes);
    Record("upload vertices " + std::to_string(bytes));
    return true;
}

int Display::UploadIndices(DisplayBuffer& buffer, const uint16_t* indices, size_t count)
{
    const size_t bytes = count * sizeof(uint16_t);
    if (failUploads_ || bytes > buffer.GetCapacity() || (count && indices == nullptr)) return -1;
    buffer.Data().resize(bytes);
    if (bytes) std::memcpy(buffer.Data().data(), indices, bytes);
    Record("upload indices " + std::to_string(count));
    return static_cast<int>(count);
}

void Display::SetFog(float density, int mode)
{
    fogDensity_ = density;
    state_.fogMode = mode;
    char text[64];
    std::snprintf(text, sizeof text, "fog %g %d", double(density), mode);
    Record(text);
}

void Display::SetFogMode(int mode)
{
    state_.fogMode = mode;
    if (recording_) Record("fog mode " + std::to_string(mode));
}

void Display::SetAlphaBlendMode(bool on)
{
    state_.alphaBlend = on;
    if (recording_) Record(on ? "alpha blend on" : "alpha blend off");
}

void Display::SetAlphaBlendFunction(int source, int destination)
{
    state_.blendSource = source;
    state_.blendDestination = destination;
    if (recording_) Record("blend function " + std::to_string(source) + " " + std::to_string(destination));
}

void Display::SetCullMode(bool on)
{
    state_.cull = on;
    if (recording_) Record(on ? "cull on" : "cull off");
}

void Display::SetAlphaTestMode(bool on)
{
    state_.alphaTest = on;
    if (recording_) Record(on ? "alpha test on" : "alpha test off");
}

void Display::SetDepthWriteMode(bool on)
{
    state_.depthWrite = on;
    if (recording_) Record(on ? "depth write on" : "depth write off");
}

void Display::SetColorMaterialMode(int mode)
{
    state_.colorMaterial = mode;
    if (recording_) Record("colour material " + std::to_string(mode));
}

void Display::SetAmbientColor(const Color& colour)
{
    state_.ambient = colour;
    if (recording_) Record("ambient " + FormatColor(colour));
}

void Display::SetTransform(const Matrix4& transform)
{
    transform_ = transform;
    if (recording_) Record("transform " + FormatMatrix(transform));
}

void Display::DisableTextureStage(uint32_t stage)
{
    if (recording_) Record("disable stage " + std::to_string(stage));
}

void Display::ResetTextureStage(uint32_t stage)
{
    if (recording_) Record("reset stage " + std::to_string(stage));
}

void Display::SetFallbackTexture(uint32_t stage)
{
    if (recording_) Record("fallback texture " + std::to_string(stage));
}

void Display::SetTextureMatrix(uint32_t stage, const Matrix4& matrix)
{
    if (recording_) Record("texture matrix " + std::to_string(stage) + " " + FormatMatrix(matrix));
}

void Display::ResetTextureMatrix(uint32_t stage)
{
    if (recording_) Record("reset texture matrix " + std::to_string(stage));
}

void Display::SetTextureCoordGen(uint32_t stage, bool on)
{
    if (recording_) Record("texture coordinates " + std::to_string(stage) + (on ? " generated" : " given"));
}

void Display::SetTextureFactor(uint32_t stage, const Color& factor)
{
    if (recording_) Record("stage factor " + std::to_string(stage) + " " + FormatColor(factor));
}

uint32_t Display::CreateTextureStageSetup(uint32_t stage, const TextureArgs& colour, const TextureArgs& alpha)
{
    if (failSetupAfter_ == 0) return 0;
    if (failSetupAfter_ > 0) --failSetupAfter_;
    const uint32_t handle = nextSetup_++;
    setups_[handle] = stage;
    char text[128];
    std::snprintf(text, sizeof text, "create stage setup %u for stage %u (%d %d %d %d / %d %d %d %d)", handle, stage,
                  colour.operation, colour.argument1, colour.argument2, colour.argument3, alpha.operation,
                  alpha.argument1, alpha.argument2, alpha.argument3);
    if (recording_) Record(text);
    return handle;
}

void Display::ApplyTextureStageSetup(uint32_t handle)
{
    auto it = setups_.find(handle);
    if (it == setups_.end()) return;
    if (recording_) Record("apply stage setup " + std::to_string(handle) + " to stage " + std::to_string(it->second));
}

void Display::ReleaseTextureStageSetup(uint32_t handle)
{
    if (setups_.erase(handle) == 0) return;
    if (recording_) Record("release stage setup " + std::to_string(handle));
}

VertexProgramManager* Display::GetVertexProgramManager()
{
    if (!vertexPrograms_) vertexPrograms_ = std::make_unique<VertexProgramManager>(this);
    return vertexPrograms_.get();
}

TextureCombinerManager* Display::GetTextureCombinerManager()
{
    if (!combiners_) combiners_ = std::make_unique<TextureCombinerManager>(this);
    return combiners_.get();
}

void Display::RegisterVertexType(const VertexType* type)
{
    if (type == nullptr || std::find(vertexTypes_.begin(), vertexTypes_.end(), type) != vertexTypes_.end()) return;
    vertexTypes_.push_back(type);
    if (recording_) Record("vertex type " + std::to_string(type->GetId()));
}

std::string Display::FormatColor(const Color& c)
{
    char text[96];
    std::snprintf(text, sizeof text, "(%g %g %g %g)", double(c.r), double(c.g), double(c.b), double(c.a));
    return text;
}

std::string Display::FormatMatrix(const Matrix4& m)
{
    std::string out = "[";
    for (int r = 0; r < 4; ++r)
    {
        char text[96];
        std::snprintf(text, sizeof text, "%s%g %g %g %g", r ? ", " : "", double(m.m[r][0]), double(m.m[r][1]),
                      double(m.m[r][2]), double(m.m[r][3]));
        out += text;
    }
    return out + "]";
}

void Display::Record(std::string what)
{
    if (!recording_) return;
    // Bounded so a long-running process that draws cannot grow without end.
    if (record_.size() >= 65536) record_.erase(record_.begin(), record_.begin() + 32768);
    record_.push_back(std::move(what));
}

void Display::RecordDraw(size_t primitives)
{
    ++drawCalls_;
    Record("draw " + std::to_string(primitives));
}

void Display::RecordDraw(const char* what, size_t primitives, const std::string& program)
{
    ++drawCalls_;
    if (!recording_) return;
    std::string line = std::string(what) + " " + std::to_string(primitives);
    if (!program.empty()) line += " with " + program;
    Record(std::move(line));
}

void Display::ClearRecord()
{
    record_.clear();
    drawCalls_ = 0;
}

}  // namespace Orvo
