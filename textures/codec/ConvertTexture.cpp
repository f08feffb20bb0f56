// Conversion dispatcher: plain copy, layout conversion, compression (over worker threads),
// decompression, or transcoding between two block formats.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "textures/codec/CodecBuffer.h"
#include "textures/codec/CodecTexture.h"
#include "textures/codec/ConvertTexture.h"
#include "textures/codec/FormatTable.h"
#include "textures/codec/FpGuard.h"
#include "textures/codec/SimdLevel.h"
#include "textures/codec/TextureCodec.h"
#include "textures/codec/WorkerPool.h"

namespace {

using CodecPtr = std::unique_ptr<TextureCodec>;
using BufferPtr = std::unique_ptr<CodecBuffer>;

CodecResult MapOpResult(uint32_t r)
{
    if (r == CODEC_OP_DONE) return CODEC_OK;
    if (r == CODEC_OP_STOPPED) return CODEC_STOPPED;
    return CODEC_FAILED;
}

void ApplyOptions(TextureCodec& codec, const CodecOptions* options)
{
    if (options == nullptr || options->size != kCodecOptionsSize) return;
    const double w[3] = {options->weightR, options->weightG, options->weightB};
    if (options->useChannelWeighting != 0 && (w[0] > 0.0 || w[1] > 0.0 || w[2] > 0.0))
    {
        codec.SetParameter("UseChannelWeighting", int32_t(1));
        static const char* const kNames[3] = {"WeightR", "WeightG", "WeightB"};
        for (int c = 0; c < 3; ++c) codec.SetParameter(kNames[c], w[c] > 0.01 ? float(w[c]) : 0.01f);
    }
    codec.SetParameter("UseAdaptiveWeighting", int32_t(options->useAdaptiveWeighting));
    codec.SetParameter("DXT1UseAlpha", int32_t(options->dxt1UseAlpha));
    codec.SetParameter("AlphaThreshold", int32_t(options->alphaThreshold));
    codec.SetParameter("CompressionSpeed", int32_t(options->compressionSpeed));
}

BufferPtr PixelBufferOver(const CodecTextureDesc& d, uint32_t height, void* data)
{
    return BufferPtr(CreateCodecBuffer(FormatToBufferType(d.format), d.width, height, d.pitch, data));
}

CodecResult CompressTextureSingle(const CodecTextureDesc& src, const CodecTextureDesc& dst, const CodecOptions* options,
                                  CodecProgressCallback callback, uint32_t user1, uint32_t user2, uint32_t codecType)
{
    CodecPtr codec(CreateTextureCodec(codecType));
    if (!codec) return CODEC_NO_CODEC;
    ApplyOptions(*codec, options);
    BufferPtr source = PixelBufferOver(src, src.height, src.data);
    BufferPtr destination(codec->CreateBuffer(dst.width, dst.height, dst.pitch, dst.data));
    if (!source || !destination) return CODEC_FAILED;
    FpExceptionMask mask;
    return MapOpResult(codec->Compress(*source, *destination, callback, user1, user2));
}

// A run of whole block rows (the image's last one may end inside a block row) and the codec's answer on it.
struct Piece
{
    BufferPtr source;
    BufferPtr destination;
    uint32_t exitCode = 0;
};

void CompressPiece(TextureCodec& codec, Piece& piece, CodecProgressCallback callback, uint32_t user1,
                   uint32_t user2) noexcept
{
    try
    {
        piece.exitCode = codec.Compress(*piece.source, *piece.destination, callback, user1, user2);
    }
    catch (...)
    {
        piece.exitCode = CODEC_OP_FAILED;
    }
}

// The slices of CompressTextureThreaded one after another on this thread, for images too small to repay
// threads: the same rows per slice, progress reported per slice as there, and every slice compressed even
// after one was stopped, so the bytes and reports are the same. One codec serves all slices in turn (the
// codecs keep no state from one Compress to the next).
CodecResult CompressSlicesHere(const CodecTextureDesc& src, const CodecTextureDesc& dst, const CodecOptions* options,
                               CodecProgressCallback callback, uint32_t user1, uint32_t user2, uint32_t codecType,
                               uint32_t n)
{
    CodecPtr codec(CreateTextureCodec(codecType));
    if (!codec) return CODEC_NO_CODEC;
    ApplyOptions(*codec, options);
    auto* sourcePointer = static_cast<uint8_t*>(src.data);
    auto* destinationPointer = static_cast<uint8_t*>(dst.data);
    uint32_t first = 0;
    FpExceptionMask mask;
    for (uint32_t rows : SliceRows(dst.height, n, codec->GetBlockDimension()))
    {
        if (rows == 0) continue;
        BufferPtr source = PixelBufferOver(src, rows, sourcePointer);
        BufferPtr destination(codec->CreateBuffer(dst.width, rows, dst.pitch, destinationPointer));
        if (!source || !destination) return CODEC_FAILED;
        const uint32_t r = codec->Compress(*source, *destination, callback, user1, user2);
        if (first == 0) first = r;
        sourcePointer += CodecTextureSizeForFormat(src.format, src.width, rows, src.pitch);
        destinationPointer += CompressedTextureSize(codecType, dst.width, rows);
    }
    return MapOpResult(first);
}

}  // namespace

bool RepaysThreads(uint32_t codecType, const CodecOptions* options, uint32_t width, uint32_t height)
{
    // Rough cost of one block: the fast paths of the DXTC family (CompressionSpeed 1 or 2) take some tens of
    // nanoseconds, every other encoder a microsecond or more. Handing a slice to a waiting thread and
    // collecting it costs some tens of microseconds; the work must be well above that.
    const bool dxtc = codecType >= 2 && codecType <= 14;
    const bool fast = dxtc && codecType != 14 && options != nullptr && options->size == kCodecOptionsSize &&
                      (options->compressionSpeed == 1 || options->compressionSpeed == 2);
    const double blockNanoseconds = fast ? 60.0 : 1000.0;
    const double blocks = double((width + 3) / 4) * double((height + 3) / 4);
    return blocks * blockNanoseconds >= 100000.0;
}

std::vector<uint32_t> SliceRows(uint32_t height, uint32_t workers, uint32_t blockDimension)
{
    std::vector<uint32_t> rows(workers, 0);
    const uint32_t k = std::max(blockDimension, 1u);
    uint32_t rowsLeft = height;
    for (uint32_t i = 0; i < workers; ++i)
    {
        if (workers - i > 1)
        {
            rows[i] = std::min(((rowsLeft / (workers - i)) + k - 1) / k * k, rowsLeft);
        }
        else
        {
            rows[i] = rowsLeft;
        }
        rowsLeft -= rows[i];
    }
    return rows;
}

std::vector<uint32_t> WorkUnitRows(uint32_t height, uint32_t workers, uint32_t blockDimension)
{
    std::vector<uint32_t> rows;
    const uint32_t k = std::max(blockDimension, 1u);
    const uint32_t share = 4 * std::max(workers, 1u);
    uint32_t blockRowsLeft = (height + k - 1) / k;
    uint32_t rowsLeft = height;
    while (rowsLeft > 0)
    {
        const uint32_t take = std::max((blockRowsLeft + share - 1) / share, 1u);
        rows.push_back(std::min(take * k, rowsLeft));
        blockRowsLeft -= take;
        rowsLeft -= rows.back();
    }
    return rows;
}

CodecResult CompressTextureThreaded(const CodecTextureDesc& src, const CodecTextureDesc& dst,
                                    const CodecOptions* options, CodecProgressCallback callback, uint32_t user1,
                                    uint32_t user2, uint32_t codecType, uint32_t workers, bool onThisThread)
{
    const uint32_t n = std::clamp(workers, 1u, kMaxCompressionWorkers);
    if (onThisThread) return CompressSlicesHere(src, dst, options, callback, user1, user2, codecType, n);
    // Every codec and buffer is set up before any work starts, so a failure leaves nothing running.
    std::vector<CodecPtr> codecs(n);  // one per worker
    for (CodecPtr& codec : codecs)
    {
        codec.reset(CreateTextureCodec(codecType));
        if (!codec) return CODEC_NO_CODEC;
        ApplyOptions(*codec, options);
    }
    // With a progress callback each worker's codec takes its whole slice, so that each slice reports its
    // own rows from one thread and a stop ends that slice's work. Without one nothing but the bytes can be
    // seen, and they do not depend on which codec encodes a block: the slices' rows are cut into work units,
    // large ones first, that the workers take in turn, so that none waits idle on a slow slice.
    const uint32_t k = codecs[0]->GetBlockDimension();
    const bool slices = callback != nullptr;
    const std::vector<uint32_t> rows = slices ? SliceRows(dst.height, n, k) : WorkUnitRows(dst.height, n, k);
    std::vector<Piece> pieces;  // the runs with rows, in order
    pieces.reserve(rows.size());
    auto* sourcePointer = static_cast<uint8_t*>(src.data);
    auto* destinationPointer = static_cast<uint8_t*>(dst.data);
    for (uint32_t r : rows)
    {
        if (r == 0) continue;
        Piece& piece = pieces.emplace_back();
        piece.source = PixelBufferOver(src, r, sourcePointer);
        piece.destination.reset(codecs[0]->CreateBuffer(dst.width, r, dst.pitch, destinationPointer));
        if (!piece.source || !piece.destination) return CODEC_FAILED;
        sourcePointer += CodecTextureSizeForFormat(src.format, src.width, r, src.pitch);
        destinationPointer += CompressedTextureSize(codecType, dst.width, r);
    }
    std::atomic<uint32_t> next{0};
    auto task = [&](uint32_t worker) {
        // The floating-point mask and the vector register state are per thread: each task sets its own.
        ClearUpperVectorState();
        FpExceptionMask mask;
        TextureCodec& codec = *codecs[worker];
        if (slices)
        {
            CompressPiece(codec, pieces[worker], callback, user1, user2);
            return;
        }
        for (uint32_t i = next.fetch_add(1); i < pieces.size(); i = next.fetch_add(1))
            CompressPiece(codec, pieces[i], nullptr, 0, 0);
    };
    RunCodecTasks(uint32_t(std::min<size_t>(pieces.size(), n)), task);
    // A stop asked on one slice does not stop the others; the first answer in slice order counts.
    for (const Piece& piece : pieces)
        if (piece.exitCode != 0) return MapOpResult(piece.exitCode);
    return CODEC_OK;
}

namespace {

CodecResult Decompress(const CodecTextureDesc& src, const CodecTextureDesc& dst, uint32_t codecType)
{
    CodecPtr codec(CreateTextureCodec(codecType));
    if (!codec) return CODEC_NO_CODEC;
    BufferPtr source(codec->CreateBuffer(src.width, src.height, src.pitch, src.data));
    BufferPtr destination = PixelBufferOver(dst, dst.height, dst.data);
    if (!source || !destination) return CODEC_FAILED;
    FpExceptionMask mask;
    return MapOpResult(codec->Decompress(*source, *destination));
}

CodecResult Transcode(const CodecTextureDesc& src, const CodecTextureDesc& dst, CodecProgressCallback callback,
                      uint32_t user1, uint32_t user2, uint32_t sourceType, uint32_t destinationType)
{
    CodecPtr a(CreateTextureCodec(sourceType));
    CodecPtr b(CreateTextureCodec(destinationType));
    if (!a || !b) return CODEC_NO_CODEC;
    BufferPtr source(a->CreateBuffer(src.width, src.height, src.pitch, src.data));
    BufferPtr intermediate(CreateCodecBuffer(15, dst.width, dst.height, 0, nullptr));
    BufferPtr destination(b->CreateBuffer(dst.width, dst.height, dst.pitch, dst.data));
    if (!source || !intermediate || !destination) return CODEC_FAILED;
    FpExceptionMask mask;
    uint32_t r = a->Decompress(*source, *intermediate);
    if (r == CODEC_OP_DONE) r = b->Compress(*intermediate, *destination, callback, user1, user2);
    return MapOpResult(r);
}

}  // namespace

CodecResult ConvertCodecTexture(const CodecTextureDesc* source, const CodecTextureDesc* destination,
                                const CodecOptions* options, CodecProgressCallback callback, uint32_t user1,
                                uint32_t user2)
{
    // Whatever the caller ran before, the SSE code below must not pay for upper vector halves left in use.
    ClearUpperVectorState();
    if (CodecResult r = ValidateCodecTexture(source, true)) return r;
    if (CodecResult r = ValidateCodecTexture(destination, false)) return r;
    const CodecTextureDesc& src = *source;
    const CodecTextureDesc& dst = *destination;
    if (src.width != dst.width || src.height != dst.height) return CODEC_SIZE_MISMATCH;
    const uint32_t s = FormatToCodecType(src.format), d = FormatToCodecType(dst.format);
    if (s == 0 || d == 0) return CODEC_BAD_SOURCE_FORMAT;

    if (s == d)
    {
        // Only the same layout is copied: two pitches of one block format have no buffer to convert
        // through, and end below with 8.
        if (src.format == dst.format && src.pitch == dst.pitch)
        {
            std::memmove(dst.data, src.data, CodecTextureSize(source));
            return CODEC_OK;
        }
        BufferPtr from = PixelBufferOver(src, src.height, src.data);
        BufferPtr to = PixelBufferOver(dst, dst.height, dst.data);
        if (!from || !to) return CODEC_FAILED;
        FpExceptionMask mask;
        to->ConvertFrom(*from);
        return CODEC_OK;
    }
    if (s == 1)
    {
        if ((options != nullptr && options->disableMultithreading != 0) || GetProcessorCount() <= 1)
            return CompressTextureSingle(src, dst, options, callback, user1, user2, d);
        return CompressTextureThreaded(src, dst, options, callback, user1, user2, d, GetProcessorCount(),
                                       !RepaysThreads(d, options, dst.width, dst.height));
    }
    if (d == 1) return Decompress(src, dst, s);
    return Transcode(src, dst, callback, user1, user2, s, d);
}
