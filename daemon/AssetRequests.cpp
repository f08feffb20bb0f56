// Requests that read asset records: query, info, config, description, thumbnail, dependencies,
// obsoletes, flags, keywords and favourites.
#include "daemon/RequestHandlers.h"

#include "daemon/FolderOps.h"

#include <sys/stat.h>

namespace {

AssetDatabase& Db(RequestContext& c) { return c.server.Database(); }

// The record of the asset a request names; false (status: not found) when the database has none.
bool RecordFor(RequestContext& c, const KUID& k, AssetRecord& r, int32_t& status)
{
    if (Db(c).GetRecord(k, r)) return true;
    status = kVADStatusNotFound;
    return false;
}

// The thumbnail file of an asset folder: the one its configuration names, else a usual name.
std::string FindThumbnail(const std::string& folder, const TDBTagRef& config)
{
    auto isFile = [](const std::string& p) {
        struct stat st;
        return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    TDBTagRef thumbs = config.GetChildContainer("thumbnails");
    for (size_t i = 0; i < thumbs.GetChildCount(); ++i)
    {
        std::string image(thumbs.GetChildContainerAt(i).GetChildString("image").View());
        if (IsSafeRelativePath(image) && isFile(folder + "/" + image)) return folder + "/" + image;
    }
    for (const char* name : {"thumbnail.jpg", "thumbnail.png", "$screenshot$.jpg"})
        if (isFile(folder + "/" + name)) return folder + "/" + name;
    return {};
}

}  // namespace

bool HandleAssetRequest(RequestContext& c, int32_t& status)
{
    status = kVADStatusBadPayload;
    switch (c.code)
    {
    case VAD_REQ_QUERY:
    {
        VADQueryRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADKuidListReply reply;
        reply.kuids = Db(c).Query(req.filter);
        reply.Write(c.body);
        break;
    }
    case VAD_REQ_INFO:
    {
        VADKuidValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADAssetInfo info;
        if (!Db(c).Info(req.kuid, req.value, info))
        {
            status = kVADStatusNotFound;
            return true;
        }
        VADEncodeAssetInfo(c.body, info);
        break;
    }
    case VAD_REQ_CONFIG:
    {
        VADKuidFlagRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADTreeReply reply;
        TDBTagRef tree = Db(c).Config(req.kuid, req.flag != 0);
        if (!tree.IsNull() && !VADTreeToBytes(tree, reply.tree))
        {
            status = kVADStatusFailed;
            return true;
        }
        reply.Write(c.body);
        break;
    }
    case VAD_REQ_DESCRIPTION:
    case VAD_REQ_GET_KEYWORDS:
    {
        VADKuidRequest req;
        AssetRecord r;
        if (!DecodeRequest(c, req) || !RecordFor(c, req.kuid, r, status)) return true;
        VADTextReply{c.code == VAD_REQ_DESCRIPTION ? r.description : r.keywords}.Write(c.body);
        break;
    }
    case VAD_REQ_THUMBNAIL:
    {
        VADKuidValueRequest req;
        AssetRecord r;
        if (!DecodeRequest(c, req) || !RecordFor(c, req.kuid, r, status)) return true;
        std::string folder = Db(c).ActiveFolder(req.kuid);
        TDBTagRef config = Db(c).Config(req.kuid, false);
        std::string path = FindThumbnail(folder, config);
        if (path.empty())
        {
            status = kVADStatusNotFound;
            return true;
        }
        VADThumbnailReply reply;
        reply.name = path.substr(path.rfind('/') + 1);
        reply.path = path;
        reply.text = r.username;
        reply.Write(c.body);
        break;
    }
    case VAD_REQ_DEPENDENCIES:
    case VAD_REQ_OBSOLETES:
    {
        VADKuidRequest req;
        AssetRecord r;
        if (!DecodeRequest(c, req) || !RecordFor(c, req.kuid, r, status)) return true;
        VADKuidListReply{c.code == VAD_REQ_DEPENDENCIES ? r.dependencies : r.obsoletes}.Write(c.body);
        break;
    }
    case VAD_REQ_MISSING_DEPENDENCIES:
    {
        VADKuidFlagRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADBoolReply{static_cast<uint8_t>(Db(c).HasMissingDependencies(req.kuid) ? 1 : 0)}.Write(c.body);
        break;
    }
    case VAD_REQ_FAULTY:
    {
        VADKuidRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADBoolReply{static_cast<uint8_t>(Db(c).IsFaulty(req.kuid) ? 1 : 0)}.Write(c.body);
        break;
    }
    case VAD_REQ_FAVOURITE:
    {
        VADKuidFlagRequest req;
        if (!DecodeRequest(c, req)) return true;
        status = StatusOf(Db(c).SetFavourite(req.kuid, req.flag != 0));
        return true;
    }
    case VAD_REQ_SET_KEYWORDS:
    {
        VADKuidTextRequest req;
        if (!DecodeRequest(c, req)) return true;
        status = StatusOf(Db(c).SetKeywords(req.kuid, req.text));
        return true;
    }
    default: return false;
    }
    status = kVADStatusOK;
    return true;
}
