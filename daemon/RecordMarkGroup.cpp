#include "daemon/RecordMarkGroup.h"

#include "assetdb/VADPayloads.h"
#include "daemon/DaemonLog.h"
#include "daemon/RequestHandlers.h"

#include <exception>

namespace {

constexpr unsigned kReadyWaitMs = 120000;

// The mark a frame asks for; false for a payload that does not decode (or holds a text with a zero byte).
bool DecodeMark(const RecordMarkFrame& f, RecordMark& mark)
{
    if (f.code == VAD_REQ_FAVOURITE)
    {
        VADKuidFlagRequest req;
        if (!VADDecodeRequest(f.payload, req)) return false;
        mark.kuid = req.kuid;
        mark.isFavourite = true;
        mark.favourite = req.flag != 0;
        return true;
    }
    VADKuidTextRequest req;
    if (!VADDecodeRequest(f.payload, req)) return false;
    mark.kuid = req.kuid;
    mark.keywords = std::move(req.text);
    return true;
}

}  // namespace

std::vector<int32_t> HandleRecordMarks(DaemonServer& server, const std::shared_ptr<ClientConnection>& from,
                                       const std::vector<RecordMarkFrame>& frames)
{
    std::vector<int32_t> statuses(frames.size(), kVADStatusFailed);
    // As HandleRequest serves any request: not for a removed installation, and only once the first scan is done.
    if (!server.RootIntact() || !server.Database().WaitReady(kReadyWaitMs)) return statuses;
    std::vector<RecordMark> marks;
    std::vector<size_t> frameOf;  // the frame each mark came from
    marks.reserve(frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
    {
        RecordMark mark;
        if (!DecodeMark(frames[i], mark))
        {
            statuses[i] = kVADStatusBadPayload;
            continue;
        }
        marks.push_back(std::move(mark));
        frameOf.push_back(i);
    }
    // No request may end the daemon: whatever escapes fails the marks of this group alone.
    try
    {
        server.Database().SetRecordMarks(marks, reinterpret_cast<uintptr_t>(from.get()));
        for (size_t m = 0; m < marks.size(); ++m) statuses[frameOf[m]] = StatusOf(marks[m].status);
    }
    catch (const std::exception& e)
    {
        DLOG("keywords or favourite marks from %s (pid %u) failed: %s", from->Program().c_str(), from->Pid(), e.what());
    }
    catch (...)
    {
        DLOG("keywords or favourite marks from %s (pid %u) failed", from->Program().c_str(), from->Pid());
    }
    return statuses;
}
