#include "textures/codec/TextureCodec.h"

#include <cstring>

bool TextureCodec::SetParameter(const char*, float) { return false; }
bool TextureCodec::SetParameter(const char*, int32_t) { return false; }
bool TextureCodec::GetParameter(const char*, float*) { return false; }
bool TextureCodec::GetParameter(const char*, int32_t*) { return false; }

#if defined(__x86_64__) || defined(_M_X64)
bool HasSSE() { return true; }  // part of the x86-64 base instruction set
bool HasSSE2() { return true; }
#else
bool HasSSE() { return false; }
bool HasSSE2() { return false; }
#endif

BlockCodec4x4::BlockCodec4x4(uint32_t codecType) : TextureCodec(codecType), useSSE_(HasSSE()), useSSE2_(HasSSE2()) {}

bool BlockCodec4x4::SetParameter(const char* name, float value) { return TextureCodec::SetParameter(name, value); }

bool BlockCodec4x4::SetParameter(const char* name, int32_t value)
{
    // The flags can switch a path off, or back on only where the processor has it; the answer
    // stays the base's false.
    if (std::strcmp(name, "UseSSE2") == 0) useSSE2_ = value != 0 && HasSSE2();
    if (std::strcmp(name, "UseSSE") == 0) useSSE_ = value != 0 && HasSSE();
    return TextureCodec::SetParameter(name, value);
}

bool BlockCodec4x4::GetParameter(const char* name, float* out) { return TextureCodec::GetParameter(name, out); }

bool BlockCodec4x4::GetParameter(const char* name, int32_t* out)
{
    if (std::strcmp(name, "UseSSE2") == 0)
    {
        *out = useSSE2_ ? 1 : 0;
        return true;
    }
    if (std::strcmp(name, "UseSSE") == 0)
    {
        *out = useSSE_ ? 1 : 0;
        return true;
    }
    return TextureCodec::GetParameter(name, out);
}

CodecBuffer* BlockCodec4x4::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(20, width, height, pitch, data);
}
