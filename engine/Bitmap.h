#pragma once
// The engine's image: a rectangle of pixels, or of raw compressed blocks, that either owns its bytes or
// aliases someone else's. Images are read from and written to PNG, JPEG, TGA and BMP files (BitmapIO.cpp)
// through libpng, libjpeg-turbo and stb_image; every reader bounds the size before it allocates.
//
// Pixel formats (the numbers are the engine's):
//   1  24-bit: 3 bytes per pixel, blue, green, red
//   2  32-bit with alpha: 4 bytes per pixel, blue, green, red, alpha (a little-endian ARGB word)
//   3  32-bit without alpha: as 2, the top byte is not alpha (writers store 0xFF there)
//   4  8-bit grey: 1 byte per pixel (made by the program, never read from a file; saved as format 3)
//   5  raw data: compressed blocks; no pixel operation applies
#include "engine/String.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace Orvo {

class Bitmap
{
public:
    enum Format : uint32_t
    {
        FormatRGB24 = 1,
        FormatARGB32 = 2,
        FormatXRGB32 = 3,
        FormatGrey8 = 4,
        FormatRaw = 5,
    };

    // Readers refuse larger images before allocating anything.
    static constexpr uint32_t kMaxSide = 16384;
    static constexpr uint64_t kMaxPixels = uint64_t(64) << 20;

    Bitmap() = default;
    // An owned, zeroed image; check IsValid (a size out of bounds gives an empty image).
    Bitmap(uint32_t width, uint32_t height, uint32_t format);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // Sets the image up. Pitch 0 means rows packed by the format (raw data has no rows). With `data` the
    // image aliases those bytes (dataSize of them, which must cover the rows); without, it owns dataSize
    // zeroed bytes, or the packed size when dataSize is 0. False (image left empty) on a bad format, a size
    // out of bounds or too little data.
    bool Init(uint32_t width, uint32_t height, uint32_t pitch, uint32_t format, void* data, size_t dataSize);
    // Frees owned bytes and forgets aliased ones.
    void Clear();

    bool IsValid() const { return data_ != nullptr; }
    bool IsAlias() const { return data_ != nullptr && !owned_; }
    // Takes a private copy of aliased bytes, so the image no longer depends on their owner.
    void DetachAlias();

    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    uint32_t GetPitch() const { return pitch_; }
    uint32_t GetFormat() const { return format_; }
    uint8_t* GetData() { return data_; }
    const uint8_t* GetData() const { return data_; }
    size_t GetDataSize() const { return dataSize_; }
    uint8_t* Row(uint32_t y) { return data_ + size_t(y) * pitch_; }
    const uint8_t* Row(uint32_t y) const { return data_ + size_t(y) * pitch_; }
    bool HasAlphaChannel() const { return format_ == FormatARGB32; }

    // Bytes per pixel of a pixel format; 0 for raw data and unknown formats.
    static uint32_t BytesPerPixel(uint32_t format);

    // Copies `source` into this image with its top-left at (x, y), converting between the pixel formats
    // (24-bit to 32-bit gains alpha 0xFF; into format 3 the top byte becomes 0xFF; grey becomes equal blue,
    // green and red, and colours become grey by their luminance), clipped to this image.
    // False for raw data on either side.
    bool CopyImage(const Bitmap& source, int x, int y);

    // A new owned image of the given size in the same pixel format. Scale averages every source pixel
    // that a target pixel covers (a box filter over the covered area: halving averages 2 x 2 pixels) and
    // falls back to bilinear sampling along a side that grows; ScaleArbitrary samples bilinearly in both
    // directions. Alpha is filtered like the colours. Null for raw data or a size out of bounds.
    std::unique_ptr<Bitmap> Scale(uint32_t width, uint32_t height) const;
    std::unique_ptr<Bitmap> ScaleArbitrary(uint32_t width, uint32_t height) const;

    // The image as the bytes of a PNG, JPEG (quality 95), TGA (RLE) or BMP file, chosen by the extension of
    // `path` (which serves in messages too); formats 2 keep alpha in PNG, TGA and BMP. False with the reason.
    bool Encode(std::string_view path, std::string& out, String* reason = nullptr) const;
    // Encode, written at `path` for the program's own use (a scratch file of a conversion): beside its place
    // and renamed into it, so a failure never leaves a half-written file. A file a user names goes through
    // Platform::OutputFile instead. False with the reason on failure.
    bool Save(std::string_view path, String* reason = nullptr) const;

    // Reads an image file: PNG, JPEG, BMP by their signatures, otherwise TGA. The result has format 2
    // when the file carries alpha and 3 otherwise. Null with a reason naming the fault for missing,
    // damaged, truncated or oversized files.
    static std::unique_ptr<Bitmap> Load(std::string_view path, String& reason);
    // The width and height an image file declares, read from its header without decoding it; false when
    // the file is missing or its header is not understood.
    static bool ReadSize(std::string_view path, uint32_t& width, uint32_t& height);
    // The same from bytes in memory; `name` serves only in messages.
    static std::unique_ptr<Bitmap> LoadFromMemory(const uint8_t* bytes, size_t size, std::string_view name,
                                                  String& reason);

private:
    uint8_t* data_ = nullptr;
    size_t dataSize_ = 0;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t pitch_ = 0;
    uint32_t format_ = 0;
    bool owned_ = false;
};

}  // namespace Orvo
