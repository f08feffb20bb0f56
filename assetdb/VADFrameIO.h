#pragma once
// Frames over a loopback socket, for both ends of the daemon link.
#include "assetdb/VADProtocol.h"
#include "platform/Socket.h"

enum class VADFrameRead
{
    kOk,
    kClosed,    // the peer went away, or a time-out / error cut the frame short
    kTooLarge,  // the header announced more than kVADMaxPayload: the connection must be dropped
};

// Reads one whole frame. The payload grows as its bytes arrive, so a lying header cannot make the reader
// allocate what never comes. timeoutMs bounds each piece (Platform::Socket::kForever: no bound). A header
// announcing more than maxLength (at most kVADMaxPayload) gives kTooLarge.
VADFrameRead VADReceiveFrame(const Platform::Socket& s, VADFrameHeader& header, VADBytes& payload,
                             int timeoutMs = Platform::Socket::kForever, uint32_t maxLength = kVADMaxPayload);
// The hello and its answer are small: a peer announcing more is not speaking this protocol.
constexpr uint32_t kVADMaxHelloPayload = 4096;
// Sends one whole frame; false when it did not all go out in time (or the payload is too large).
bool VADSendFrame(const Platform::Socket& s, uint32_t code, uint32_t transaction, const uint8_t* payload, size_t n,
                  int timeoutMs);
inline bool VADSendFrame(const Platform::Socket& s, uint32_t code, uint32_t transaction, const VADBytes& payload,
                         int timeoutMs)
{
    return VADSendFrame(s, code, transaction, payload.data(), payload.size(), timeoutMs);
}
