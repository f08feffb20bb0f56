#pragma once
// The payload types of each request, from the request table (VADRequestTable.def): what the client's
// typed calls encode and decode and what the daemon's rows decode and encode, so that the two sides cannot
// name different payloads for one code.
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADProtocol.h"

#include <cstdint>

// Request: the request payload; Reply: the reply body; kMode: how it is answered. Not defined for codes
// the table lacks.
template <uint32_t Code>
struct VADRequestTypes;

#define VAD_REQUEST(ID, CODE, BOUND, NAME, REQUEST, REPLY, MODE)                                                       \
    template <>                                                                                                        \
    struct VADRequestTypes<VAD_REQ_##ID>                                                                               \
    {                                                                                                                  \
        using Request = REQUEST;                                                                                       \
        using Reply = REPLY;                                                                                           \
        static constexpr VADRequestMode kMode = VADRequestMode::k##MODE;                                               \
    };
#include "assetdb/VADRequestTable.def"
#undef VAD_REQUEST
