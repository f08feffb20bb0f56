#include "assetdb/VADAssetInfo.h"

void VADEncodeAssetInfo(VADWriter& w, const VADAssetInfo& info)
{
    w.Kuid(info.kuid);
    w.String(info.username);
    w.String(info.kind.View());
    w.String(info.category.View());
    w.String(info.region);
    w.String(info.era);
    w.U32(info.fileSize);
    w.String(info.categoryCodes);
    w.I32(info.authorId);
    w.F32(info.build);
    w.U8(info.flags);
    w.U8(info.flags2);
    w.U64(info.installTime);
    w.U64(info.modifiedTime);
    w.U8(info.valid);
}

bool VADDecodeAssetInfo(VADReader& r, VADAssetInfo& info)
{
    VADAssetInfo in;
    in.kuid = r.Kuid();
    in.username = r.String();
    in.kind = Orvo::PString(r.String());
    in.category = Orvo::PString(r.String());
    in.region = r.String();
    in.era = r.String();
    in.fileSize = r.U32();
    in.categoryCodes = r.String();
    in.authorId = r.I32();
    in.build = r.F32();
    in.flags = r.U8();
    in.flags2 = r.U8();
    in.installTime = r.U64();
    in.modifiedTime = r.U64();
    in.valid = r.U8();
    if (!r.Ok()) return false;
    info = std::move(in);
    return true;
}
