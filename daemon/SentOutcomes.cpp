#include "daemon/SentOutcomes.h"

#include <algorithm>

void SentOutcomes::Handled(int32_t status)
{
    ++handled_;
    if (status >= 0) return;
    // A client that sends failing requests for ever must not grow the daemon: the oldest failure goes, and its
    // ordinal tells later answers that one at or below it may be missing.
    if (failed_.size() >= kVADConfirmListMax)
    {
        forgottenThrough_ = failed_.front().first;
        failed_.pop_front();
    }
    failed_.emplace_back(handled_, status);
}

void SentOutcomes::Answer(uint64_t first, VADConfirmSentReply& reply) const
{
    reply.handled = handled_;
    reply.forgottenThrough = forgottenThrough_ >= first ? forgottenThrough_ : 0;
    auto from = std::lower_bound(failed_.begin(), failed_.end(), first,
                                 [](const std::pair<uint64_t, int32_t>& f, uint64_t n) { return f.first < n; });
    reply.failed.assign(from, failed_.end());
}
