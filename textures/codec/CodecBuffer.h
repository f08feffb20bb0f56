#pragma once
// Views of one texture level: pixel buffers (one per uncompressed layout) and the compressed-block
// buffer. Codecs read and write 4x4 blocks in whatever number form suits them; a buffer converts
// from its own native form.
#include <cstddef>
#include <cstdint>

#include "textures/codec/SimdLevel.h"

// Number forms of block reads and writes. All-channel values are interleaved per pixel: blue, green,
// red, alpha in the U8 form (matching the 0xAARRGGBB word in memory), red, green, blue, alpha in the
// others. Real forms have the nominal range 0..1.
enum class ValueForm
{
    Double,
    Float,
    Half,
    U32,
    U16,
    U8
};

size_t ValueFormBytes(ValueForm form);

// Converts n values between forms (clamping reals to 0..1 on the way to integers).
void ConvertValues(ValueForm from, const void* src, ValueForm to, void* dst, size_t n);
// The same in the form of an instruction set level (bytes to and from floats, and 16-bit values to and
// from floats, have vector forms; every form gives the same values).
void ConvertValuesForm(SimdLevel level, ValueForm from, const void* src, ValueForm to, void* dst, size_t n);

class CodecBuffer
{
public:
    CodecBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data);
    virtual ~CodecBuffer();
    CodecBuffer(const CodecBuffer&) = delete;
    CodecBuffer& operator=(const CodecBuffer&) = delete;

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Pitch() const { return pitch_; }
    uint8_t* Data() const { return data_; }

    // Converts the whole of source into this buffer block by block (nothing when the sizes differ).
    virtual void ConvertFrom(CodecBuffer& source);
    virtual uint32_t GetBufferType() const { return 0; }
    virtual uint32_t GetBitsPerChannel() const = 0;
    virtual uint32_t GetChannelCount() const = 0;
    virtual bool IsFloat() const = 0;

    // w and h at most 4. Reads at the right or bottom edge fill the outside positions by repeating
    // the inside pixels; writes store the inside pixels only. false when (x, y) lies outside.
    bool ReadBlock(ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out);
    bool WriteBlock(ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, const void* in);
    // One channel (red 0, green 1, blue 2, alpha 3), w x h values row by row.
    bool ReadChannel(int channel, ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out);
    bool WriteChannel(int channel, ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, const void* in);

    virtual bool ReadCompressedBlock(uint32_t x, uint32_t y, void* out, uint32_t dwordCount);
    virtual bool WriteCompressedBlock(uint32_t x, uint32_t y, const void* in, uint32_t dwordCount);

protected:
    // The one form a class stores; ReadNative / WriteNative move all channels in that form.
    virtual bool HasNativeForm() const { return false; }
    virtual ValueForm NativeForm() const { return ValueForm::Float; }
    virtual bool ReadNative(uint32_t, uint32_t, uint32_t, uint32_t, void*) { return false; }
    virtual bool WriteNative(uint32_t, uint32_t, uint32_t, uint32_t, const void*) { return false; }

    uint32_t width_;
    uint32_t height_;
    uint32_t pitch_;
    bool externalData_;
    uint8_t* data_;
};

// Buffer types 1..17 make the pixel buffers, 18..21 and 23..26 the block buffer; null for any other
// type, when the size does not fit or when memory runs out. The caller deletes the buffer.
CodecBuffer* CreateCodecBuffer(uint32_t bufferType, uint32_t width, uint32_t height, uint32_t pitch, void* data);

// Buffer type of an uncompressed format 1..14, 0 for all others.
uint32_t FormatToBufferType(int32_t format);
