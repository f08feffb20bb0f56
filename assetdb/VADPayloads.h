#pragma once
// Payload layouts of every request, reply and notification on the daemon link, for both sides.
//
// Each payload type has Write (into a VADWriter) and Read (from a VADReader); VADEncode gives the bytes
// and VADDecode refuses a payload whose lengths don't add up: truncated, with bytes left over, or with a
// count larger than the bytes that follow could hold. Forms of the primitives: see VADWireIO.h.
// A reply payload is the i32 status followed by the body given here (VADEncodeReplyPayload); on a
// negative status the body is empty.
//
//  code  request                         request payload               reply body
//  ----  ------------------------------  ----------------------------  -----------------------------------
//     0  keep-alive                      (empty)                       (empty)
//     2  query                           VADQueryRequest               VADKuidListReply
//     3  database status                 (empty)                       VADValueReply (0: ready)
//    20  config                          VADKuidFlagRequest            VADTreeReply (empty: not local)
//    21  info                            VADKuidValueRequest (mask)    VADAssetInfo (VADAssetInfo.h)
//    28  description                     VADKuidRequest                VADTextReply
//    29  thumbnail                       VADKuidValueRequest (size)    VADThumbnailReply
//    30  open for edit                   VADKuidFlagRequest            VADValueReply (handle, not 0)
//    31  release edit handle   (async)   VADHandleRequest              -
//    32  edit folder                     VADHandleRequest              VADEditFolderReply
//    33  revert                          VADHandleOptionRequest        (empty)
//    34  commit                          VADHandleOptionRequest        VADBoolReply (the out byte)
//    35  create                          VADCreateRequest              VADValueReply (handle, not 0)
//    36  delete                          VADKuidFlagRequest            (empty)
//    38  validate                        VADTextPairRequest (source, relative path)  VADBoolReply
//    39  install from folder             VADPathOptionRequest          VADKuidReply
//    40  install archive                 VADPathOptionRequest          VADBoolReply (the out byte)
//    42  dependencies                    VADKuidRequest                VADKuidListReply
//    43  obsoletes                       VADKuidRequest                VADKuidListReply
//    44  missing dependencies            VADKuidFlagRequest (local only)  VADBoolReply
//    45  faulty                          VADKuidRequest                VADBoolReply
//    41  install from folders            VADPathListRequest            VADKuidListReply (null KUID: not installed)
//    47  asset folders                   VADKuidListRequest            VADAssetFoldersReply
//    48  archive entry                   VADKuidValueRequest (detail)  VADTreeReply
//    49  export package                  VADExportPackageRequest       (empty)
//    50  favourite             (async)   VADKuidFlagRequest            -
//    53  get keywords                    VADKuidRequest                VADTextReply
//    54  set keywords          (async)   VADKuidTextRequest            -
//    60  generate KUID                   (empty)                       VADKuidReply
//    61  next content id                 VADValueRequest               (empty)
//    62  list builds                     (empty)                       VADTextReply
//    64  folder check                    VADTextPairRequest (source, folder)  VADBoolReply
//    65  user id valid                   VADValueRequest               VADBoolReply
//    66  author name                     VADValueRequest               VADTextReply
//    70  repair now                      VADRepairRequest              (empty)
//    71  flag repair           (async)   VADValueRequest (mode)        -
//   100  get settings group              VADSettingsGroupRequest       VADTreeReply
//   101  set settings group              VADSetSettingsGroupRequest    (empty)
//   102  setting string                  VADTextPairRequest (group, key)  VADTextReply
//   103  set setting int       (async)   VADSetSettingIntRequest       -
//   110  download-station latest KUID    VADKuidRequest                VADKuidReply
//   111  resolve package       (async)   VADResolvePackageRequest      notification 3 with the same id
//   112  download              (async)   VADDownloadRequest            notification 3 with the same id
//   113  analytics hit         (async)   VADTextPairRequest (page, label)  -
//   140  register command host (async)   (empty)                       -
//   141  job reply             (async)   the reply stream the command host wrote (raw)  -
//   230  close daemon          (async)   VADValueRequest (1: uninstall)   -
//   235  begin wait ready                (empty)                       (empty)
//   236  is ready                        (empty)                       VADBoolReply
//
// Results that a request posts travel as VAD_NOTIFY_RESULT notifications (VADResultNotification) with
// the request's transaction id, before its reply. Config trees, archive entries, settings groups and
// result parameters travel as the soup's binary file form ("ACS$" header) inside a blob.
#include "assetdb/VADFilter.h"
#include "assetdb/VADWireIO.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

template <typename T>
VADBytes VADEncode(const T& payload)
{
    VADWriter w;
    payload.Write(w);
    return w.Take();
}

template <typename T>
bool VADDecode(const VADBytes& bytes, T& payload)
{
    VADReader r(bytes);
    T tmp;
    tmp.Read(r);
    if (!r.Done()) return false;
    payload = std::move(tmp);
    return true;
}

template <typename T>
bool VADDecode(const uint8_t* data, size_t n, T& payload)
{
    VADReader r(data, n);
    T tmp;
    tmp.Read(r);
    if (!r.Done()) return false;
    payload = std::move(tmp);
    return true;
}

// ---- requests ----------------------------------------------------------------------------------------

// Empty payloads (0, 3, 60, 62, 140, 235, 236; empty reply bodies).
struct VADEmptyPayload
{
    void Write(VADWriter&) const {}
    void Read(VADReader&) {}
};

// KUID
struct VADKuidRequest
{
    KUID kuid = KUID::Null();
    void Write(VADWriter& w) const { w.Kuid(kuid); }
    void Read(VADReader& r) { kuid = r.Kuid(); }
};

// KUID | u8 flag
struct VADKuidFlagRequest
{
    KUID kuid = KUID::Null();
    uint8_t flag = 0;
    void Write(VADWriter& w) const
    {
        w.Kuid(kuid);
        w.U8(flag);
    }
    void Read(VADReader& r)
    {
        kuid = r.Kuid();
        flag = r.U8();
    }
};

// KUID | i32 value
struct VADKuidValueRequest
{
    KUID kuid = KUID::Null();
    int32_t value = 0;
    void Write(VADWriter& w) const
    {
        w.Kuid(kuid);
        w.I32(value);
    }
    void Read(VADReader& r)
    {
        kuid = r.Kuid();
        value = r.I32();
    }
};

// KUID | string text
struct VADKuidTextRequest
{
    KUID kuid = KUID::Null();
    std::string text;
    void Write(VADWriter& w) const
    {
        w.Kuid(kuid);
        w.String(text);
    }
    void Read(VADReader& r)
    {
        kuid = r.Kuid();
        text = r.String();
    }
};

// u32 handle
struct VADHandleRequest
{
    uint32_t handle = 0;
    void Write(VADWriter& w) const { w.U32(handle); }
    void Read(VADReader& r) { handle = r.U32(); }
};

// u32 handle | u32 option word | u8 flag
struct VADHandleOptionRequest
{
    uint32_t handle = 0;
    uint32_t option = 0;
    uint8_t flag = 0;
    void Write(VADWriter& w) const
    {
        w.U32(handle);
        w.U32(option);
        w.U8(flag);
    }
    void Read(VADReader& r)
    {
        handle = r.U32();
        option = r.U32();
        flag = r.U8();
    }
};

// KUID (the null KUID for a new one) | string display name | u8 flag
struct VADCreateRequest
{
    KUID kuid = KUID::Null();
    std::string name;
    uint8_t flag = 0;
    void Write(VADWriter& w) const
    {
        w.Kuid(kuid);
        w.String(name);
        w.U8(flag);
    }
    void Read(VADReader& r)
    {
        kuid = r.Kuid();
        name = r.String();
        flag = r.U8();
    }
};

// string first | string second
struct VADTextPairRequest
{
    std::string first;
    std::string second;
    void Write(VADWriter& w) const
    {
        w.String(first);
        w.String(second);
    }
    void Read(VADReader& r)
    {
        first = r.String();
        second = r.String();
    }
};

// string path | u32 value | u8 flag
struct VADPathOptionRequest
{
    std::string path;
    uint32_t value = 0;
    uint8_t flag = 0;
    void Write(VADWriter& w) const
    {
        w.String(path);
        w.U32(value);
        w.U8(flag);
    }
    void Read(VADReader& r)
    {
        path = r.String();
        value = r.U32();
        flag = r.U8();
    }
};

// u32 n | n strings (texture targets) | string package path | u32 m | m strings (dependency packages) |
// u32 k | k KUIDs
struct VADExportPackageRequest
{
    std::vector<std::string> targets;
    std::string packagePath;
    std::vector<std::string> dependencies;
    std::vector<KUID> kuids;
    void Write(VADWriter& w) const
    {
        w.StringList(targets);
        w.String(packagePath);
        w.StringList(dependencies);
        w.KuidList(kuids);
    }
    void Read(VADReader& r)
    {
        targets = r.StringList();
        packagePath = r.String();
        dependencies = r.StringList();
        kuids = r.KuidList();
    }
};

// u32 n | n KUIDs
struct VADKuidListRequest
{
    std::vector<KUID> kuids;
    void Write(VADWriter& w) const { w.KuidList(kuids); }
    void Read(VADReader& r) { kuids = r.KuidList(); }
};

// u32 n | n strings (folder paths) | u32 option value
struct VADPathListRequest
{
    std::vector<std::string> paths;
    uint32_t value = 0;
    void Write(VADWriter& w) const
    {
        w.StringList(paths);
        w.U32(value);
    }
    void Read(VADReader& r)
    {
        paths = r.StringList();
        value = r.U32();
    }
};

// i32 value
struct VADValueRequest
{
    int32_t value = 0;
    void Write(VADWriter& w) const { w.I32(value); }
    void Read(VADReader& r) { value = r.I32(); }
};

// u32 repair mode | u8 progress flag
struct VADRepairRequest
{
    uint32_t mode = 100;
    uint8_t progress = 1;
    void Write(VADWriter& w) const
    {
        w.U32(mode);
        w.U8(progress);
    }
    void Read(VADReader& r)
    {
        mode = r.U32();
        progress = r.U8();
    }
};

// string group | u32 flags
struct VADSettingsGroupRequest
{
    std::string group;
    uint32_t flags = 0;
    void Write(VADWriter& w) const
    {
        w.String(group);
        w.U32(flags);
    }
    void Read(VADReader& r)
    {
        group = r.String();
        flags = r.U32();
    }
};

// string group | blob tree
struct VADSetSettingsGroupRequest
{
    std::string group;
    VADBytes tree;
    void Write(VADWriter& w) const
    {
        w.String(group);
        w.Blob(tree);
    }
    void Read(VADReader& r)
    {
        group = r.String();
        tree = r.Blob();
    }
};

// string group | string key | i32 value
struct VADSetSettingIntRequest
{
    std::string group;
    std::string key;
    int32_t value = 0;
    void Write(VADWriter& w) const
    {
        w.String(group);
        w.String(key);
        w.I32(value);
    }
    void Read(VADReader& r)
    {
        group = r.String();
        key = r.String();
        value = r.I32();
    }
};

// the filter tree (VADFilter.h); its root is a group
struct VADQueryRequest
{
    VADFilterElementGroup filter;
    void Write(VADWriter& w) const { VADEncodeFilter(w, filter); }
    void Read(VADReader& r);
};

// Web requests carry an id of two words chosen by the client; the answer comes as notification 3.
// u32 id high | u32 id low | KUID
struct VADResolvePackageRequest
{
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    KUID kuid = KUID::Null();
    void Write(VADWriter& w) const
    {
        w.U32(idHigh);
        w.U32(idLow);
        w.Kuid(kuid);
    }
    void Read(VADReader& r)
    {
        idHigh = r.U32();
        idLow = r.U32();
        kuid = r.Kuid();
    }
};

// u32 id high | u32 id low | string source (as resolved) | string target folder
struct VADDownloadRequest
{
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    std::string source;
    std::string targetFolder;
    void Write(VADWriter& w) const
    {
        w.U32(idHigh);
        w.U32(idLow);
        w.String(source);
        w.String(targetFolder);
    }
    void Read(VADReader& r)
    {
        idHigh = r.U32();
        idLow = r.U32();
        source = r.String();
        targetFolder = r.String();
    }
};

// ---- reply bodies ------------------------------------------------------------------------------------

// u32 value
struct VADValueReply
{
    uint32_t value = 0;
    void Write(VADWriter& w) const { w.U32(value); }
    void Read(VADReader& r) { value = r.U32(); }
};

// u8 value (0 or 1)
struct VADBoolReply
{
    uint8_t value = 0;
    void Write(VADWriter& w) const { w.U8(value); }
    void Read(VADReader& r)
    {
        value = r.U8();
        if (value > 1) r.Fail();
    }
};

// string
struct VADTextReply
{
    std::string text;
    void Write(VADWriter& w) const { w.String(text); }
    void Read(VADReader& r) { text = r.String(); }
};

// KUID
struct VADKuidReply
{
    KUID kuid = KUID::Null();
    void Write(VADWriter& w) const { w.Kuid(kuid); }
    void Read(VADReader& r) { kuid = r.Kuid(); }
};

// u32 count | count KUIDs
struct VADKuidListReply
{
    std::vector<KUID> kuids;
    void Write(VADWriter& w) const { w.KuidList(kuids); }
    void Read(VADReader& r) { kuids = r.KuidList(); }
};

// u32 n | n x { u8 installed (known to the database and local) | string folder of the active copy }
struct VADAssetFoldersReply
{
    std::vector<std::pair<uint8_t, std::string>> folders;
    void Write(VADWriter& w) const
    {
        w.U32(static_cast<uint32_t>(folders.size()));
        for (const auto& [installed, folder] : folders)
        {
            w.U8(installed);
            w.String(folder);
        }
    }
    void Read(VADReader& r)
    {
        folders.clear();
        const uint32_t n = r.Count(5);
        for (uint32_t i = 0; i < n && r.Ok(); ++i)
        {
            uint8_t installed = r.U8();
            folders.emplace_back(installed, r.String());
        }
    }
};

// blob: a config tree in the binary form; empty for none
struct VADTreeReply
{
    VADBytes tree;
    void Write(VADWriter& w) const { w.Blob(tree); }
    void Read(VADReader& r) { tree = r.Blob(); }
};

// string name (the content source) | string folder
struct VADEditFolderReply
{
    std::string name;
    std::string folder;
    void Write(VADWriter& w) const
    {
        w.String(name);
        w.String(folder);
    }
    void Read(VADReader& r)
    {
        name = r.String();
        folder = r.String();
    }
};

// string name | string local thumbnail path | string text
struct VADThumbnailReply
{
    std::string name;
    std::string path;
    std::string text;
    void Write(VADWriter& w) const
    {
        w.String(name);
        w.String(path);
        w.String(text);
    }
    void Read(VADReader& r)
    {
        name = r.String();
        path = r.String();
        text = r.String();
    }
};

// ---- notifications -----------------------------------------------------------------------------------

// VAD_NOTIFY_RESULT, id = the transaction whose log receives the result:
// u32 kind (1 message, 2 warning, 3 error, 4 success) | u8 has source | string source name |
// KUID source | string text (a "$" key or plain text) | blob parameter tree (empty: none)
struct VADResultNotification
{
    uint32_t kind = 1;
    uint8_t hasSource = 0;
    std::string sourceName;
    KUID source = KUID::Null();
    std::string text;
    VADBytes params;
    void Write(VADWriter& w) const
    {
        w.U32(kind);
        w.U8(hasSource);
        w.String(sourceName);
        w.Kuid(source);
        w.String(text);
        w.Blob(params);
    }
    void Read(VADReader& r)
    {
        kind = r.U32();
        hasSource = r.U8();
        sourceName = r.String();
        source = r.Kuid();
        text = r.String();
        params = r.Blob();
        if (kind < 1 || kind > 4 || hasSource > 1) r.Fail();
    }
};

// VAD_NOTIFY_WEB_REPLY, id 0:
// u32 id high | u32 id low | u8 complete | u32 result | u32 value 1 | u32 value 2 | string path |
// string name | string text
struct VADWebReplyNotification
{
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    uint8_t complete = 0;
    uint32_t words[3] = {0, 0, 0};
    std::string path;
    std::string name;
    std::string text;
    void Write(VADWriter& w) const
    {
        w.U32(idHigh);
        w.U32(idLow);
        w.U8(complete);
        for (uint32_t v : words) w.U32(v);
        w.String(path);
        w.String(name);
        w.String(text);
    }
    void Read(VADReader& r)
    {
        idHigh = r.U32();
        idLow = r.U32();
        complete = r.U8();
        for (uint32_t& v : words) v = r.U32();
        path = r.String();
        name = r.String();
        text = r.String();
    }
};

// VAD_NOTIFY_PROGRESS, id 0: string text
struct VADProgressNotification
{
    std::string text;
    void Write(VADWriter& w) const { w.String(text); }
    void Read(VADReader& r) { text = r.String(); }
};

// ---- command-host jobs (VAD_NOTIFY_JOB payloads) -----------------------------------------------------
// u32 command id, then by id:
//   0 validate          string source name | string asset path
//   1 texture convert   string source name | string folder | string ";"-separated target list
//   2 archive save      u32 archive id | string archive path | u32 n | n KUIDs
//   3 archive install   u32 archive id | string archive path | u32 n | n KUIDs
// The command host's reply (request 141) is its results log in the log's stream form, then: 0 u8
// result; 1 u32 result; 2 u32 result (1 or 0); 3 u32 n | n KUIDs. An unknown id gets an empty reply.
enum VADCommandHostJob : uint32_t
{
    VAD_CMDHOST_VALIDATE = 0,
    VAD_CMDHOST_TEXTURECONVERT = 1,
    VAD_CMDHOST_ARCHIVE_SAVETODISK = 2,
    VAD_CMDHOST_ARCHIVE_INSTALL = 3,
};

struct VADJob
{
    uint32_t command = VAD_CMDHOST_VALIDATE;
    std::string source;       // 0, 1
    std::string path;         // 0: asset path; 1: folder; 2, 3: archive path
    std::string targets;      // 1
    uint32_t archiveId = 0;   // 2, 3
    std::vector<KUID> kuids;  // 2, 3
    // 3: a folder in the cache where the host may stage copies of the assets that had neither a record nor
    // an edit when the job was made (`unknown`), to install them in batches; empty for none. (A host also
    // takes a job that ends before them.)
    // 2: optional (absent when empty): a folder holding a copy of each asset, "<spaced KUID>", to save
    // instead of the installed assets (a device package's copies).
    std::string staging;
    std::vector<KUID> unknown;
    void Write(VADWriter& w) const;
    void Read(VADReader& r);
};

// ---- config trees in blobs ---------------------------------------------------------------------------
// A tree to the binary soup form ("ACS$" header); the null tree gives an empty blob. False when the tree
// cannot be written.
bool VADTreeToBytes(const TDBTagRef& tree, VADBytes& out);
// An empty blob gives the null tree; false (and a null tree) for bytes that are not a sound binary soup.
bool VADTreeFromBytes(const VADBytes& bytes, TDBTagRef& out);
