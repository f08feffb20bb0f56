// The download station without a network (the local mirror of DownloadMirror.h), and analytics hits
// appended to UserData/cache/analytics.log.
#include "daemon/RequestHandlers.h"

#include "daemon/DaemonLog.h"
#include "daemon/DownloadMirror.h"
#include "daemon/FolderOps.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxAnalyticsText = 1024;

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

int32_t Latest(RequestContext& c, const VADKuidRequest& req, VADKuidReply& reply)
{
    RefreshStationListing(c.Db());
    std::string package;
    return FindInMirror(MirrorFolder(c.Db()), req.kuid, reply.kuid, package) ? kVADStatusOK : kVADStatusNotFound;
}

int32_t Resolve(RequestContext& c, const VADResolvePackageRequest& req, VADEmptyPayload&)
{
    RefreshStationListing(c.Db());
    std::string mirror = MirrorFolder(c.Db());
    KUID latest;
    std::string package;
    if (!FindInMirror(mirror, req.kuid, latest, package) || !fs::is_regular_file(mirror + "/packages/" + package))
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {},
                     "The download station has no package for " + req.kuid.ToString());
    else
        SendWebReply(c, req.idHigh, req.idLow, 0, mirror + "/packages/" + package, package, latest.ToString());
    return kVADStatusOK;
}

int32_t Download(RequestContext& c, const VADDownloadRequest& req, VADEmptyPayload&)
{
    RefreshStationListing(c.Db());
    std::string mirror = MirrorFolder(c.Db());
    std::string source = NormalisePath(req.source);
    std::string target = NormalisePath(req.targetFolder);
    // Only files of the mirror, only into the user-data folders, and never into the installed or edited
    // asset folders or the backups, which only the daemon itself changes.
    bool ownFolder = false;
    for (const char* own : {"local", "editing", "backups"})
        ownFolder = ownFolder || IsPathInside(target, c.server.Root().UserData(own));
    if (mirror.empty() || source.empty() || !IsPathInside(source, mirror) || !fs::is_regular_file(source) ||
        target.empty() || !IsPathInside(target, c.server.Root().UserData()) || ownFolder)
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

int32_t AnalyticsHit(RequestContext& c, const VADTextPairRequest& req, VADEmptyPayload&)
{
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
    fprintf(f, "%lld\t%s\t%s\n", static_cast<long long>(time(nullptr)), clean(req.first).c_str(),
            clean(req.second).c_str());
    fclose(f);
    return kVADStatusOK;
}

}  // namespace

std::span<const RequestRow> DownloadStationRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<Latest>(VAD_REQ_DLS_LATEST_KUID),
        Row<Resolve>(VAD_REQ_RESOLVE_PACKAGE),
        Row<Download>(VAD_REQ_DOWNLOAD),
        Row<AnalyticsHit>(VAD_REQ_ANALYTICS_HIT),
    };
    return rows;
}
