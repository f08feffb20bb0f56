#include "daemon/RequestHandlers.h"

#include "daemon/DaemonLog.h"

namespace {

constexpr unsigned kReadyWaitMs = 120000;

// Requests that are answered before the first scan has finished.
bool NeedsNoStore(uint32_t code)
{
    switch (code)
    {
    case VAD_REQ_KEEPALIVE:
    case VAD_REQ_DATABASE_STATUS:
    case VAD_REQ_REGISTER_COMMAND_HOST:
    case VAD_REQ_JOB_REPLY:
    case VAD_REQ_CLOSE_DAEMON:
    case VAD_REQ_BEGIN_WAIT_READY:
    case VAD_REQ_IS_READY: return true;
    }
    return false;
}

}  // namespace

int32_t StatusOf(DbStatus s)
{
    switch (s)
    {
    case DbStatus::kOK: return kVADStatusOK;
    case DbStatus::kNotFound: return kVADStatusNotFound;
    case DbStatus::kFailed: break;
    }
    return kVADStatusFailed;
}

int32_t HandleRequest(DaemonServer& server, const std::shared_ptr<ClientConnection>& from, uint32_t code,
                      uint32_t transaction, const VADBytes& payload, VADWriter& body, DaemonResults& results)
{
    if (!VADIsKnownRequestCode(code))
    {
        DLOG("unknown request code %u from %s", code, from->Program().c_str());
        return kVADStatusUnknownRequest;
    }
    if (!NeedsNoStore(code) && !server.Database().WaitReady(kReadyWaitMs)) return kVADStatusFailed;
    RequestContext c{server, from, code, transaction, payload, body, results};
    int32_t status = kVADStatusUnknownRequest;
    if (HandleAssetRequest(c, status) || HandleEditRequest(c, status) || HandleServiceRequest(c, status) ||
        HandleCommandHostRequest(c, status) || HandleDownloadStationRequest(c, status))
        return status;
    return kVADStatusUnknownRequest;
}
