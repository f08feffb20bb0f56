#pragma once
// The reply to one of the client's web requests, and the request id it is filed under.
#include "engine/FilePath.h"
#include "engine/PString.h"
#include "engine/String.h"

#include <cstdint>

// Two words compared high word first.
struct VADRequestId
{
    uint32_t high = 0;
    uint32_t low = 0;

    friend bool operator<(const VADRequestId& a, const VADRequestId& b)
    {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    friend bool operator==(const VADRequestId& a, const VADRequestId& b) { return a.high == b.high && a.low == b.low; }
};

// result[0] of a request that failed because the link went away.
constexpr uint32_t kVADWebResultLinkDropped = 0xFFFFFFFFu;

class VADRequestReply
{
public:
    uint8_t complete = 0;            // the reply has arrived
    uint32_t result[3] = {0, 0, 0};  // result[0]: 0 ok, else failure; the others request-specific
    Orvo::File::Path path;           // a file the request produced (a resolved package, a download)
    Orvo::PString name;              // a name the request produced
    Orvo::String text;               // a text the request produced (a message on failure)

    VADRequestReply() = default;
    VADRequestReply(const VADRequestReply&) = default;
    VADRequestReply& operator=(const VADRequestReply&) = default;
};
