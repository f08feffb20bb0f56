#include "assetdb/VADSentBatch.h"

#include <algorithm>

int32_t VADOutcomeOfSent(const VADConfirmSentReply& reply, uint64_t ordinal)
{
    // A request the daemon has not handled yet was sent after the confirm went: never the case on one link, whose
    // frames are handled in order, unless the answer is wrong.
    if (ordinal == 0 || ordinal > reply.handled) return kVADStatusFailed;
    const auto it = std::lower_bound(reply.failed.begin(), reply.failed.end(), ordinal,
                                     [](const std::pair<uint64_t, int32_t>& f, uint64_t n) { return f.first < n; });
    if (it != reply.failed.end() && it->first == ordinal) return it->second < 0 ? it->second : kVADStatusFailed;
    return ordinal <= reply.forgottenThrough ? kVADStatusFailed : kVADStatusOK;
}

size_t VADSentBatch::Add(VADStatus sent, const VADSentAt& at)
{
    Sent s;
    if (sent)
    {
        if (linkNumber_ == 0) linkNumber_ = at.link;
        s.ordinal = at.ordinal;
        s.waiting = true;
    }
    else
        s.outcome = sent.Code();
    sent_.push_back(s);
    return sent_.size() - 1;
}

VADStatus VADSentBatch::Confirm()
{
    // Every request of the batch went over one link, in the order sent: the first one waiting has the lowest ordinal.
    uint64_t first = 0;
    for (size_t i = firstWaiting_; i < sent_.size() && first == 0; ++i)
        if (sent_[i].waiting) first = sent_[i].ordinal;
    if (first == 0)
    {
        firstWaiting_ = sent_.size();
        return VADStatus();
    }
    VADConfirmSentReply reply;
    // Bound to the batch's link: another daemon's answer would say nothing of what this one was sent.
    const VADStatus status =
        VADCall<VAD_REQ_CONFIRM_SENT>(link_, VADConfirmSentRequest{first}, reply, nullptr, linkNumber_);
    for (size_t i = firstWaiting_; i < sent_.size(); ++i)
    {
        Sent& s = sent_[i];
        if (!s.waiting) continue;
        s.waiting = false;
        s.outcome =
            status ? VADOutcomeOfSent(reply, s.ordinal) : (status.LinkFailed() ? kVADStatusLinkDropped : status.Code());
    }
    firstWaiting_ = sent_.size();
    return status;
}
