#include "assetdb/VADRequestBounds.h"

#include "assetdb/VADProtocol.h"

namespace {

struct BoundRow
{
    uint32_t code;
    const char* name;
    unsigned boundMs;
};

constexpr BoundRow kBounds[] = {
    {VAD_REQ_KEEPALIVE, "keep-alive", kVADQueryBoundMs},
    {VAD_REQ_QUERY, "asset query", kVADAssetBoundMs},
    {VAD_REQ_DATABASE_STATUS, "database status", kVADQueryBoundMs},
    {VAD_REQ_CONFIG, "asset configuration", kVADQueryBoundMs},
    {VAD_REQ_INFO, "asset info", kVADQueryBoundMs},
    {VAD_REQ_DESCRIPTION, "asset description", kVADQueryBoundMs},
    {VAD_REQ_THUMBNAIL, "asset thumbnail", kVADQueryBoundMs},
    {VAD_REQ_OPEN_FOR_EDIT, "open for edit", kVADAssetBoundMs},
    {VAD_REQ_RELEASE_EDIT_HANDLE, "release edit handle", kVADQueryBoundMs},
    {VAD_REQ_EDIT_FOLDER, "edit folder", kVADQueryBoundMs},
    {VAD_REQ_REVERT, "revert", kVADAssetBoundMs},
    {VAD_REQ_COMMIT, "commit", kVADAssetBoundMs},
    {VAD_REQ_CREATE, "create asset", kVADAssetBoundMs},
    {VAD_REQ_DELETE, "delete", kVADAssetBoundMs},
    {VAD_REQ_VALIDATE, "validate", kVADLongBoundMs},
    {VAD_REQ_INSTALL_FROM_FOLDER, "install from folder", kVADLongBoundMs},
    {VAD_REQ_INSTALL_FROM_FOLDERS, "install from folders", kVADLongBoundMs},
    {VAD_REQ_INSTALL_ARCHIVE, "install archive", kVADLongBoundMs},
    {VAD_REQ_DEPENDENCIES, "asset dependencies", kVADQueryBoundMs},
    {VAD_REQ_OBSOLETES, "asset obsoletes", kVADQueryBoundMs},
    {VAD_REQ_MISSING_DEPENDENCIES, "missing dependencies", kVADQueryBoundMs},
    {VAD_REQ_FAULTY, "faulty check", kVADQueryBoundMs},
    {VAD_REQ_ASSET_FOLDERS, "asset folders", kVADAssetBoundMs},
    {VAD_REQ_ARCHIVE_ENTRY, "archive entry", kVADAssetBoundMs},
    {VAD_REQ_EXPORT_PACKAGE, "export package", kVADLongBoundMs},
    {VAD_REQ_FAVOURITE, "favourite", kVADQueryBoundMs},
    {VAD_REQ_GET_KEYWORDS, "get keywords", kVADQueryBoundMs},
    {VAD_REQ_SET_KEYWORDS, "set keywords", kVADQueryBoundMs},
    {VAD_REQ_GENERATE_KUID, "generate KUID", kVADQueryBoundMs},
    {VAD_REQ_NEXT_CONTENT_ID, "next content id", kVADQueryBoundMs},
    {VAD_REQ_LIST_BUILDS, "list builds", kVADQueryBoundMs},
    {VAD_REQ_FOLDER_CHECK, "folder check", kVADAssetBoundMs},
    {VAD_REQ_USER_ID_VALID, "user id check", kVADQueryBoundMs},
    {VAD_REQ_AUTHOR_NAME, "author name", kVADQueryBoundMs},
    {VAD_REQ_REPAIR_NOW, "repair database", kVADLongBoundMs},
    {VAD_REQ_FLAG_REPAIR, "flag repair", kVADQueryBoundMs},
    {VAD_REQ_GET_SETTINGS_GROUP, "get settings group", kVADQueryBoundMs},
    {VAD_REQ_SET_SETTINGS_GROUP, "set settings group", kVADQueryBoundMs},
    {VAD_REQ_SETTING_STRING, "setting", kVADQueryBoundMs},
    {VAD_REQ_SET_SETTING_INT, "set setting", kVADQueryBoundMs},
    {VAD_REQ_DLS_LATEST_KUID, "download station latest KUID", kVADQueryBoundMs},
    {VAD_REQ_RESOLVE_PACKAGE, "resolve package", kVADAssetBoundMs},
    {VAD_REQ_DOWNLOAD, "download", kVADLongBoundMs},
    {VAD_REQ_ANALYTICS_HIT, "analytics hit", kVADQueryBoundMs},
    {VAD_REQ_REGISTER_COMMAND_HOST, "register command host", kVADQueryBoundMs},
    {VAD_REQ_JOB_REPLY, "job reply", kVADQueryBoundMs},
    {VAD_REQ_CLOSE_DAEMON, "close daemon", kVADQueryBoundMs},
    // The daemon itself waits up to two minutes for its first scan before it answers.
    {VAD_REQ_BEGIN_WAIT_READY, "wait until ready", kVADAssetBoundMs},
    {VAD_REQ_IS_READY, "is ready", kVADQueryBoundMs},
};

const BoundRow* Find(uint32_t code)
{
    for (const BoundRow& row : kBounds)
        if (row.code == code) return &row;
    return nullptr;
}

}  // namespace

unsigned VADRequestBoundMs(uint32_t code)
{
    const BoundRow* row = Find(code);
    return row ? row->boundMs : kVADQueryBoundMs;
}

const char* VADRequestName(uint32_t code)
{
    const BoundRow* row = Find(code);
    return row ? row->name : "request";
}
