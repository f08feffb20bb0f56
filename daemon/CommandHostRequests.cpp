// Requests served through the command host: registration and job replies, validation, the folder check,
// archive installs and package exports; and the archive entry of an asset.
#include "daemon/RequestHandlers.h"

bool HandleCommandHostRequest(RequestContext& c, int32_t& status)
{
    status = kVADStatusBadPayload;
    switch (c.code)
    {
    case VAD_REQ_REGISTER_COMMAND_HOST:
        c.server.Broker().Register(c.from);
        break;
    case VAD_REQ_JOB_REPLY:
        c.server.Broker().JobReply(c.from.get(), c.payload);
        break;
    default:
        return false;
    }
    status = kVADStatusOK;
    return true;
}
