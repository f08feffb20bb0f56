#pragma once
// Results a request posts for the asker's log. They travel as result notifications before the reply.
#include "assetdb/ResultsLog.h"
#include "assetdb/VADPayloads.h"

#include <string>
#include <utility>
#include <vector>

using DaemonResults = std::vector<VADResultNotification>;
using ResultParams = std::vector<std::pair<std::string, std::string>>;

// Appends one result: kind (ResultKind), text (a "$" key or plain text), the asset it is about (null: none) and its
// string parameters (names in lower case, filling "$(NAME)" placeholders).
void PostResult(DaemonResults* out, uint32_t kind, const std::string& text, const KUID& source = KUID::Null(),
                const ResultParams& params = {});
