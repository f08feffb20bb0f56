#pragma once
// One synchronous request with typed payloads, for the request functions.
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"

// Sends `request` and decodes the reply body into `reply`; false when the request fails or the body does
// not decode.
template <typename Req, typename Rep>
bool VADCall(uint32_t code, const Req& request, Rep& reply, ResultsLog* log = nullptr)
{
    VADBytes body;
    if (!VADPerformTransaction(code, VADEncode(request), body, log)) return false;
    return VADDecode(body, reply);
}

// For requests whose reply has no body.
template <typename Req>
bool VADCallNoReply(uint32_t code, const Req& request, ResultsLog* log = nullptr)
{
    VADEmptyPayload none;
    return VADCall(code, request, none, log);
}
