#include "assetdb/VADClient.h"

#include "assetdb/ContentFolders.h"
#include "core/LogPrintf.h"
#include "core/TBuffer.h"

namespace {

VADConnection* Link() { return VADConnection::Current(); }

}  // namespace

bool VADOpenDatabase(VADConnectionSettings& settings)
{
    if (VADConnection* c = Link()) return c->Open(settings);
    LogPrintf("VADOpenDatabase> no connection object: unable to connect to VADDaemon");
    return false;
}

unsigned VADLastLaunchAttempt() { return Link() ? Link()->LastLaunchAttempt() : 0; }

void VADCloseDatabase()
{
    if (VADConnection* c = Link()) c->Close();
}

void VADCloseDaemon(uint8_t flag)
{
    if (VADConnection* c = Link()) c->CloseDaemon(flag);
}

bool VADClientConnected() { return Link() && Link()->Connected(); }

bool VADPerformTransaction(uint32_t code, const VADBytes& request, VADBytes& reply, ResultsLog* log, int32_t* status)
{
    if (VADConnection* c = Link()) return c->Perform(code, request.data(), request.size(), reply, log, status);
    reply.clear();
    if (status) *status = kVADStatusLinkDropped;
    return false;
}

bool VADPerformTransaction(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log, int32_t* status)
{
    VADBytes body;
    bool ok = false;
    if (VADConnection* c = Link())
        ok = c->Perform(code, request.Data(), request.Bytes().size(), body, log, status);
    else if (status)
        *status = kVADStatusLinkDropped;
    reply.Clear();
    if (!body.empty()) reply.Write(body.data(), body.size());
    reply.Seek(0);
    return ok;
}

bool VADSendAsyncRequest(uint32_t code, const TBuffer& payload)
{
    VADConnection* c = Link();
    return c && c->SendAsync(code, payload.Data(), payload.Bytes().size());
}

bool VADSendAsyncRequest(uint32_t code, const VADBytes& payload)
{
    VADConnection* c = Link();
    return c && c->SendAsync(code, payload.data(), payload.size());
}

bool VADBeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id)
{
    VADConnection* c = Link();
    return c && c->BeginWebRequest(code, body, id);
}

bool VADPollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove)
{
    VADConnection* c = Link();
    return c && c->PollWebRequest(id, out, remove);
}

bool VADWaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs)
{
    VADConnection* c = Link();
    return c && c->WaitWebRequest(id, out, timeoutMs);
}

void VADSetProgressHook(VADProgressFn fn)
{
    if (VADConnection* c = Link()) c->SetProgressHook(fn);
}

void VADSetDaemonRoot(const std::string& root)
{
    if (VADConnection* c = Link()) c->SetRoot(root);
}

std::string VADGetDaemonRoot() { return Link() ? Link()->Root() : GetInstallationPath().str(); }

void VADSetConnectIntervalMs(unsigned ms)
{
    if (VADConnection* c = Link()) c->SetConnectIntervalMs(ms);
}

bool VADLinkFailed() { return Link() && Link()->LinkFailure() != VADLinkFailure::kNone; }

std::string VADLinkFailureText() { return Link() ? Link()->LinkFailureText() : std::string(); }

void VADClearLinkFailure()
{
    if (VADConnection* c = Link()) c->ClearLinkFailure();
}
