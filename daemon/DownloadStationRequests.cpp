// The download station without a network (the local mirror of DownloadMirror.h), and analytics hits
// appended to UserData/cache/analytics.log.
#include "daemon/RequestHandlers.h"

#include "daemon/DaemonLog.h"
#include "daemon/DownloadMirror.h"
#include "daemon/FolderOps.h"
#include "platform/FileWriting.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <unistd.h>

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

constexpr char kMirrorSettingUnread[] =
    "The download station could not be asked: the asset database could not read its settings.";

int32_t Latest(RequestContext& c, const VADKuidRequest& req, VADKuidReply& reply)
{
    std::string mirror, package;
    if (!RefreshStationListing(c.Db(), mirror)) return kVADStatusFailed;
    return FindInMirror(mirror, req.kuid, reply.kuid, package) ? kVADStatusOK : kVADStatusNotFound;
}

int32_t Resolve(RequestContext& c, const VADResolvePackageRequest& req, VADEmptyPayload&)
{
    std::string mirror;
    if (!RefreshStationListing(c.Db(), mirror))
    {
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {}, kMirrorSettingUnread);
        return kVADStatusOK;
    }
    KUID latest;
    std::string package;
    int fd = FindInMirror(mirror, req.kuid, latest, package) ? OpenMirrorPackage(mirror, package) : -1;
    if (fd < 0)
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {},
                     "The download station has no package for " + req.kuid.ToString());
    else
    {
        close(fd);
        SendWebReply(c, req.idHigh, req.idLow, 0, mirror + "/packages/" + package, package, latest.ToString());
    }
    return kVADStatusOK;
}

// Copies an open file to a new file at `to`, put in place whole; false with the reason.
bool CopyOpenFile(int from, const std::string& to, uint64_t& size, std::string& error)
{
    Platform::ReplacingFile out;
    if (!out.Create(to))
    {
        error = std::string("cannot write '") + out.TemporaryPath() + "': " + strerror(errno);
        return false;
    }
    char buf[1 << 16];
    size = 0;
    for (;;)
    {
        const ssize_t n = read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) break;
        if (n < 0 || !Platform::WriteFully(out.Fd(), buf, static_cast<size_t>(n)))
        {
            error = std::string("the copy failed: ") + strerror(errno);
            return false;  // the temporary goes with `out`
        }
        size += static_cast<uint64_t>(n);
    }
    if (out.Commit()) return true;
    error = std::string("the copy failed: ") + strerror(errno);
    return false;
}

int32_t Download(RequestContext& c, const VADDownloadRequest& req, VADEmptyPayload&)
{
    std::string mirror;
    if (!RefreshStationListing(c.Db(), mirror))
    {
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {}, kMirrorSettingUnread);
        return kVADStatusOK;
    }
    std::string source = NormalisePath(req.source);
    std::string target = NormalisePath(req.targetFolder);
    // Only package files of the mirror, only into the user-data folders, and never into the installed or
    // edited asset folders or the backups, which only the daemon itself changes.
    bool ownFolder = false;
    for (const char* own : {"local", "editing", "backups"})
        ownFolder = ownFolder || IsPathInside(target, c.server.Root().UserData(own));
    std::string packages = mirror + "/packages/";
    std::string name = source.size() > packages.size() ? source.substr(packages.size()) : std::string();
    int fd =
        !mirror.empty() && source.compare(0, packages.size(), packages) == 0 ? OpenMirrorPackage(mirror, name) : -1;
    if (fd < 0 || target.empty() || !IsPathInside(target, c.server.Root().UserData()) || ownFolder)
    {
        if (fd >= 0) close(fd);
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, {}, "The download was refused: '" + req.source + "'");
        return kVADStatusOK;
    }
    std::error_code ec;
    fs::create_directories(target, ec);
    if (ec)
    {
        close(fd);
        DLOG("the download folder %s could not be made: %s", target.c_str(), ec.message().c_str());
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, name,
                     "The download failed: the folder '" + target + "' could not be made: " + ec.message());
        return kVADStatusOK;
    }
    uint64_t size = 0;
    std::string error;
    bool copied = CopyOpenFile(fd, target + "/" + name, size, error);
    close(fd);
    if (!copied)
        SendWebReply(c, req.idHigh, req.idLow, 1, {}, name, "The download failed: " + error);
    else
        SendWebReply(c, req.idHigh, req.idLow, 0, target + "/" + name, name, {},
                     static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)));
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
        Row<VAD_REQ_DLS_LATEST_KUID, Latest>(),
        Row<VAD_REQ_RESOLVE_PACKAGE, Resolve>(),
        Row<VAD_REQ_DOWNLOAD, Download>(),
        Row<VAD_REQ_ANALYTICS_HIT, AnalyticsHit>(),
    };
    return rows;
}
