#include "assetdb/VADAssetInfo.h"

void VADEncodeAssetInfo(VADWriter& w, const VADAssetInfo& info) { VADWriteFields(w, info); }

bool VADDecodeAssetInfo(VADReader& r, VADAssetInfo& info)
{
    VADAssetInfo in;
    VADReadFields(r, in);
    if (!r.Ok()) return false;
    info = std::move(in);
    return true;
}
