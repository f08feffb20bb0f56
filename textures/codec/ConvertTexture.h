#pragma once
// Library-internal parts of the conversion dispatcher (ConvertTexture.cpp), open to tests and benchmarks.
#include <cstdint>
#include <vector>

#include "textures/codec/CodecTexture.h"

constexpr uint32_t kMaxCompressionWorkers = 64;

// Rows of each of `workers` slices of an image `height` rows high: the even share of the rows left,
// rounded up to whole block rows of `blockDimension`; the last slice takes the rest. Slices may be 0.
std::vector<uint32_t> SliceRows(uint32_t height, uint32_t workers, uint32_t blockDimension);

// Rows of the work units that `workers` take in turn when no progress is reported: whole block rows, a
// share of the block rows left each (1 / (4 x workers), at least one), so that the units shrink towards the
// end; the last takes the rest.
std::vector<uint32_t> WorkUnitRows(uint32_t height, uint32_t workers, uint32_t blockDimension);

// Whether compressing a width x height image to codecType repays spreading it over threads.
bool RepaysThreads(uint32_t codecType, const CodecOptions* options, uint32_t width, uint32_t height);

// Compression from an uncompressed source to the block format of codecType, cut into `workers`
// slices (clamped to 1..64), each compressed by its own codec as one task of the worker pool, or, with
// onThisThread (for images too small to repay threads), one after another on the calling thread: the same
// bytes and progress reports either way. Without a callback the pool's tasks, one codec each, take the
// work units of WorkUnitRows in turn instead: the same bytes. The descriptors must have passed ValidateCodecTexture.
CodecResult CompressTextureThreaded(const CodecTextureDesc& src, const CodecTextureDesc& dst,
                                    const CodecOptions* options, CodecProgressCallback callback, uint32_t user1,
                                    uint32_t user2, uint32_t codecType, uint32_t workers, bool onThisThread = false);
