#pragma once
// The daemon's requests as tables: one row per request code, naming its handler, whose parameter types must
// be the request and reply payloads the request table gives the code (assetdb/VADRequestTable.def), the
// same types the client's calls encode and decode. The row decodes the request, runs the handler and writes
// the reply body when the handler answers OK; a payload that does not decode (or holds a text with a zero
// byte inside it) is answered "bad payload" before any handler runs.
//
// Adding a request: its row in assetdb/VADRequestTable.def, a handler
//     int32_t Name(RequestContext& c, const VADSomeRequest& request, VADSomeReply& reply);
// and a row Row<VAD_REQ_NAME, Name>() in the table of its theme (the *Rows() function of its file).
#include "assetdb/VADRequestTypes.h"
#include "daemon/ClientConnection.h"
#include "daemon/DaemonServer.h"

#include <span>
#include <type_traits>

struct RequestContext
{
    DaemonServer& server;
    const std::shared_ptr<ClientConnection>& from;
    uint32_t code;
    uint32_t transaction;
    DaemonResults& results;

    AssetDatabase& Db() const { return server.Database(); }
    // The asking connection, as the database tells connections apart (holds, a run's own copies).
    uintptr_t Connection() const { return reinterpret_cast<uintptr_t>(from.get()); }
};

using RequestRunner = int32_t (*)(RequestContext& c, const VADBytes& payload, VADWriter& body);

struct RequestRow
{
    uint32_t code;
    RequestRunner run;
    bool beforeReady;  // answered before the first scan has finished
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
    if (!VADDecodeRequest(payload, request)) return kVADStatusBadPayload;
    typename Types::Reply reply;
    int32_t status = Handler(c, request, reply);
    if (status == kVADStatusOK) VADWriteFields(body, reply);
    return status;
}

// One row of a table: the request code and its handler, which takes the payloads the request table names.
template <uint32_t Code, auto Handler>
constexpr RequestRow Row(bool beforeReady = false)
{
    using Types = RequestHandlerTypes<decltype(Handler)>;
    static_assert(std::is_same_v<typename Types::Request, typename VADRequestTypes<Code>::Request>,
                  "the handler's request payload is not the one the request table names");
    static_assert(std::is_same_v<typename Types::Reply, typename VADRequestTypes<Code>::Reply>,
                  "the handler's reply body is not the one the request table names");
    return RequestRow{Code, &RunRequest<Handler>, beforeReady};
}

int32_t StatusOf(DbStatus s);

// An option a request carries that this daemon has no use for (a value other than 0): said in the log once
// per request, option and value, so that nothing a client asks for is dropped without a word.
void NoteUnusedOption(const RequestContext& c, const char* option, uint32_t value);

// The tables by theme.
std::span<const RequestRow> AssetRequestRows();
std::span<const RequestRow> EditRequestRows();
std::span<const RequestRow> ServiceRequestRows();
std::span<const RequestRow> CommandHostRequestRows();
std::span<const RequestRow> DownloadStationRequestRows();
std::span<const RequestRow> HoldRequestRows();

// The row of a request code; null for a code no table has.
const RequestRow* FindRequestRow(uint32_t code);
