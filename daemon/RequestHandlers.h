#pragma once
// The request handlers, grouped by what they serve. Each returns true when it knows the code, with the
// reply status in `status`.
#include "daemon/ClientConnection.h"
#include "daemon/DaemonServer.h"

struct RequestContext
{
    DaemonServer& server;
    const std::shared_ptr<ClientConnection>& from;
    uint32_t code;
    uint32_t transaction;
    const VADBytes& payload;
    VADWriter& body;
    DaemonResults& results;
};

// Decodes the payload; false when its lengths don't add up.
template <typename T>
bool DecodeRequest(const RequestContext& c, T& out)
{
    return VADDecode(c.payload, out);
}

int32_t StatusOf(DbStatus s);

bool HandleAssetRequest(RequestContext& c, int32_t& status);
bool HandleEditRequest(RequestContext& c, int32_t& status);
bool HandleServiceRequest(RequestContext& c, int32_t& status);
bool HandleCommandHostRequest(RequestContext& c, int32_t& status);
bool HandleDownloadStationRequest(RequestContext& c, int32_t& status);
