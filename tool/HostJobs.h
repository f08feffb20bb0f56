#pragma once
// The jobs the daemon hands its command host (VADJob), by command id: validate an asset folder, convert the
// textures below a folder, save assets to an archive job file, install assets from one (HostArchiveJobs.h).
// Each runs on the link of the daemon it came from, with a results log of its own, and is answered with a
// VADHostReply: the log's results, then the job's answer.
#include "assetdb/VADPayloads.h"

class VADClient;

namespace TETLib {
class DataManager;
}

// The job's name in the host's log lines ("VAD_CMDHOST_VALIDATE"); null for an id no job has.
const char* HostJobName(uint32_t command);

// Runs the job, whose command id is one of the table's (VADJob::Valid), and writes its reply. A validate job
// validates with `validation`, the tool's data manager; without one it is refused with an error.
void RunHostJob(VADClient& client, const VADJob& job, VADHostReply& reply, TETLib::DataManager* validation = nullptr);
