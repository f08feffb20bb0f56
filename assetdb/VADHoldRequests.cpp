// Holding an installed copy aside while the run installs its own copy of the asset, and putting it back.
#include "assetdb/VADClient.h"
#include "assetdb/VADRequestCall.h"

#include "assetdb/NWSpecFactory.h"

VADStatus VADClient::HoldInstalledAsset(const KUID& kuid, uint32_t& held, std::string& at, ResultsLog* log)
{
    held = kVADHeldNothing;
    at.clear();
    VADHoldReply reply;
    const VADStatus status = VADCall<VAD_REQ_HOLD_INSTALLED>(link_, VADKuidRequest{kuid}, reply, log);
    if (!status) return status;
    held = reply.held;
    at = std::move(reply.at);
    return status;
}

VADStatus VADClient::PutBackHeldAsset(const KUID& kuid, ResultsLog* log)
{
    const VADStatus status = VADCall<VAD_REQ_PUT_BACK_HELD>(link_, VADKuidRequest{kuid}, log);
    // The asset is as it was before the run: a spec cached of the run's copy is dropped.
    if (status && specs_) specs_->ReleaseSpec(kuid);
    return status;
}
