#pragma once
// Keywords and favourite marks sent without reply (requests 54 and 50 with transaction id 0) come many at a time
// (importkeywords sends one per asset): a connection takes those already waiting on its socket together, at most
// kMaxRecordMarkGroup, and they are stored in one store transaction under one database lock, so that thousands
// cost a few syncs of the store instead of one each. Each still has its own status, as HandleRequest would give it.
#include "assetdb/VADProtocol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class ClientConnection;
class DaemonServer;

constexpr size_t kMaxRecordMarkGroup = 512;
// Nor does a group take more frames once it holds this many payload bytes (a frame may carry far more than a
// keyword text keeps): a client cannot make one group hold hundreds of large frames at once.
constexpr size_t kMaxRecordMarkGroupBytes = 4u << 20;

// A frame that may join a group: request 54 or 50 without transaction id.
constexpr bool IsGroupedRecordMark(uint32_t code, uint32_t transaction)
{
    return transaction == 0 && (code == VAD_REQ_SET_KEYWORDS || code == VAD_REQ_FAVOURITE);
}

struct RecordMarkFrame
{
    uint32_t code = 0;
    VADBytes payload;
};

// Carries out the group's frames in order; returns each one's status (a payload that does not decode fails alone).
std::vector<int32_t> HandleRecordMarks(DaemonServer& server, const std::shared_ptr<ClientConnection>& from,
                                       const std::vector<RecordMarkFrame>& frames);
