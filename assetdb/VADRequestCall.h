#pragma once
// One request with the payload types the request table gives its code (VADRequestTypes.h), for the
// request functions.
#include "assetdb/VADClient.h"
#include "assetdb/VADRequestTypes.h"

// Sends `request` and decodes the reply body into `reply`; false when the request fails or the body does
// not decode.
template <uint32_t Code>
bool VADCall(const typename VADRequestTypes<Code>::Request& request, typename VADRequestTypes<Code>::Reply& reply,
             ResultsLog* log = nullptr)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kSync, "the request is not answered");
    VADBytes body;
    if (!VADPerformTransaction(Code, VADEncode(request), body, log)) return false;
    return VADDecode(body, reply);
}

// For requests whose reply has no body.
template <uint32_t Code>
bool VADCall(const typename VADRequestTypes<Code>::Request& request, ResultsLog* log = nullptr)
{
    typename VADRequestTypes<Code>::Reply none;
    return VADCall<Code>(request, none, log);
}

// An asynchronous request; false when it could not be sent.
template <uint32_t Code>
bool VADSend(const typename VADRequestTypes<Code>::Request& request)
{
    static_assert(VADRequestTypes<Code>::kMode == VADRequestMode::kAsync, "the request is answered");
    return VADSendAsyncRequest(Code, VADEncode(request));
}
