// Image files: PNG through libpng's simplified interface, JPEG through libjpeg-turbo, TGA and BMP through
// stb_image and stb_image_write. stb reads zeros past the end of its input instead of failing, so the TGA
// and BMP headers and pixel streams are measured against the file here before stb decodes them.
#include "engine/Bitmap.h"

#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "platform/RegularFile.h"

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

namespace Orvo {

namespace {

// Image files larger than this are refused unread (a 16384 x 16384 TGA with alpha is 1 GiB; no texture of
// ours comes near that).
constexpr uint64_t kMaxImageFileBytes = uint64_t(512) << 20;

std::unique_ptr<Bitmap> Refuse(String& reason, std::string_view name, const std::string& why)
{
    reason = String::Format("%.*s: %s", int(name.size()), name.data(), why.c_str());
    return nullptr;
}

std::string SizeText(uint64_t w, uint64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

bool SizeAllowed(uint64_t w, uint64_t h)
{
    return w >= 1 && h >= 1 && w <= Bitmap::kMaxSide && h <= Bitmap::kMaxSide && w * h <= Bitmap::kMaxPixels;
}

std::string SizeRefusal(uint64_t w, uint64_t h)
{
    return "image size " + SizeText(w, h) + " is outside 1.." + std::to_string(Bitmap::kMaxSide) +
           " per side or above " + std::to_string(Bitmap::kMaxPixels >> 20) + " Mpixels";
}

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

// ---- PNG ----

std::unique_ptr<Bitmap> LoadPng(const uint8_t* bytes, size_t size, std::string_view name, String& reason)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, size))
        return Refuse(reason, name, std::string("damaged PNG: ") + image.message);
    if (!SizeAllowed(image.width, image.height))
    {
        png_image_free(&image);
        return Refuse(reason, name, SizeRefusal(image.width, image.height));
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_BGRA;
    auto bmp = std::make_unique<Bitmap>(image.width, image.height, alpha ? Bitmap::FormatARGB32 : Bitmap::FormatXRGB32);
    if (!bmp->IsValid())
    {
        png_image_free(&image);
        return Refuse(reason, name, "out of memory");
    }
    if (!png_image_finish_read(&image, nullptr, bmp->GetData(), int32_t(bmp->GetPitch()), nullptr))
        return Refuse(reason, name, std::string("damaged PNG: ") + image.message);
    return bmp;
}

bool SavePng(const Bitmap& bmp, std::string& out, std::string& why)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = bmp.GetWidth();
    image.height = bmp.GetHeight();
    std::vector<uint8_t> packed;
    const void* rows = bmp.GetData();
    int32_t stride = int32_t(bmp.GetPitch());
    if (bmp.GetFormat() == Bitmap::FormatARGB32)
    {
        image.format = PNG_FORMAT_BGRA;
    }
    else
    {
        image.format = PNG_FORMAT_BGR;
        if (bmp.GetFormat() == Bitmap::FormatXRGB32)
        {
            packed.resize(size_t(bmp.GetWidth()) * bmp.GetHeight() * 3);
            for (uint32_t y = 0; y < bmp.GetHeight(); ++y)
                for (uint32_t x = 0; x < bmp.GetWidth(); ++x)
                    std::memcpy(&packed[(size_t(y) * bmp.GetWidth() + x) * 3], bmp.Row(y) + x * 4, 3);
            rows = packed.data();
            stride = int32_t(bmp.GetWidth() * 3);
        }
    }
    png_alloc_size_t bytes = 0;
    if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, rows, stride, nullptr))
    {
        why = image.message;
        return false;
    }
    out.resize(bytes);
    if (!png_image_write_to_memory(&image, out.data(), &bytes, 0, rows, stride, nullptr))
    {
        why = image.message;
        return false;
    }
    out.resize(bytes);
    return true;
}

// ---- JPEG ----

struct JpegError
{
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info)
{
    auto* e = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, e->text);
    std::longjmp(e->jump, 1);
}

// libjpeg only warns about a truncated or corrupt stream and fills the rest grey; a texture read from
// such a file would be silently wrong, so warnings count as errors.
void JpegMessage(j_common_ptr info, int level)
{
    if (level < 0) JpegErrorExit(info);
}

void JpegSilent(j_common_ptr) {}

std::unique_ptr<Bitmap> LoadJpeg(const uint8_t* bytes, size_t size, std::string_view name, String& reason)
{
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegMessage;
    err.mgr.output_message = JpegSilent;
    std::unique_ptr<Bitmap> bmp;
    if (setjmp(err.jump))
    {
        jpeg_destroy_decompress(&info);
        return Refuse(reason, name, std::string("damaged JPEG: ") + err.text);
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (!SizeAllowed(info.image_width, info.image_height))
    {
        const std::string why = SizeRefusal(info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return Refuse(reason, name, why);
    }
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    bmp = std::make_unique<Bitmap>(info.output_width, info.output_height, Bitmap::FormatXRGB32);
    if (!bmp->IsValid())
    {
        jpeg_destroy_decompress(&info);
        return Refuse(reason, name, "out of memory");
    }
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW row = bmp->Row(info.output_scanline);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    for (uint32_t y = 0; y < bmp->GetHeight(); ++y)
        for (uint32_t x = 0; x < bmp->GetWidth(); ++x) bmp->Row(y)[x * 4 + 3] = 0xFF;
    return bmp;
}

bool SaveJpeg(const Bitmap& bmp, std::string& out, std::string& why)
{
    jpeg_compress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.output_message = JpegSilent;
    unsigned char* buffer = nullptr;
    unsigned long bytes = 0;
    if (setjmp(err.jump))
    {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        why = err.text;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &bytes);
    info.image_width = bmp.GetWidth();
    info.image_height = bmp.GetHeight();
    info.input_components = int(Bitmap::BytesPerPixel(bmp.GetFormat()));
    info.in_color_space = info.input_components == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<uint8_t*>(bmp.Row(info.next_scanline));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    out.assign(reinterpret_cast<const char*>(buffer), bytes);
    std::free(buffer);
    return true;
}

// ---- TGA and BMP through stb ----

// Checks that a TGA's header is sane and that its pixel stream, raw or run-length encoded, lies wholly in
// the file; stb would otherwise read zeros past the end.
bool CheckTga(const uint8_t* b, size_t size, std::string& why, bool& alpha)
{
    if (size < 18)
    {
        why = "not an image file (too short for a TGA header)";
        return false;
    }
    const uint32_t idLength = b[0], mapType = b[1], type = b[2];
    const uint32_t mapLength = U16(b + 5), mapBits = b[7];
    const uint32_t w = U16(b + 12), h = U16(b + 14), bits = b[16];
    const bool rle = type >= 9;
    const uint32_t base = rle ? type - 8 : type;
    if (mapType > 1 || (base != 1 && base != 2 && base != 3))
    {
        why = "not an image file (unknown TGA image type " + std::to_string(type) + ")";
        return false;
    }
    if ((base == 1 && (bits != 8 || mapType != 1)) ||
        (base == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32) || (base == 3 && bits != 8 && bits != 16))
    {
        why = "TGA type " + std::to_string(type) + " with " + std::to_string(bits) + " bits per pixel is not supported";
        return false;
    }
    if (!SizeAllowed(w, h))
    {
        why = SizeRefusal(w, h);
        return false;
    }
    alpha = (base == 2 && bits == 32) || (base == 3 && bits == 16) || (base == 1 && mapBits == 32);
    uint64_t pos = 18 + uint64_t(idLength) + (mapType ? uint64_t(mapLength) * ((mapBits + 7) / 8) : 0);
    const uint64_t pixelBytes = (bits + 7) / 8;
    const uint64_t pixels = uint64_t(w) * h;
    if (!rle)
    {
        if (pos + pixels * pixelBytes > size)
        {
            why = "damaged TGA: the file ends inside the pixel data";
            return false;
        }
        return true;
    }
    for (uint64_t done = 0; done < pixels;)
    {
        if (pos >= size)
        {
            why = "damaged TGA: the file ends inside the run-length data";
            return false;
        }
        const uint8_t packet = b[pos++];
        const uint64_t n = (packet & 0x7F) + 1u;
        pos += (packet & 0x80) ? pixelBytes : n * pixelBytes;
        if (pos > size)
        {
            why = "damaged TGA: the file ends inside the run-length data";
            return false;
        }
        done += n;
    }
    return true;
}

bool CheckBmp(const uint8_t* b, size_t size, std::string& why, bool& alpha)
{
    if (size < 26)
    {
        why = "damaged BMP: the file is shorter than its headers";
        return false;
    }
    const uint32_t offset = U32(b + 10), header = U32(b + 14);
    int64_t w = 0, h = 0;
    uint32_t bits = 0, compression = 0;
    if (header == 12)
    {
        w = U16(b + 18);
        h = int16_t(U16(b + 20));
        bits = U16(b + 24);
    }
    else if (header >= 40 && size >= 14 + 40)
    {
        w = int32_t(U32(b + 18));
        h = int32_t(U32(b + 22));
        bits = U16(b + 28);
        compression = U32(b + 30);
    }
    else
    {
        why = "damaged BMP: unknown header size " + std::to_string(header);
        return false;
    }
    const uint64_t height = uint64_t(h < 0 ? -h : h);
    if (w <= 0 || !SizeAllowed(uint64_t(w), height))
    {
        why = SizeRefusal(uint64_t(w < 0 ? 0 : w), height);
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    {
        why = "BMP with " + std::to_string(bits) + " bits per pixel is not supported";
        return false;
    }
    if (compression != 0 && compression != 3 && compression != 6)
    {
        why = "compressed BMP (method " + std::to_string(compression) + ") is not supported";
        return false;
    }
    const uint64_t rowBytes = (uint64_t(w) * bits + 31) / 32 * 4;
    if (offset < 14 + uint64_t(header) || uint64_t(offset) + rowBytes * height > size)
    {
        why = "damaged BMP: the file ends inside the pixel data";
        return false;
    }
    // stb keeps the fourth byte of 32-bit pixels as alpha (all zero reads as opaque).
    alpha = bits == 32;
    return true;
}

std::unique_ptr<Bitmap> LoadWithStb(const uint8_t* bytes, size_t size, bool alpha, std::string_view name,
                                    String& reason)
{
    // The caller's header checks have bounded the size; stb is asked only once they passed.
    int w = 0, h = 0, comp = 0;
    stbi_set_flip_vertically_on_load_thread(0);
    stbi_uc* rgba = stbi_load_from_memory(bytes, int(size), &w, &h, &comp, 4);
    if (rgba == nullptr) return Refuse(reason, name, std::string("damaged image: ") + stbi_failure_reason());
    if (!SizeAllowed(uint64_t(w), uint64_t(h)))
    {
        stbi_image_free(rgba);
        return Refuse(reason, name, SizeRefusal(uint64_t(w), uint64_t(h)));
    }
    alpha = alpha || comp == 2 || comp == 4;
    auto bmp = std::make_unique<Bitmap>(uint32_t(w), uint32_t(h), alpha ? Bitmap::FormatARGB32 : Bitmap::FormatXRGB32);
    if (!bmp->IsValid())
    {
        stbi_image_free(rgba);
        return Refuse(reason, name, "out of memory");
    }
    for (uint32_t y = 0; y < uint32_t(h); ++y)
    {
        const uint8_t* s = rgba + size_t(y) * w * 4;
        uint8_t* d = bmp->Row(y);
        for (int x = 0; x < w; ++x, s += 4, d += 4)
        {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = alpha ? s[3] : 0xFF;
        }
    }
    stbi_image_free(rgba);
    return bmp;
}

void AppendBytes(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

bool SaveWithStb(const Bitmap& bmp, bool tga, std::string& out, std::string& why)
{
    const bool alpha = bmp.GetFormat() == Bitmap::FormatARGB32;
    const int comp = alpha ? 4 : 3;
    const uint32_t bpp = Bitmap::BytesPerPixel(bmp.GetFormat());
    std::vector<uint8_t> rgb(size_t(bmp.GetWidth()) * bmp.GetHeight() * comp);
    for (uint32_t y = 0; y < bmp.GetHeight(); ++y)
        for (uint32_t x = 0; x < bmp.GetWidth(); ++x)
        {
            const uint8_t* s = bmp.Row(y) + x * bpp;
            uint8_t* d = &rgb[(size_t(y) * bmp.GetWidth() + x) * comp];
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            if (alpha) d[3] = s[3];
        }
    const int ok =
        tga ? stbi_write_tga_to_func(AppendBytes, &out, int(bmp.GetWidth()), int(bmp.GetHeight()), comp, rgb.data())
            : stbi_write_bmp_to_func(AppendBytes, &out, int(bmp.GetWidth()), int(bmp.GetHeight()), comp, rgb.data());
    if (!ok) why = "the image encoder failed";
    return ok != 0;
}

}  // namespace

std::unique_ptr<Bitmap> Bitmap::LoadFromMemory(const uint8_t* bytes, size_t size, std::string_view name, String& reason)
{
    if (bytes == nullptr || size == 0) return Refuse(reason, name, "empty file");
    if (size > kMaxImageFileBytes || size > size_t(INT32_MAX)) return Refuse(reason, name, "file too large");
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(bytes, pngSignature, 8) == 0) return LoadPng(bytes, size, name, reason);
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return LoadJpeg(bytes, size, name, reason);
    std::string why;
    bool alpha = false;
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
    {
        if (!CheckBmp(bytes, size, why, alpha)) return Refuse(reason, name, why);
        return LoadWithStb(bytes, size, alpha, name, reason);
    }
    // TGA has no signature: what is no other format is taken for one and must pass its checks.
    if (!CheckTga(bytes, size, why, alpha)) return Refuse(reason, name, why);
    return LoadWithStb(bytes, size, alpha, name, reason);
}

std::unique_ptr<Bitmap> Bitmap::Load(std::string_view path, String& reason)
{
    const int64_t size = File::GetSize(path);
    if (size < 0 || File::IsDirectory(path)) return Refuse(reason, path, "file not found");
    if (uint64_t(size) > kMaxImageFileBytes) return Refuse(reason, path, "file too large");
    std::string bytes;
    if (!File::ReadFile(path, bytes, kMaxImageFileBytes)) return Refuse(reason, path, File::LastError().message);
    return LoadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path, reason);
}

bool Bitmap::ReadSize(std::string_view path, uint32_t& width, uint32_t& height)
{
    // Only a regular file is read, opened without waiting: a FIFO named as an image never holds the reader.
    int fd = -1;
    if (Platform::OpenRegularFile(std::string(path), fd) != Platform::RegularFileStatus::kOK) return false;
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr)
    {
        ::close(fd);
        return false;
    }
    int w = 0, h = 0, comp = 0;
    const int known = stbi_info_from_file(file, &w, &h, &comp);
    std::fclose(file);
    if (!known || w <= 0 || h <= 0) return false;
    width = uint32_t(w);
    height = uint32_t(h);
    return true;
}

bool Bitmap::Encode(std::string_view path, std::string& out, String* reason) const
{
    if (format_ == FormatGrey8 && IsValid())
    {
        // Grey is written as colour: every writer takes 24- and 32-bit pixels.
        Bitmap colour(width_, height_, FormatXRGB32);
        if (colour.IsValid() && colour.CopyImage(*this, 0, 0)) return colour.Encode(path, out, reason);
    }
    out.clear();
    std::string why;
    const File::Path p(path);
    bool ok = false;
    if (BytesPerPixel(format_) == 0 || !IsValid())
        why = "only pixel images can be saved";
    else if (p.IsExt("png"))
        ok = SavePng(*this, out, why);
    else if (p.IsExt("jpg") || p.IsExt("jpeg"))
        ok = SaveJpeg(*this, out, why);
    else if (p.IsExt("tga"))
        ok = SaveWithStb(*this, true, out, why);
    else if (p.IsExt("bmp"))
        ok = SaveWithStb(*this, false, out, why);
    else
        why = "unknown image file extension";
    if (!ok && reason != nullptr) *reason = String::Format("%.*s: %s", int(path.size()), path.data(), why.c_str());
    return ok;
}

bool Bitmap::Save(std::string_view path, String* reason) const
{
    std::string out;
    if (!Encode(path, out, reason)) return false;
    if (File::WriteFileReplacing(path, out)) return true;
    if (reason != nullptr)
        *reason = String::Format("%.*s: %s", int(path.size()), path.data(), File::LastError().message.c_str());
    return false;
}

}  // namespace Orvo
