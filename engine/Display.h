#pragma once
// The render kernel's display. There is no GPU here: both the hidden OpenGL display and the null
// renderer draw nothing. The display records what was asked of it (state changes, buffer uploads, draw
// calls), so that tests can see what a material or a scene did, and answers capability questions from a
// table a test can change, so that both sides of every capability test can run.
#include "engine/Color.h"
#include "engine/Matrix3.h"
#include "engine/ReferenceCount.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Orvo {

class TextureCombinerManager;
class VertexProgramManager;
class VertexType;

// The render state a material sets and must put back. Blend factors are the display's numbers (0 zero,
// 1 one, 4 source alpha, 5 one minus source alpha); fog mode 0 is no fog; colour-material mode 0 takes
// the material's colours, other modes take vertex colours.
struct DisplayState
{
    bool alphaBlend = false;
    int blendSource = 1;
    int blendDestination = 0;
    int fogMode = 0;
    bool cull = true;
    bool alphaTest = false;
    bool depthWrite = true;
    int colorMaterial = 0;
    Color ambient{0.0f, 0.0f, 0.0f, 1.0f};

    bool operator==(const DisplayState&) const = default;
};

// How one texture stage combines its inputs: the four leading values the display is given for the
// colour (first record) and the alpha (second record) of a stage.
struct TextureArgs
{
    int operation = 0;
    int argument1 = 0;
    int argument2 = 0;
    int argument3 = 0;
};

// A static vertex or index buffer the display made: it holds a copy of what was uploaded.
class DisplayBuffer : public ReferenceCount
{
public:
    DisplayBuffer(bool vertices, size_t capacityBytes) : vertices_(vertices), capacity_(capacityBytes) {}
    bool HoldsVertices() const { return vertices_; }
    size_t GetCapacity() const { return capacity_; }
    const std::vector<uint8_t>& GetData() const { return data_; }
    std::vector<uint8_t>& Data() { return data_; }

private:
    bool vertices_;
    size_t capacity_;
    std::vector<uint8_t> data_;
};

class Display
{
public:
    enum class Kind
    {
        Null,
        HiddenOpenGL
    };
    // Capability numbers the program asks about.
    enum Capability : uint32_t
    {
        CapReflection = 1,
        CapVertexPrograms = 17,
        CapTextureCombiners = 21,
        CapHardwareSkinning = 29,
        CapSharedVertexData = 30,
    };

    explicit Display(Kind kind);
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    Kind GetKind() const { return kind_; }
    const char* GetKindName() const { return kind_ == Kind::Null ? "Null" : "OpenGL (hidden)"; }

    // Capabilities: every one is "no" until set.
    bool SupportsCapability(uint32_t capability) const;
    void SetCapability(uint32_t capability, bool supported);
    uint32_t GetTextureStageCount() const { return textureStages_; }
    void SetTextureStageCount(uint32_t stages) { textureStages_ = stages; }

    // Vertex colours as the file stores them (0xAARRGGBB) into the display's own order, in place. This
    // display keeps the file's order.
    void ConvertColorArray(uint32_t* colours, size_t count) const;

    // Static buffers. Null when creation is made to fail (SetFailBufferCreation).
    DisplayBuffer* CreateStaticVertexBuffer(size_t vertexCount, const VertexType& type);
    DisplayBuffer* CreateStaticIndexBuffer(size_t indexCount);
    // Copies into a buffer; false (vertices) or -1 (indices) when uploads are made to fail or the data
    // does not fit.
    bool UploadVertices(DisplayBuffer& buffer, const void* data, size_t bytes);
    int UploadIndices(DisplayBuffer& buffer, const uint16_t* indices, size_t count);
    void SetFailBufferCreation(bool fail) { failBuffers_ = fail; }
    void SetFailUploads(bool fail) { failUploads_ = fail; }

    // The frame being drawn.
    uint32_t GetCurrentFrame() const { return frame_; }
    void NextFrame() { ++frame_; }

    void SetFog(float density, int mode);
    float GetFogDensity() const { return fogDensity_; }
    int GetFogMode() const { return state_.fogMode; }

    // ---- render state (each change is recorded) ----
    const DisplayState& GetState() const { return state_; }
    void SetFogMode(int mode);
    bool GetAlphaBlendMode() const { return state_.alphaBlend; }
    void SetAlphaBlendMode(bool on);
    void GetAlphaBlendFunction(int& source, int& destination) const
    {
        source = state_.blendSource;
        destination = state_.blendDestination;
    }
    void SetAlphaBlendFunction(int source, int destination);
    bool GetCullMode() const { return state_.cull; }
    void SetCullMode(bool on);
    bool GetAlphaTestMode() const { return state_.alphaTest; }
    void SetAlphaTestMode(bool on);
    bool GetDepthWriteMode() const { return state_.depthWrite; }
    void SetDepthWriteMode(bool on);
    int GetColorMaterialMode() const { return state_.colorMaterial; }
    void SetColorMaterialMode(int mode);
    // The scene's ambient light.
    const Color& GetAmbientColor() const { return state_.ambient; }
    void SetAmbientColor(const Color& colour);
    // The object-to-view matrix of what is drawn next.
    void SetTransform(const Matrix4& transform);
    const Matrix4& GetTransform() const { return transform_; }

    // ---- texture stages ----
    void DisableTextureStage(uint32_t stage);
    void ResetTextureStage(uint32_t stage);
    // The texture a stage takes when its material has none to give (the environment map of stage 3).
    void SetFallbackTexture(uint32_t stage);
    void SetTextureMatrix(uint32_t stage, const Matrix4& matrix);
    void ResetTextureMatrix(uint32_t stage);
    void SetTextureCoordGen(uint32_t stage, bool on);
    // The constant colour a stage set-up blends with.
    void SetTextureFactor(uint32_t stage, const Color& factor);
    // Stage set-ups: a handle (0 when it cannot be made) for a stage's colour and alpha records; applied
    // while drawing, released by their maker.
    uint32_t CreateTextureStageSetup(uint32_t stage, const TextureArgs& colour, const TextureArgs& alpha);
    void ApplyTextureStageSetup(uint32_t handle);
    void ReleaseTextureStageSetup(uint32_t handle);
    size_t GetTextureStageSetupCount() const { return setups_.size(); }
    // The next `count` set-up creations succeed, the one after fails (a test's choice; -1: none fails).
    void SetFailTextureStageSetupAfter(int count) { failSetupAfter_ = count; }

    // ---- programs and vertex layouts ----
    VertexProgramManager* GetVertexProgramManager();
    TextureCombinerManager* GetTextureCombinerManager();
    // A layout the display is told about before chunks use it.
    void RegisterVertexType(const VertexType* type);

    // A state change or draw call, recorded as a short text. With recording off nothing is kept (the
    // state and the draw count still are), so that the cost of the record can be told from the rest.
    void Record(std::string what);
    void SetRecording(bool on) { recording_ = on; }
    bool IsRecording() const { return recording_; }
    void RecordDraw(size_t primitives);
    // A draw with a vertex program ("draw 1 with <program>"); `what` names the kind of draw.
    void RecordDraw(const char* what, size_t primitives, const std::string& program);
    // Numbers as the record writes them.
    static std::string FormatColor(const Color& c);
    static std::string FormatMatrix(const Matrix4& m);
    const std::vector<std::string>& GetRecord() const { return record_; }
    size_t GetDrawCalls() const { return drawCalls_; }
    void ClearRecord();

private:
    friend class DisplayHandle;
    Kind kind_;
    // Shared with nobody: handles watch it (weakly) to learn when the display is gone, even when another
    // display is later made at the same address.
    std::shared_ptr<const int> life_;
    std::map<uint32_t, bool> capabilities_;
    uint32_t textureStages_ = 8;
    bool failBuffers_ = false;
    bool failUploads_ = false;
    uint32_t frame_ = 1;
    float fogDensity_ = 0.0f;
    DisplayState state_;
    Matrix4 transform_;
    std::map<uint32_t, uint32_t> setups_;  // handle -> stage
    uint32_t nextSetup_ = 1;
    int failSetupAfter_ = -1;
    std::unique_ptr<VertexProgramManager> vertexPrograms_;
    std::unique_ptr<TextureCombinerManager> combiners_;
    std::vector<const VertexType*> vertexTypes_;
    size_t drawCalls_ = 0;
    bool recording_ = true;
    std::vector<std::string> record_;
};

// A display kept by something that may outlive it (a plug-in keeps the display its resources were made
// for): Get answers null once that display is gone.
class DisplayHandle
{
public:
    DisplayHandle() = default;
    explicit DisplayHandle(Display* display) : display_(display)
    {
        if (display) life_ = display->life_;
    }
    Display* Get() const { return display_ && !life_.expired() ? display_ : nullptr; }
    // True when this is that very display (not another made at the same address).
    bool Refers(const Display* display) const
    {
        return display != nullptr && display == display_ && !life_.owner_before(display->life_) &&
               !display->life_.owner_before(life_);
    }
    void Reset() { *this = DisplayHandle(); }

private:
    Display* display_ = nullptr;
    std::weak_ptr<const int> life_;
};

}  // namespace Orvo
