#include "tool/dls/DeleteAll.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/VelmarProperty.h"

#include <memory>

bool DeleteAllLocalAssets(VADClient& client, ResultsLog& log)
{
    // local, and not (built in without a local copy over it)
    VADFilterElementGroup filter;
    filter.Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_LOCAL));
    auto builtinOnly = std::make_unique<VADFilterElementGroup>();
    builtinOnly->Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_BUILTIN));
    builtinOnly->Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_LOCALLY_MODIFIED, false));
    builtinOnly->SetNegated(true);
    filter.Add(std::move(builtinOnly));

    ChunkedList<KUID> kuids;
    if (!client.QueryAssets(filter, kuids)) return false;  // the link failure is reported by the dispatcher
    bool all = true;
    for (const KUID& kuid : kuids)
    {
        const uint32_t errorsBefore = log.ErrorCount();
        if (client.DeleteAsset(kuid, 1, &log)) continue;
        all = false;
        if (client.LinkFailed()) break;  // nothing more can be deleted; the dispatcher reports the link
        if (log.ErrorCount() == errorsBefore)
            log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)),
                           "Failed to delete asset : " + kuid.ToString());
    }
    return all;
}
