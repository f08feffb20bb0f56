#include "assetdb/VADFrameIO.h"

#include <algorithm>

namespace {
constexpr size_t kReceiveChunk = 1u << 20;
}

VADFrameRead VADReceiveFrame(const Platform::Socket& s, VADFrameHeader& header, VADBytes& payload, int timeoutMs,
                             uint32_t maxLength)
{
    payload.clear();
    uint8_t raw[kVADFrameHeaderSize];
    if (s.ReceiveExact(raw, sizeof raw, timeoutMs) != Platform::IoResult::Ok) return VADFrameRead::kClosed;
    header = VADDecodeFrameHeader(raw);
    if (header.length > std::min(maxLength, kVADMaxPayload)) return VADFrameRead::kTooLarge;
    while (payload.size() < header.length)
    {
        size_t at = payload.size();
        size_t n = std::min<size_t>(kReceiveChunk, header.length - at);
        payload.resize(at + n);
        if (s.ReceiveExact(payload.data() + at, n, timeoutMs) != Platform::IoResult::Ok)
        {
            payload.clear();
            return VADFrameRead::kClosed;
        }
    }
    return VADFrameRead::kOk;
}

bool VADSendFrame(const Platform::Socket& s, uint32_t code, uint32_t transaction, const uint8_t* payload, size_t n,
                  int timeoutMs)
{
    if (n > kVADMaxPayload) return false;
    VADBytes frame = VADEncodeFrame(code, transaction, payload, n);
    return s.SendAll(frame.data(), frame.size(), timeoutMs) == Platform::IoResult::Ok;
}
