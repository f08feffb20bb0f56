#pragma once
// One request with the payload types the request table gives its code (VADRequestTypes.h), on a
// connection: the building block of VADClient's calls.
#include "assetdb/VADConnection.h"
#include "assetdb/VADRequestTypes.h"
#include "assetdb/VADStatus.h"

// Sends `request` and decodes the reply body into `reply`; kVADStatusBadPayload when the body does not
// decode, kVADStatusLinkDropped without a connection. `onlyOnLink` (VADConnection::LinkNumber, 0: any) sends it over
// that link alone: a request about what one daemon gave the run (a handle) means nothing to another.
template <uint32_t Code>
VADStatus VADCall(VADConnection* link, const typename VADRequestTypes<Code>::Request& request,
                  typename VADRequestTypes<Code>::Reply& reply, ResultsLog* log = nullptr, uint64_t onlyOnLink = 0)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kSync, "the request is not answered");
    if (!link) return VADStatus(kVADStatusLinkDropped);
    VADBytes body;
    const VADBytes bytes = VADEncode(request);
    const VADStatus status = link->Perform(Code, bytes.data(), bytes.size(), body, log, onlyOnLink);
    if (!status) return status;
    return VADDecode(body, reply) ? status : VADStatus(kVADStatusBadPayload);
}

// For requests whose reply has no body.
template <uint32_t Code>
VADStatus VADCall(VADConnection* link, const typename VADRequestTypes<Code>::Request& request,
                  ResultsLog* log = nullptr, uint64_t onlyOnLink = 0)
{
    typename VADRequestTypes<Code>::Reply none;
    return VADCall<Code>(link, request, none, log, onlyOnLink);
}

// An asynchronous request; kVADStatusLinkDropped without a connection. `at` gets where it went (SendAsync).
template <uint32_t Code>
VADStatus VADSend(VADConnection* link, const typename VADRequestTypes<Code>::Request& request, uint64_t onlyOnLink = 0,
                  VADSentAt* at = nullptr)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kAsync, "the request is answered");
    if (!link) return VADStatus(kVADStatusLinkDropped);
    const VADBytes bytes = VADEncode(request);
    return link->SendAsync(Code, bytes.data(), bytes.size(), onlyOnLink, at);
}
