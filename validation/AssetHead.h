#pragma once
// The two stages of validating one asset configuration, each ending by copying the error handler's
// findings into the results log: the head checks (build, obsolete kinds, KUID user id) with the kind check
// and walk, then the export with its value checks and the container rules.
#include "engine/FilePath.h"
#include "engine/PString.h"

#include <string_view>

class ResultsLog;

namespace TETLib {

class Container;

// Loads the configuration at `configPath`, checks the asset as a whole and lets `root` read it, with the
// root's data manager. True when the second stage may run.
bool CheckAssetHead(const Orvo::PString& sourceName, const Orvo::File::Path& configPath, ResultsLog& log,
                    Container& root);
// The texture folder check, the export and the root container's rules; true when all passed.
bool ValidateContainerAndPost(Container& root, ResultsLog& log);

// A UTF-8 text in the system's ANSI code page, interned.
Orvo::PString Utf8ToAnsiPString(std::string_view text);

}  // namespace TETLib
