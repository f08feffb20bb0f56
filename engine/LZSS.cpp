#include "engine/LZSS.h"

#include <cstring>
#include <limits>

namespace Orvo {

namespace {

constexpr size_t kHashBits = 13;
constexpr size_t kHashSize = size_t(1) << kHashBits;
constexpr int32_t kNoPos = -1;
// How many earlier positions of the same hash are tried; keeps the worst case linear.
constexpr int kMaxChain = 48;

inline uint32_t Hash3(const uint8_t* p)
{
    uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

bool LZSSCompress::Compress(const void* data, size_t size, std::vector<uint8_t>& out)
{
    out.clear();
    if (size > std::numeric_limits<uint32_t>::max()) return false;
    const uint8_t* in = static_cast<const uint8_t*>(data);

    out.reserve(kHeaderSize + size + size / 8 + 1);
    const uint32_t n32 = static_cast<uint32_t>(size);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n32 >> (8 * i)));
    if (size == 0) return true;

    // Hash chains: head[h] is the latest position with hash h, prev[pos % window] the one before it.
    std::vector<int32_t> head(kHashSize, kNoPos);
    std::vector<int32_t> prev(kWindowSize, kNoPos);
    auto insert = [&](size_t pos) {
        if (pos + kMinMatch > size) return;
        uint32_t h = Hash3(in + pos);
        prev[pos % kWindowSize] = head[h];
        head[h] = static_cast<int32_t>(pos);
    };

    size_t pos = 0;
    size_t flagAt = 0;
    int item = 8;
    while (pos < size)
    {
        if (item == 8)
        {
            flagAt = out.size();
            out.push_back(0);
            item = 0;
        }
        size_t bestLen = 0, bestDist = 0;
        if (pos + kMinMatch <= size)
        {
            const size_t maxLen = std::min(kMaxMatch, size - pos);
            int32_t cand = head[Hash3(in + pos)];
            for (int chain = 0; cand != kNoPos && chain < kMaxChain; ++chain)
            {
                size_t c = static_cast<size_t>(cand);
                size_t dist = pos - c;
                if (dist == 0 || dist > kWindowSize) break;
                // A candidate that cannot beat the best so far fails on this byte already.
                if (bestLen > 0 && in[c + bestLen] != in[pos + bestLen])
                {
                    int32_t skip = prev[c % kWindowSize];
                    if (skip == kNoPos || static_cast<size_t>(skip) >= c) break;
                    cand = skip;
                    continue;
                }
                size_t len = 0;
                while (len < maxLen && in[c + len] == in[pos + len]) ++len;
                if (len > bestLen)
                {
                    bestLen = len;
                    bestDist = dist;
                    if (len == maxLen) break;
                }
                int32_t next = prev[c % kWindowSize];
                // Entries overwritten by newer positions point forward; the chain ends there.
                if (next == kNoPos || static_cast<size_t>(next) >= c) break;
                cand = next;
            }
        }
        if (bestLen >= kMinMatch)
        {
            uint16_t word = static_cast<uint16_t>(((bestLen - kMinMatch) << 12) | (bestDist - 1));
            out[flagAt] |= static_cast<uint8_t>(1u << item);
            out.push_back(static_cast<uint8_t>(word & 0xFF));
            out.push_back(static_cast<uint8_t>(word >> 8));
            for (size_t k = 0; k < bestLen; ++k) insert(pos + k);
            pos += bestLen;
        }
        else
        {
            out.push_back(in[pos]);
            insert(pos);
            ++pos;
        }
        ++item;
    }
    return true;
}

bool LZSSCompress::ReadUncompressedSize(const void* data, size_t size, uint32_t& out)
{
    if (!data || size < kHeaderSize) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    return true;
}

bool LZSSCompress::Decompress(const void* data, size_t size, std::vector<uint8_t>& out, uint64_t maxSize)
{
    out.clear();
    uint32_t total = 0;
    if (!ReadUncompressedSize(data, size, total) || total > maxSize) return false;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    size_t ip = kHeaderSize;

    // Every item yields at least one byte from at most 3 input bytes, so a block this short cannot
    // possibly hold `total` bytes; refusing it here keeps a forged size from costing memory.
    if (total > 0 && (size - ip) * 18 < total) return false;
    out.resize(total);
    size_t op = 0;
    while (op < total)
    {
        if (ip >= size) break;
        uint8_t flags = in[ip++];
        for (int item = 0; item < 8 && op < total; ++item)
        {
            if (flags & (1u << item))
            {
                if (size - ip < 2) goto fail;
                uint16_t word = static_cast<uint16_t>(in[ip] | (in[ip + 1] << 8));
                ip += 2;
                size_t dist = (word & 0x0FFFu) + 1;
                size_t len = (word >> 12) + kMinMatch;
                if (dist > op || len > total - op) goto fail;
                const uint8_t* src = out.data() + op - dist;
                uint8_t* dst = out.data() + op;
                if (dist >= len)
                    std::memcpy(dst, src, len);
                else  // an overlapping match repeats the bytes it produces, so byte by byte
                    for (size_t k = 0; k < len; ++k) dst[k] = src[k];
                op += len;
            }
            else
            {
                if (ip >= size) goto fail;
                out[op++] = in[ip++];
            }
        }
    }
    if (op == total && ip == size) return true;
fail:
    out.clear();
    return false;
}

}  // namespace Orvo
