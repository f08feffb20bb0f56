#pragma once
// The "validate" command: locates the asset through the daemon, applies the upload rule on its build and
// asks the daemon to validate its folder; a command host does the checking and its findings come back
// into the command's log.
#include "core/KUID.h"

class ResultsLog;
class VADClient;

// False when the asset is unknown or has no folder, or a request got no answer; true otherwise, also when
// the asset is too old to be validated or its validation found errors (those are results in the log).
// `skipBuildRule` lets assets older than 2.8 be validated.
bool ValidateCommand(VADClient& client, const KUID& kuid, bool skipBuildRule, ResultsLog& log);
