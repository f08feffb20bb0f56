#pragma once
// Requests the daemon does not answer (Async rows of VADRequestTable.def: transaction id 0, no reply), sent and then
// confirmed: request 237 on the link they went over answers, once everything sent before it there was carried out,
// which of them failed and how. Only then does a caller know the daemon did what it was asked; a daemon that stops
// first leaves them unconfirmed (kVADStatusLinkDropped), and they may not have been carried out.
//
// A batch sends over one link, the one its first request went over: a daemon started after that one stopped knows
// nothing of what was sent to it, so a later request of the batch is never carried to another daemon (it fails
// unsent). Each request keeps its index; Confirm gives each one sent since the last Confirm its outcome.
#include "assetdb/VADConnection.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADStatus.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class VADSentBatch
{
public:
    explicit VADSentBatch(VADConnection* link) : link_(link) {}

    // Sends one request; returns its index. One that could not be sent has its outcome at once (the failure).
    template <uint32_t Code>
    size_t Send(const typename VADRequestTypes<Code>::Request& request)
    {
        VADSentAt at;
        const VADStatus sent = VADSend<Code>(link_, request, linkNumber_, &at);
        return Add(sent, at);
    }

    // Asks the daemon what became of every request sent since the last Confirm, and gives each its outcome: OK,
    // the daemon's status, or kVADStatusLinkDropped when the link ended before the answer (the daemon stopped; what
    // it was asked may not be done). Returns the confirm's own status.
    VADStatus Confirm();

    size_t Size() const { return sent_.size(); }
    // The outcome of request `i`: kVADStatusLinkDropped until it is confirmed.
    VADStatus Outcome(size_t i) const { return VADStatus(sent_[i].outcome); }

private:
    struct Sent
    {
        uint64_t ordinal = 0;
        int32_t outcome = kVADStatusLinkDropped;
        bool waiting = false;  // sent, not yet confirmed
    };
    size_t Add(VADStatus sent, const VADSentAt& at);

    VADConnection* link_;
    uint64_t linkNumber_ = 0;  // the link of the first request sent (0 before it)
    std::vector<Sent> sent_;
    size_t firstWaiting_ = 0;  // the requests before it are settled
};

// Outcome of one request sent with no reply: sent, confirmed, and the daemon's outcome of it.
template <uint32_t Code>
VADStatus VADSendConfirmed(VADConnection* link, const typename VADRequestTypes<Code>::Request& request)
{
    VADSentBatch batch(link);
    const size_t i = batch.Send<Code>(request);
    (void)batch.Confirm();  // its failure is the request's outcome
    return batch.Outcome(i);
}

// What the answer to request 237 says of the request of `ordinal` (at or after the ordinal the confirm asked
// from): OK, its failure, or kVADStatusFailed where the answer cannot tell (not handled, or its failure forgotten).
int32_t VADOutcomeOfSent(const VADConfirmSentReply& reply, uint64_t ordinal);
