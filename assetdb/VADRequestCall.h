#pragma once
// One request with the payload types the request table gives its code (VADRequestTypes.h), on a
// connection: the building block of VADClient's calls.
#include "assetdb/VADConnection.h"
#include "assetdb/VADRequestTypes.h"
#include "assetdb/VADStatus.h"

// Sends `request` and decodes the reply body into `reply`; kVADStatusBadPayload when the body does not
// decode, kVADStatusLinkDropped without a connection.
template <uint32_t Code>
VADStatus VADCall(VADConnection* link, const typename VADRequestTypes<Code>::Request& request,
                  typename VADRequestTypes<Code>::Reply& reply, ResultsLog* log = nullptr)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kSync, "the request is not answered");
    if (!link) return VADStatus(kVADStatusLinkDropped);
    VADBytes body;
    const VADStatus status = link->Perform(Code, VADEncode(request), body, log);
    if (!status) return status;
    return VADDecode(body, reply) ? status : VADStatus(kVADStatusBadPayload);
}

// For requests whose reply has no body.
template <uint32_t Code>
VADStatus VADCall(VADConnection* link, const typename VADRequestTypes<Code>::Request& request,
                  ResultsLog* log = nullptr)
{
    typename VADRequestTypes<Code>::Reply none;
    return VADCall<Code>(link, request, none, log);
}

// An asynchronous request; kVADStatusLinkDropped without a connection.
template <uint32_t Code>
VADStatus VADSend(VADConnection* link, const typename VADRequestTypes<Code>::Request& request)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kAsync, "the request is answered");
    if (!link) return VADStatus(kVADStatusLinkDropped);
    return link->SendAsync(Code, VADEncode(request));
}
