// Requests that hold an installed copy aside while the asking run installs its own copy of the asset, and put
// it back (AssetDatabase::HoldInstalled).
#include "daemon/RequestHandlers.h"

namespace {

// A hold belongs to the connection that asked for it: it is put back when that connection ends.
int32_t HoldInstalled(RequestContext& c, const VADKuidRequest& req, VADHoldReply& reply)
{
    return StatusOf(c.Db().HoldInstalled(req.kuid, c.Connection(), reply.held, reply.at, &c.results));
}

int32_t PutBackHeld(RequestContext& c, const VADKuidRequest& req, VADEmptyPayload&)
{
    return StatusOf(c.Db().PutBackHeld(req.kuid, c.Connection(), &c.results));
}

}  // namespace

std::span<const RequestRow> HoldRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<VAD_REQ_HOLD_INSTALLED, HoldInstalled>(),
        Row<VAD_REQ_PUT_BACK_HELD, PutBackHeld>(),
    };
    return rows;
}
