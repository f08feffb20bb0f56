#pragma once
// The daemon's requests as tables: one row per request code, naming its handler, whose parameter types are
// the request and reply payloads of assetdb/VADPayloads.h, the same types the client's VADCall encodes and
// decodes. The row decodes the request, runs the handler and writes the reply body when the handler answers
// OK; a payload that does not decode is answered "bad payload" before any handler runs.
//
// Adding a request: a handler
//     int32_t Name(RequestContext& c, const VADSomeRequest& request, VADSomeReply& reply);
// and a row Row<Name>(VAD_REQ_NAME) in the table of its theme (the *Rows() function of its file).
#include "daemon/ClientConnection.h"
#include "daemon/DaemonServer.h"

#include <span>

struct RequestContext
{
    DaemonServer& server;
    const std::shared_ptr<ClientConnection>& from;
    uint32_t code;
    uint32_t transaction;
    DaemonResults& results;

    AssetDatabase& Db() const { return server.Database(); }
};

using RequestRunner = int32_t (*)(RequestContext& c, const VADBytes& payload, VADWriter& body);

struct RequestRow
{
    uint32_t code;
    RequestRunner run;
    bool beforeReady;  // answered before the first scan has finished
};

// The raw payload of a request whose bytes are forwarded as they are (the command host's job reply).
struct RawRequestPayload
{
    VADBytes bytes;
    void Write(VADWriter& w) const { w.Raw(bytes.data(), bytes.size()); }
    void Read(VADReader& r) { bytes = r.Rest(); }
};

template <typename F>
struct RequestHandlerTypes;
template <typename Req, typename Rep>
struct RequestHandlerTypes<int32_t (*)(RequestContext&, const Req&, Rep&)>
{
    using Request = Req;
    using Reply = Rep;
};

template <auto Handler>
int32_t RunRequest(RequestContext& c, const VADBytes& payload, VADWriter& body)
{
    using Types = RequestHandlerTypes<decltype(Handler)>;
    typename Types::Request request;
    if (!VADDecode(payload, request)) return kVADStatusBadPayload;
    typename Types::Reply reply;
    int32_t status = Handler(c, request, reply);
    if (status == kVADStatusOK) reply.Write(body);
    return status;
}

// One row of a table: the request code and its handler.
template <auto Handler>
constexpr RequestRow Row(uint32_t code, bool beforeReady = false)
{
    return RequestRow{code, &RunRequest<Handler>, beforeReady};
}

int32_t StatusOf(DbStatus s);

// A command host's reply starts with its job's results log: the results go to `results` (for the asker's
// log) and the reader is left at the job's own answer. False when the log cannot be read.
bool ForwardHostLog(VADReader& r, DaemonResults& results);

// An option a request carries that this daemon has no use for (a value other than 0): said in the log once
// per request, option and value, so that nothing a client asks for is dropped without a word.
void NoteUnusedOption(const RequestContext& c, const char* option, uint32_t value);

// The tables by theme.
std::span<const RequestRow> AssetRequestRows();
std::span<const RequestRow> EditRequestRows();
std::span<const RequestRow> ServiceRequestRows();
std::span<const RequestRow> CommandHostRequestRows();
std::span<const RequestRow> DownloadStationRequestRows();

// The row of a request code; null for a code no table has.
const RequestRow* FindRequestRow(uint32_t code);
