#include "textures/codec/CodecBuffer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "textures/codec/HalfFloat.h"
#include "textures/codec/SimdLevel.h"

size_t ValueFormBytes(ValueForm form)
{
    switch (form)
    {
    case ValueForm::Double: return 8;
    case ValueForm::Float: return 4;
    case ValueForm::Half: return 2;
    case ValueForm::U32: return 4;
    case ValueForm::U16: return 2;
    case ValueForm::U8: return 1;
    }
    return 0;
}

namespace {

double ToReal(ValueForm from, const void* src, size_t i)
{
    switch (from)
    {
    case ValueForm::Double: return static_cast<const double*>(src)[i];
    case ValueForm::Float: return static_cast<const float*>(src)[i];
    case ValueForm::Half: return HalfToFloat(static_cast<const uint16_t*>(src)[i]);
    case ValueForm::U32: return static_cast<const uint32_t*>(src)[i] * (1.0 / 4294967296.0);
    case ValueForm::U16: return static_cast<const uint16_t*>(src)[i] / 65535.0;
    case ValueForm::U8: return static_cast<const uint8_t*>(src)[i] / 255.0;
    }
    return 0.0;
}

// Reals outside 0..1 (and NaN) are clamped rather than wrapped into the integer's low bits.
uint32_t RealToUnsigned(double v, double scale, uint32_t maximum)
{
    if (!(v > 0.0)) return 0;
    double s = v * scale + 0.5;
    if (s >= double(maximum)) return maximum;
    return uint32_t(s);
}

}  // namespace

namespace {

// The commonest conversions as plain loops, each element converted exactly as the general loop below does;
// they are inlined into an SSE2, an AVX2 and an AVX-512 function, where the compiler vectorises them at the
// width of each (element by element, no fused multiply-add, so every form gives the same values).
#define VELMAR_LOOP inline __attribute__((always_inline))

VELMAR_LOOP void U8ToFloat(const uint8_t* s, float* d, size_t n)
{
    for (size_t i = 0; i < n; ++i) d[i] = float(s[i] / 255.0);
}
VELMAR_LOOP void U16ToFloat(const uint16_t* s, float* d, size_t n)
{
    for (size_t i = 0; i < n; ++i) d[i] = float(s[i] / 65535.0);
}
// RealToUnsigned for floats, without branches.
VELMAR_LOOP void FloatToU8(const float* s, uint8_t* d, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        const double v = s[i], t = v * 255.0 + 0.5;
        d[i] = uint8_t(!(v > 0.0) ? 0 : t >= 255.0 ? 255 : int32_t(t));
    }
}
VELMAR_LOOP void FloatToU16(const float* s, uint16_t* d, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        const double v = s[i], t = v * 65535.0 + 0.5;
        d[i] = uint16_t(!(v > 0.0) ? 0 : t >= 65535.0 ? 65535 : int32_t(t));
    }
}

struct FastConversion
{
    ValueForm from, to;
    void (*forms[3])(const void*, void*, size_t);  // SSE2, AVX2, AVX-512
};

#define VELMAR_FORMS(name, From, To)                                                                                   \
    void name##Sse2(const void* s, void* d, size_t n) { name(static_cast<const From*>(s), static_cast<To*>(d), n); }   \
    __attribute__((target("avx2"))) void name##Avx2(const void* s, void* d, size_t n)                                  \
    {                                                                                                                  \
        name(static_cast<const From*>(s), static_cast<To*>(d), n);                                                     \
    }                                                                                                                  \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void name##Avx512(const void* s, void* d, size_t n)  \
    {                                                                                                                  \
        name(static_cast<const From*>(s), static_cast<To*>(d), n);                                                     \
    }
VELMAR_FORMS(U8ToFloat, uint8_t, float)
VELMAR_FORMS(U16ToFloat, uint16_t, float)
VELMAR_FORMS(FloatToU8, float, uint8_t)
VELMAR_FORMS(FloatToU16, float, uint16_t)
#undef VELMAR_FORMS
#undef VELMAR_LOOP

const FastConversion kFastConversions[] = {
    {ValueForm::U8, ValueForm::Float, {U8ToFloatSse2, U8ToFloatAvx2, U8ToFloatAvx512}},
    {ValueForm::U16, ValueForm::Float, {U16ToFloatSse2, U16ToFloatAvx2, U16ToFloatAvx512}},
    {ValueForm::Float, ValueForm::U8, {FloatToU8Sse2, FloatToU8Avx2, FloatToU8Avx512}},
    {ValueForm::Float, ValueForm::U16, {FloatToU16Sse2, FloatToU16Avx2, FloatToU16Avx512}},
};

}  // namespace

void ConvertValuesForm(SimdLevel level, ValueForm from, const void* src, ValueForm to, void* dst, size_t n)
{
    for (const FastConversion& c : kFastConversions)
    {
        if (c.from == from && c.to == to)
        {
            c.forms[int(level)](src, dst, n);
            return;
        }
    }
    ConvertValues(from, src, to, dst, n);
}

void ConvertValues(ValueForm from, const void* src, ValueForm to, void* dst, size_t n)
{
    if (from == to)
    {
        std::memcpy(dst, src, n * ValueFormBytes(from));
        return;
    }
    const auto* s8 = static_cast<const uint8_t*>(src);
    const auto* s16 = static_cast<const uint16_t*>(src);
    const auto* s32 = static_cast<const uint32_t*>(src);
    for (size_t i = 0; i < n; ++i)
    {
        switch (to)
        {
        case ValueForm::U8:
        {
            uint32_t v;
            // Integer narrowing rounds to the nearest level, so that widening then narrowing gives
            // the value back (a carry from the low half would turn 170 -> 0xAAAA into 171).
            if (from == ValueForm::U16)
            {
                v = uint32_t((uint64_t(s16[i]) * 255 + 32767) / 65535);
            }
            else if (from == ValueForm::U32)
            {
                v = uint32_t((uint64_t(s32[i]) * 255 + 0x7FFFFFFFull) / 0xFFFFFFFFull);
            }
            else
            {
                v = RealToUnsigned(ToReal(from, src, i), 255.0, 255);
            }
            static_cast<uint8_t*>(dst)[i] = uint8_t(v);
            break;
        }
        case ValueForm::U16:
        {
            uint32_t v;
            if (from == ValueForm::U8)
            {
                v = s8[i] * 257u;
            }
            else if (from == ValueForm::U32)
            {
                v = uint32_t((uint64_t(s32[i]) * 65535 + 0x7FFFFFFFull) / 0xFFFFFFFFull);
            }
            else
            {
                v = RealToUnsigned(ToReal(from, src, i), 65535.0, 65535);
            }
            static_cast<uint16_t*>(dst)[i] = uint16_t(v);
            break;
        }
        case ValueForm::U32:
        {
            uint32_t v;
            if (from == ValueForm::U8)
                v = s8[i] * 0x01010101u;
            else if (from == ValueForm::U16)
                v = uint32_t(s16[i]) << 16 | s16[i];
            else  // 1.0 and above saturate to the largest value
                v = RealToUnsigned(ToReal(from, src, i), 4294967296.0, 0xFFFFFFFFu);
            static_cast<uint32_t*>(dst)[i] = v;
            break;
        }
        case ValueForm::Half: static_cast<uint16_t*>(dst)[i] = FloatToHalf(float(ToReal(from, src, i))); break;
        case ValueForm::Float: static_cast<float*>(dst)[i] = float(ToReal(from, src, i)); break;
        case ValueForm::Double: static_cast<double*>(dst)[i] = ToReal(from, src, i); break;
        }
    }
}

CodecBuffer::CodecBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
    : width_(width), height_(height), pitch_(pitch), externalData_(data != nullptr), data_(static_cast<uint8_t*>(data))
{}

CodecBuffer::~CodecBuffer()
{
    if (!externalData_) std::free(data_);
}

namespace {

// Swaps values 0 and 2 of every pixel: the U8 form is blue-first, every other form red-first.
void SwapRedBlue(void* values, size_t pixels, size_t valueBytes)
{
    auto* p = static_cast<uint8_t*>(values);
    uint8_t tmp[8];
    for (size_t i = 0; i < pixels; ++i, p += 4 * valueBytes)
    {
        std::memcpy(tmp, p, valueBytes);
        std::memcpy(p, p + 2 * valueBytes, valueBytes);
        std::memcpy(p + 2 * valueBytes, tmp, valueBytes);
    }
}

bool NeedsSwap(ValueForm a, ValueForm b) { return (a == ValueForm::U8) != (b == ValueForm::U8); }

// Position of a channel within an interleaved pixel of a form.
int ChannelSlot(int channel, ValueForm form)
{
    if (form == ValueForm::U8 && channel != 1 && channel != 3) return 2 - channel;
    return channel;
}

}  // namespace

bool CodecBuffer::ReadBlock(ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out)
{
    if (!HasNativeForm() || w > 4 || h > 4) return false;
    const ValueForm native = NativeForm();
    if (form == native) return ReadNative(x, y, w, h, out);
    alignas(8) uint8_t tmp[16 * 4 * 8];
    if (!ReadNative(x, y, w, h, tmp)) return false;
    ConvertValuesForm(CodecSimdLevel(), native, tmp, form, out, size_t(w) * h * 4);
    if (NeedsSwap(native, form)) SwapRedBlue(out, size_t(w) * h, ValueFormBytes(form));
    return true;
}

bool CodecBuffer::WriteBlock(ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, const void* in)
{
    if (!HasNativeForm() || w > 4 || h > 4) return false;
    const ValueForm native = NativeForm();
    if (form == native) return WriteNative(x, y, w, h, in);
    alignas(8) uint8_t tmp[16 * 4 * 8];
    ConvertValuesForm(CodecSimdLevel(), form, in, native, tmp, size_t(w) * h * 4);
    if (NeedsSwap(native, form)) SwapRedBlue(tmp, size_t(w) * h, ValueFormBytes(native));
    return WriteNative(x, y, w, h, tmp);
}

bool CodecBuffer::ReadChannel(int channel, ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out)
{
    if (!HasNativeForm() || channel < 0 || channel > 3 || w > 4 || h > 4) return false;
    const ValueForm native = NativeForm();
    const size_t vb = ValueFormBytes(native);
    alignas(8) uint8_t block[16 * 4 * 8], values[16 * 8];
    if (!ReadNative(x, y, w, h, block)) return false;
    const int slot = ChannelSlot(channel, native);
    for (size_t i = 0; i < size_t(w) * h; ++i) std::memcpy(values + i * vb, block + (i * 4 + slot) * vb, vb);
    ConvertValuesForm(CodecSimdLevel(), native, values, form, out, size_t(w) * h);
    return true;
}

bool CodecBuffer::WriteChannel(int channel, ValueForm form, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                               const void* in)
{
    if (!HasNativeForm() || channel < 0 || channel > 3 || w > 4 || h > 4) return false;
    const ValueForm native = NativeForm();
    const size_t vb = ValueFormBytes(native);
    alignas(8) uint8_t block[16 * 4 * 8], values[16 * 8];
    if (!ReadNative(x, y, w, h, block)) return false;
    ConvertValuesForm(CodecSimdLevel(), form, in, native, values, size_t(w) * h);
    const int slot = ChannelSlot(channel, native);
    for (size_t i = 0; i < size_t(w) * h; ++i) std::memcpy(block + (i * 4 + slot) * vb, values + i * vb, vb);
    return WriteNative(x, y, w, h, block);
}

bool CodecBuffer::ReadCompressedBlock(uint32_t, uint32_t, void*, uint32_t) { return false; }
bool CodecBuffer::WriteCompressedBlock(uint32_t, uint32_t, const void*, uint32_t) { return false; }

void CodecBuffer::ConvertFrom(CodecBuffer& source)
{
    if (source.width_ != width_ || source.height_ != height_) return;
    const ValueForm form = HasNativeForm() ? NativeForm() : ValueForm::Float;
    alignas(8) uint8_t block[16 * 4 * 8];
    for (uint32_t y = 0; y < height_; y += 4)
        for (uint32_t x = 0; x < width_; x += 4)
            if (source.ReadBlock(form, x, y, 4, 4, block)) WriteBlock(form, x, y, 4, 4, block);
}
