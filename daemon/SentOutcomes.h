#pragma once
// What one connection made of the requests it received without transaction id (asynchronous ones, never answered
// themselves), for request 237: each has an ordinal on the connection (1 for the first after the hello, in the order
// they arrived, which is the order the client sent them), the count handled so far, and the statuses of the last
// kVADConfirmListMax that failed. Used by the connection's own thread only.
#include "assetdb/VADPayloads.h"

#include <cstdint>
#include <deque>
#include <utility>

class SentOutcomes
{
public:
    // The next request without id was handled with `status` (a failure when negative).
    void Handled(int32_t status);
    // The answer to request 237: the count handled, and the failures kept from ordinal `first` on.
    void Answer(uint64_t first, VADConfirmSentReply& reply) const;

private:
    uint64_t handled_ = 0;
    uint64_t forgottenThrough_ = 0;                    // the last failure no longer kept (0: none)
    std::deque<std::pair<uint64_t, int32_t>> failed_;  // in ordinal order, at most kVADConfirmListMax
};
