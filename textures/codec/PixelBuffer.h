#pragma once
// The uncompressed layouts (buffer types 1..17); one class told apart by its layout entry.
#include "textures/codec/CodecBuffer.h"

struct PixelLayout
{
    uint32_t bufferType;
    uint32_t channels;
    uint32_t bitsPerChannel;
    bool isFloat;
    uint32_t bytesPerPixel;
    ValueForm native;
};

// Layout of buffer type 1..17, null otherwise.
const PixelLayout* FindPixelLayout(uint32_t bufferType);

class PixelBuffer : public CodecBuffer
{
public:
    // pitch 0 packs rows (24-bit rows padded to 4 bytes); a smaller pitch is raised to the row size.
    PixelBuffer(const PixelLayout& layout, uint32_t width, uint32_t height, uint32_t pitch, void* data);
    bool Valid() const { return data_ != nullptr; }

    uint32_t GetBufferType() const override { return layout_.bufferType; }
    uint32_t GetBitsPerChannel() const override { return layout_.bitsPerChannel; }
    uint32_t GetChannelCount() const override { return layout_.channels; }
    bool IsFloat() const override { return layout_.isFloat; }

protected:
    bool HasNativeForm() const override { return true; }
    ValueForm NativeForm() const override { return layout_.native; }
    bool ReadNative(uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out) override;
    bool WriteNative(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const void* in) override;

private:
    void Unpack(const uint8_t* pixel, uint8_t* values) const;
    void Pack(const uint8_t* values, uint8_t* pixel) const;

    const PixelLayout& layout_;
    bool direct_;  // memory holds the native four-value pixel as it is
};
