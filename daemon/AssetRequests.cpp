// Requests that read asset records: query, info, config, description, thumbnail, dependencies,
// obsoletes, flags, keywords and favourites.
#include "daemon/RequestHandlers.h"

#include "daemon/FolderOps.h"

#include <sys/stat.h>

namespace {

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

int32_t Query(RequestContext& c, const VADQueryRequest& req, VADKuidListReply& reply)
{
    reply.kuids = c.Db().Query(req.filter);
    return kVADStatusOK;
}

int32_t Info(RequestContext& c, const VADKuidValueRequest& req, VADAssetInfoReply& reply)
{
    return c.Db().Info(req.kuid, req.value, reply.info) ? kVADStatusOK : kVADStatusNotFound;
}

int32_t Config(RequestContext& c, const VADKuidFlagRequest& req, VADTreeReply& reply)
{
    TDBTagRef tree = c.Db().Config(req.kuid, req.flag != 0);
    return tree.IsNull() || VADTreeToBytes(tree, reply.tree) ? kVADStatusOK : kVADStatusFailed;
}

int32_t Description(RequestContext& c, const VADKuidRequest& req, VADTextReply& reply)
{
    AssetRecord r;
    if (!c.Db().GetRecord(req.kuid, r)) return kVADStatusNotFound;
    reply.text = r.description;
    return kVADStatusOK;
}

int32_t Keywords(RequestContext& c, const VADKuidRequest& req, VADTextReply& reply)
{
    AssetRecord r;
    if (!c.Db().GetRecord(req.kuid, r)) return kVADStatusNotFound;
    reply.text = r.keywords;
    return kVADStatusOK;
}

int32_t Thumbnail(RequestContext& c, const VADKuidValueRequest& req, VADThumbnailReply& reply)
{
    // The image is answered as it is stored; the size asked for is not made here.
    NoteUnusedOption(c, "size", static_cast<uint32_t>(req.value));
    AssetRecord r;
    if (!c.Db().GetRecord(req.kuid, r)) return kVADStatusNotFound;
    std::string path = FindThumbnail(c.Db().ActiveFolder(req.kuid), c.Db().Config(req.kuid, false));
    if (path.empty()) return kVADStatusNotFound;
    reply.name = path.substr(path.rfind('/') + 1);
    reply.path = path;
    reply.text = r.username;
    return kVADStatusOK;
}

int32_t Dependencies(RequestContext& c, const VADKuidRequest& req, VADKuidListReply& reply)
{
    AssetRecord r;
    if (!c.Db().GetRecord(req.kuid, r)) return kVADStatusNotFound;
    reply.kuids = r.dependencies;
    return kVADStatusOK;
}

int32_t Obsoletes(RequestContext& c, const VADKuidRequest& req, VADKuidListReply& reply)
{
    AssetRecord r;
    if (!c.Db().GetRecord(req.kuid, r)) return kVADStatusNotFound;
    reply.kuids = r.obsoletes;
    return kVADStatusOK;
}

int32_t MissingDependencies(RequestContext& c, const VADKuidFlagRequest& req, VADBoolReply& reply)
{
    reply.value = c.Db().HasMissingDependencies(req.kuid) ? 1 : 0;
    return kVADStatusOK;
}

int32_t Faulty(RequestContext& c, const VADKuidRequest& req, VADBoolReply& reply)
{
    reply.value = c.Db().IsFaulty(req.kuid) ? 1 : 0;
    return kVADStatusOK;
}

int32_t Favourite(RequestContext& c, const VADKuidFlagRequest& req, VADEmptyPayload&)
{
    return StatusOf(c.Db().SetFavourite(req.kuid, req.flag != 0, c.Connection()));
}

int32_t SetKeywords(RequestContext& c, const VADKuidTextRequest& req, VADEmptyPayload&)
{
    return StatusOf(c.Db().SetKeywords(req.kuid, req.text, c.Connection()));
}

}  // namespace

std::span<const RequestRow> AssetRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<VAD_REQ_QUERY, Query>(),
        Row<VAD_REQ_INFO, Info>(),
        Row<VAD_REQ_CONFIG, Config>(),
        Row<VAD_REQ_DESCRIPTION, Description>(),
        Row<VAD_REQ_GET_KEYWORDS, Keywords>(),
        Row<VAD_REQ_THUMBNAIL, Thumbnail>(),
        Row<VAD_REQ_DEPENDENCIES, Dependencies>(),
        Row<VAD_REQ_OBSOLETES, Obsoletes>(),
        Row<VAD_REQ_MISSING_DEPENDENCIES, MissingDependencies>(),
        Row<VAD_REQ_FAULTY, Faulty>(),
        Row<VAD_REQ_FAVOURITE, Favourite>(),
        Row<VAD_REQ_SET_KEYWORDS, SetKeywords>(),
    };
    return rows;
}
