#pragma once
// The payloads of every request, reply, notification and command-host job on the daemon link, for both
// sides. Which request carries which payload is the request table's to say (VADRequestTable.def).
//
// Each payload lists its fields once (VAD_FIELDS, VADFields.h); VADEncode gives its bytes and VADDecode
// refuses a payload whose lengths don't add up: truncated, with bytes left over, or with a count larger
// than the bytes that follow could hold. A reply payload is the i32 status followed by the body given here
// (VADEncodeReplyPayload); on a negative status the body is empty.
//
// Results that a request posts travel as VAD_NOTIFY_RESULT notifications (VADResultNotification) with
// the request's transaction id, before its reply. Config trees, archive entries, settings groups and
// result parameters travel as the soup's binary file form ("ACS$" header) inside a blob.
#include "assetdb/VADFields.h"
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
    VADWriteFields(w, payload);
    return w.Take();
}

// Reads a whole payload from `r`: `payload` is set only when every byte was read and nothing is left over.
template <typename T>
bool VADDecodeFrom(VADReader& r, T& payload)
{
    T tmp;
    VADReadFields(r, tmp);
    if (!r.Done()) return false;
    payload = std::move(tmp);
    return true;
}

template <typename T>
bool VADDecode(const VADBytes& bytes, T& payload)
{
    VADReader r(bytes);
    return VADDecodeFrom(r, payload);
}

template <typename T>
bool VADDecode(const uint8_t* data, size_t n, T& payload)
{
    VADReader r(data, n);
    return VADDecodeFrom(r, payload);
}

// A request as the daemon takes it: as VADDecode, and a string holding a zero byte before its end refuses
// the payload (the text would otherwise be cut at the zero).
template <typename T>
bool VADDecodeRequest(const VADBytes& bytes, T& payload)
{
    VADReader r(bytes);
    r.RefuseZeroInStrings();
    return VADDecodeFrom(r, payload);
}

// ---- requests ----------------------------------------------------------------------------------------

// Empty payloads (0, 3, 60, 62, 140, 235, 236; empty reply bodies).
struct VADEmptyPayload
{
    template <typename Visit>
    void Fields(Visit&&) const
    {}
};

// KUID
struct VADKuidRequest
{
    KUID kuid = KUID::Null();
    VAD_FIELDS(kuid)
};

// KUID | u8 flag
struct VADKuidFlagRequest
{
    KUID kuid = KUID::Null();
    uint8_t flag = 0;
    VAD_FIELDS(kuid, flag)
};

// KUID | i32 value
struct VADKuidValueRequest
{
    KUID kuid = KUID::Null();
    int32_t value = 0;
    VAD_FIELDS(kuid, value)
};

// KUID | string text
struct VADKuidTextRequest
{
    KUID kuid = KUID::Null();
    std::string text;
    VAD_FIELDS(kuid, text)
};

// KUID | string content source | string the asset's folder (absolute, inside the source's folder): the asset
// and the folder to validate, as the asset's edit folder gave them
struct VADValidateRequest
{
    KUID kuid = KUID::Null();
    std::string source;
    std::string folder;
    VAD_FIELDS(kuid, source, folder)
};

// u32 handle
struct VADHandleRequest
{
    uint32_t handle = 0;
    VAD_FIELDS(handle)
};

// u32 handle | u32 option word | u8 flag
struct VADHandleOptionRequest
{
    uint32_t handle = 0;
    uint32_t option = 0;
    uint8_t flag = 0;
    VAD_FIELDS(handle, option, flag)
};

// KUID (the null KUID for a new one) | string display name | u8 flag
struct VADCreateRequest
{
    KUID kuid = KUID::Null();
    std::string name;
    uint8_t flag = 0;
    VAD_FIELDS(kuid, name, flag)
};

// string first | string second
struct VADTextPairRequest
{
    std::string first;
    std::string second;
    VAD_FIELDS(first, second)
};

// string path | u32 value | u8 flag
struct VADPathOptionRequest
{
    std::string path;
    uint32_t value = 0;
    uint8_t flag = 0;
    VAD_FIELDS(path, value, flag)
};

// u32 n | n strings (texture targets) | string package path | u32 m | m strings (dependency packages) |
// u32 k | k KUIDs
struct VADExportPackageRequest
{
    std::vector<std::string> targets;
    std::string packagePath;
    std::vector<std::string> dependencies;
    std::vector<KUID> kuids;
    VAD_FIELDS(targets, packagePath, dependencies, kuids)
};

// u32 n | n KUIDs
struct VADKuidListRequest
{
    std::vector<KUID> kuids;
    VAD_FIELDS(kuids)
};

// u32 n | n strings (folder paths) | u32 option value
struct VADPathListRequest
{
    std::vector<std::string> paths;
    uint32_t value = 0;
    VAD_FIELDS(paths, value)
};

// i32 value
struct VADValueRequest
{
    int32_t value = 0;
    VAD_FIELDS(value)
};

// u32 repair mode | u8 progress flag
struct VADRepairRequest
{
    uint32_t mode = 100;
    uint8_t progress = 1;
    VAD_FIELDS(mode, progress)
};

// string group | u32 flags
struct VADSettingsGroupRequest
{
    std::string group;
    uint32_t flags = 0;
    VAD_FIELDS(group, flags)
};

// string group | blob tree
struct VADSetSettingsGroupRequest
{
    std::string group;
    VADBytes tree;
    VAD_FIELDS(group, tree)
};

// string group | string key | i32 value
struct VADSetSettingIntRequest
{
    std::string group;
    std::string key;
    int32_t value = 0;
    VAD_FIELDS(group, key, value)
};

// The filter tree (VADFilter.h) as a field; its root must be a group.
void VADPutField(VADWriter& w, const VADFilterElementGroup& filter);
void VADGetField(VADReader& r, VADFilterElementGroup& filter);

// the filter tree (VADFilter.h); its root is a group
struct VADQueryRequest
{
    VADFilterElementGroup filter;
    VAD_FIELDS(filter)
};

// Web requests carry an id of two words chosen by the client; the answer comes as notification 3.
// u32 id high | u32 id low | KUID
struct VADResolvePackageRequest
{
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    KUID kuid = KUID::Null();
    VAD_FIELDS(idHigh, idLow, kuid)
};

// u32 id high | u32 id low | string source (as resolved) | string target folder
struct VADDownloadRequest
{
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    std::string source;
    std::string targetFolder;
    VAD_FIELDS(idHigh, idLow, source, targetFolder)
};

// The payload forwarded as it stands (the command host's job reply, request 141).
struct VADRawPayload
{
    VADBytes bytes;
    VAD_FIELDS(VADRest{bytes})
};

// Request 237. Every request a link carries with transaction id 0 has an ordinal on that link: 1 for the first one
// sent after the hello, and so on in the order sent (VADConnection::SendAsync tells it).
// u64 first: the lowest ordinal whose failure is to be listed
struct VADConfirmSentRequest
{
    uint64_t first = 1;
    VAD_FIELDS(first)
};

// ---- reply bodies ------------------------------------------------------------------------------------

// u32 value
struct VADValueReply
{
    uint32_t value = 0;
    VAD_FIELDS(value)
};

// u8 value (0 or 1)
struct VADBoolReply
{
    uint8_t value = 0;
    VAD_FIELDS(value)
    bool Valid() const { return value <= 1; }
};

// string
struct VADTextReply
{
    std::string text;
    VAD_FIELDS(text)
};

// KUID
struct VADKuidReply
{
    KUID kuid = KUID::Null();
    VAD_FIELDS(kuid)
};

// u32 count | count KUIDs
struct VADKuidListReply
{
    std::vector<KUID> kuids;
    VAD_FIELDS(kuids)
};

// u32 n | n x { u8 installed (known to the database and local) | string folder of the active copy }
struct VADAssetFoldersReply
{
    std::vector<std::pair<uint8_t, std::string>> folders;
    VAD_FIELDS(folders)
};

// blob: a config tree in the binary form; empty for none
struct VADTreeReply
{
    VADBytes tree;
    VAD_FIELDS(tree)
};

// string name (the content source) | string folder
struct VADEditFolderReply
{
    std::string name;
    std::string folder;
    VAD_FIELDS(name, folder)
};

// string name | string local thumbnail path | string text
struct VADThumbnailReply
{
    std::string name;
    std::string path;
    std::string text;
    VAD_FIELDS(name, path, text)
};

// What request 56 held aside: nothing (the asset is not known), the installed copy's folder, or (an asset only
// built in) its record alone.
constexpr uint32_t kVADHeldNothing = 0;
constexpr uint32_t kVADHeldFolder = 1;
constexpr uint32_t kVADHeldRecord = 2;

// u32 held (kVADHeld...) | string where it waits (the folder, or the record's file; empty for nothing)
struct VADHoldReply
{
    uint32_t held = kVADHeldNothing;
    std::string at;
    VAD_FIELDS(held, at)
    bool Valid() const { return held <= kVADHeldRecord; }
};

// The most failures one answer to request 237 lists, and the most a connection keeps for it.
constexpr size_t kVADConfirmListMax = 1024;

// Request 237: u64 handled | u64 forgotten through | u32 n | n x { u64 ordinal | i32 status }
// `handled`: how many of the link's requests without transaction id the daemon has carried out or failed (all of
// them with ordinals up to it). `failed`: those that failed, from the ordinal asked for on, in order, with their
// status; a connection keeps the last kVADConfirmListMax failures, and `forgottenThrough` (0: none) is the highest
// ordinal of one it no longer keeps: a request at or below it that is not listed may have failed too.
struct VADConfirmSentReply
{
    uint64_t handled = 0;
    uint64_t forgottenThrough = 0;
    std::vector<std::pair<uint64_t, int32_t>> failed;
    VAD_FIELDS(handled, forgottenThrough, failed)
    bool Valid() const { return failed.size() <= kVADConfirmListMax; }
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
    VAD_FIELDS(kind, hasSource, sourceName, source, text, params)
    bool Valid() const { return kind >= 1 && kind <= 4 && hasSource <= 1; }
    static constexpr size_t kMinWireBytes = 4 + 1 + 4 + 8 + 4 + 4;
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
    VAD_FIELDS(idHigh, idLow, complete, words, path, name, text)
};

// VAD_NOTIFY_PROGRESS, id 0: string text
struct VADProgressNotification
{
    std::string text;
    VAD_FIELDS(text)
};

// ---- command-host jobs (VAD_NOTIFY_JOB payloads) and their replies (request 141) ------------------------
// u32 command id, then by id:
//   0 validate          string source name | string asset folder (absolute)
//   1 texture convert   string source name | string folder | string ";"-separated target list
//   2 archive save      u32 archive id | string archive path | u32 n | n KUIDs [| string copies folder]
//   3 archive install   u32 archive id | string archive path | u32 n | n KUIDs | string staging folder |
//                       u32 m | m KUIDs
// The command host answers each job it could read with a VADHostReply.
enum VADCommandHostJob : uint32_t
{
    VAD_CMDHOST_VALIDATE = 0,
    VAD_CMDHOST_TEXTURECONVERT = 1,
    VAD_CMDHOST_ARCHIVE_SAVETODISK = 2,
    VAD_CMDHOST_ARCHIVE_INSTALL = 3,
};

// The most KUIDs a job or a reply may carry.
constexpr uint32_t kVADMaxJobKUIDs = 1u << 20;

struct VADJob
{
    uint32_t command = VAD_CMDHOST_VALIDATE;
    std::string source;       // 0, 1
    std::string path;         // 0: asset folder; 1: folder; 2, 3: archive path
    std::string targets;      // 1
    uint32_t archiveId = 0;   // 2, 3
    std::vector<KUID> kuids;  // 2, 3
    // 3: a folder in the cache where the host may stage copies of the assets that had neither a record nor
    // an edit when the job was made (`unknown`), to install them in batches; empty for none.
    // 2: optional (absent when empty): a folder holding a copy of each asset, "<spaced KUID>", to save
    // instead of the installed assets (a device package's copies).
    std::string staging;
    std::vector<KUID> unknown;

    // The fields after the command word depend on it.
    template <typename Visit>
    void Fields(Visit&& visit)
    {
        JobFields(*this, visit);
    }
    template <typename Visit>
    void Fields(Visit&& visit) const
    {
        JobFields(*this, visit);
    }
    bool Valid() const
    {
        return command <= VAD_CMDHOST_ARCHIVE_INSTALL && kuids.size() <= kVADMaxJobKUIDs &&
               unknown.size() <= kVADMaxJobKUIDs;
    }

private:
    template <typename Job, typename Visit>
    static void JobFields(Job& job, Visit& visit)
    {
        visit(job.command);
        switch (job.command)
        {
        case VAD_CMDHOST_VALIDATE: visit(job.source, job.path); break;
        case VAD_CMDHOST_TEXTURECONVERT: visit(job.source, job.path, job.targets); break;
        case VAD_CMDHOST_ARCHIVE_SAVETODISK: visit(job.archiveId, job.path, job.kuids, VADTail{job.staging}); break;
        case VAD_CMDHOST_ARCHIVE_INSTALL: visit(job.archiveId, job.path, job.kuids, job.staging, job.unknown); break;
        default: break;
        }
    }
};

// The command host's reply to a job: the command id of the job it answers, the job's results in posting order
// (their texts filled in, no parameters left), then by id:
//   0 validate          u32 answer: 1 passed, 0 not
//   1 texture convert   u32 answer: the conversion's result (2: every texture converted)
//   2 archive save      u32 answer: 1 every asset written, 0 not
//   3 archive install   u32 n | n KUIDs: the assets installed, in the file's order
// A job the host could not read gets an empty reply, which decodes as no reply of any job.
struct VADHostReply
{
    uint32_t command = VAD_CMDHOST_VALIDATE;
    std::vector<VADResultNotification> results;
    uint32_t answer = 0;          // 0, 1, 2
    std::vector<KUID> installed;  // 3

    template <typename Visit>
    void Fields(Visit&& visit)
    {
        ReplyFields(*this, visit);
    }
    template <typename Visit>
    void Fields(Visit&& visit) const
    {
        ReplyFields(*this, visit);
    }
    bool Valid() const
    {
        const bool answerValid =
            command == VAD_CMDHOST_TEXTURECONVERT || command == VAD_CMDHOST_ARCHIVE_INSTALL || answer <= 1;
        return command <= VAD_CMDHOST_ARCHIVE_INSTALL && answerValid && installed.size() <= kVADMaxJobKUIDs;
    }

private:
    template <typename Reply, typename Visit>
    static void ReplyFields(Reply& reply, Visit& visit)
    {
        visit(reply.command, reply.results);
        if (reply.command == VAD_CMDHOST_ARCHIVE_INSTALL)
            visit(reply.installed);
        else if (reply.command < VAD_CMDHOST_ARCHIVE_INSTALL)
            visit(reply.answer);
    }
};

// ---- config trees in blobs ---------------------------------------------------------------------------
// A tree to the binary soup form ("ACS$" header); the null tree gives an empty blob. False when the tree
// cannot be written.
bool VADTreeToBytes(const TDBTagRef& tree, VADBytes& out);
// An empty blob gives the null tree; false (and a null tree) for bytes that are not a sound binary soup.
bool VADTreeFromBytes(const VADBytes& bytes, TDBTagRef& out);
