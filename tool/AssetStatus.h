#pragma once
// The "status" command's printer: one line with the asset's states packed into letters whose case
// carries the value, then the category and the asset's name.
#include "core/KUID.h"

#include <string>

class ResultsLog;
class VADAssetInfo;
class VADClient;

// The line without its "+ " prefix: "<KUID> : EIADLMF : <category> : <name>", a capital letter for a
// true state. `missingDependencies` and `faulty` come from their own requests.
std::string FormatAssetStatusLine(const KUID& kuid, const VADAssetInfo& info, bool missingDependencies, bool faulty);

// Asks the daemon for the record and prints "+ " and the line. An unknown asset (or a failed request)
// posts "Unknown AssetID." with the KUID as its source and prints nothing; false then.
bool PrintAssetStatus(VADClient& client, const KUID& kuid, ResultsLog& log);

// Posts an error whose source is an "AssetID" property holding the KUID; nothing after a request that
// failed for want of a link on `client` (the dispatcher posts the link's own error).
void PostAssetError(const VADClient& client, ResultsLog& log, const KUID& kuid, const char* text);
