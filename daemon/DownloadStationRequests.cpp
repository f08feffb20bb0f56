// The download station without a network: a local mirror folder named by the setting
// "internet"/"dls-mirror", holding "index.txt" and "packages/*.cdp", and analytics hits appended to
// UserData/cache/analytics.log.
//
// index.txt:   assets { 0 { kuid <kuid2:u:c:v>  package "name.cdp" } 1 { ... } }
#include "daemon/RequestHandlers.h"

#include "core/ConfigFile.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxAnalyticsText = 1024;

std::string MirrorFolder(RequestContext& c)
{
    std::string mirror = c.server.Database().GetSettingString("internet", "dls-mirror");
    mirror = NormalisePath(mirror);
    return FolderExists(mirror) ? mirror : std::string();
}

// The newest version of an asset the mirror lists, and its package file name.
bool FindInMirror(const std::string& mirror, const KUID& k, KUID& latest, std::string& package)
{
    TDBTagRef index;
    if (mirror.empty() || !LoadConfigFile(index, "", mirror + "/index.txt")) return false;
    TDBTagRef assets = index.GetChildContainer("assets");
    bool found = false;
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
    {
        TDBTagRef e = assets.GetChildContainerAt(i);
        KUID have = e.GetChildKUID("kuid");
        std::string file(e.GetChildString("package").View());
        if (have.userId != k.userId || have.contentId != k.contentId || !IsSafeFileName(file)) continue;
        if (!found || latest.version < have.version)
        {
            latest = have;
            package = file;
            found = true;
        }
    }
    return found;
}

void SendWebReply(RequestContext& c, uint32_t idHigh, uint32_t idLow, uint32_t result, const std::string& path,
                  const std::string& name, const std::string& text, uint32_t size = 0)
{
    VADWebReplyNotification n;
    n.idHigh = idHigh;
    n.idLow = idLow;
    n.complete = 1;
    n.words[0] = result;
    n.words[1] = size;
    n.path = path;
    n.name = name;
    n.text = text;
    c.from->Send(VAD_NOTIFY_WEB_REPLY, 0, VADEncode(n));
}

int32_t Latest(RequestContext& c)
{
    VADKuidRequest req;
    if (!DecodeRequest(c, req)) return kVADStatusBadPayload;
    KUID latest;
    std::string package;
    if (!FindInMirror(MirrorFolder(c), req.kuid, latest, package)) return kVADStatusNotFound;
    VADKuidReply{latest}.Write(c.body);
    return kVADStatusOK;
}

int32_t Resolve(RequestContext& c)
{
    VADResolvePackageRequest req;
    if (!DecodeRequest(c, req)) return kVADStatusBadPayload;
    std::string mirror = MirrorFolder(c);
    KUID latest;
    std::string package;
    if (!FindInMirror(mirror, req.kuid, latest, package) || !fs::is_regular_file(mirror + "/packages/" + package))
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {}, "The download station has no package for " + req.kuid.ToString());
    else
        SendWebReply(c, req.idHigh, req.idLow, 0, mirror + "/packages/" + package, package, latest.ToString());
    return kVADStatusOK;
}

int32_t Download(RequestContext& c)
{
    VADDownloadRequest req;
    if (!DecodeRequest(c, req)) return kVADStatusBadPayload;
    std::string mirror = MirrorFolder(c);
    std::string source = NormalisePath(req.source);
    std::string target = NormalisePath(req.targetFolder);
    // Only files of the mirror, only into the user-data folders.
    if (mirror.empty() || source.empty() || !IsPathInside(source, mirror) || !fs::is_regular_file(source) ||
        target.empty() || !IsPathInside(target, c.server.Root().UserData()))
    {
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {}, "The download was refused: '" + req.source + "'");
        return kVADStatusOK;
    }
    std::string name = fs::path(source).filename().string();
    std::error_code ec;
    fs::create_directories(target, ec);
    fs::copy_file(source, target + "/" + name, fs::copy_options::overwrite_existing, ec);
    if (ec)
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, name, "The download failed: " + ec.message());
    else
        SendWebReply(c, req.idHigh, req.idLow, 0, target + "/" + name, name, {},
                     static_cast<uint32_t>(fs::file_size(target + "/" + name, ec)));
    return kVADStatusOK;
}

int32_t AnalyticsHit(RequestContext& c)
{
    VADTextPairRequest req;
    if (!DecodeRequest(c, req)) return kVADStatusBadPayload;
    auto clean = [](std::string s) {
        if (s.size() > kMaxAnalyticsText) s.resize(kMaxAnalyticsText);
        for (char& ch : s)
            if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
        return s;
    };
    static std::mutex mutex;
    std::lock_guard lk(mutex);
    std::string path = c.server.Root().UserData("cache") + "/analytics.log";
    FILE* f = fopen(path.c_str(), "a");
    if (!f) return kVADStatusFailed;
    fprintf(f, "%lld\t%s\t%s\n", static_cast<long long>(time(nullptr)), clean(req.first).c_str(), clean(req.second).c_str());
    fclose(f);
    return kVADStatusOK;
}

} // namespace

bool HandleDownloadStationRequest(RequestContext& c, int32_t& status)
{
    switch (c.code)
    {
    case VAD_REQ_DLS_LATEST_KUID: status = Latest(c); return true;
    case VAD_REQ_RESOLVE_PACKAGE: status = Resolve(c); return true;
    case VAD_REQ_DOWNLOAD: status = Download(c); return true;
    case VAD_REQ_ANALYTICS_HIT: status = AnalyticsHit(c); return true;
    default: return false;
    }
}
