#include "daemon/RequestHandlers.h"

#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "engine/ConfigFileBound.h"

#include <array>
#include <exception>
#include <string>

namespace {

constexpr unsigned kReadyWaitMs = 120000;
constexpr uint32_t kMaxCode = 256;

// Every table's rows by code, built once.
const std::array<const RequestRow*, kMaxCode>& RowsByCode()
{
    static const std::array<const RequestRow*, kMaxCode> byCode = [] {
        std::array<const RequestRow*, kMaxCode> rows{};
        for (auto table : {AssetRequestRows(), EditRequestRows(), ServiceRequestRows(), CommandHostRequestRows(),
                           DownloadStationRequestRows(), HoldRequestRows()})
            for (const RequestRow& row : table)
                if (row.code < kMaxCode && !rows[row.code]) rows[row.code] = &row;
        return rows;
    }();
    return byCode;
}

}  // namespace

const RequestRow* FindRequestRow(uint32_t code) { return code < kMaxCode ? RowsByCode()[code] : nullptr; }

void NoteUnusedOption(const RequestContext& c, const char* option, uint32_t value)
{
    if (value == 0 || !c.server.FirstUnusedOption(c.code, option, value)) return;
    DLOG("request %u from %s: %s %u has no effect in this daemon", c.code, c.from->Program().c_str(), option, value);
}

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
    CrashPointAtRequest(code);
    const RequestRow* row = FindRequestRow(code);
    if (!row)
    {
        DLOG("unknown request code %u from %s", code, from->Program().c_str());
        return kVADStatusUnknownRequest;
    }
    // A removed or replaced installation is not served: its folders and records are gone.
    if (!server.RootIntact())
    {
        PostResult(&results, kResultError,
                   "The installation of this asset database daemon was removed or replaced ($(REASON_TEXT)): the "
                   "daemon is closing, and the next command starts a new one.",
                   KUID::Null(), {{"reason_text", server.RootLostReason()}});
        return kVADStatusFailed;
    }
    if (!row->beforeReady && !server.Database().WaitReady(kReadyWaitMs)) return kVADStatusFailed;
    RequestContext c{server, from, code, transaction, results};
    // No request may end the daemon: whatever escapes a handler fails that request alone.
    const char* what = "an unknown error";
    try
    {
        const int32_t status = row->run(c, payload, body);
        // The memory of a large configuration read for the request goes back to the system once freed.
        Orvo::GiveBackMemoryAfterLargeLoads();
        return status;
    }
    catch (const std::exception& e)
    {
        what = e.what();
    }
    catch (...)
    {}
    DLOG("request %u from %s (pid %u) failed: %s", code, from->Program().c_str(), from->Pid(), what);
    body.Clear();
    PostResult(&results, kResultError, "The asset database could not carry out the request: $(REASON_TEXT)",
               KUID::Null(), {{"reason_text", what}});
    return kVADStatusFailed;
}
