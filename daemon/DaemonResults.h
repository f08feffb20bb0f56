#pragma once
// Results a request posts for the asker's log. They travel as result notifications before the reply.
#include "assetdb/VADPayloads.h"

#include <string>
#include <utility>
#include <vector>

using DaemonResults = std::vector<VADResultNotification>;
using ResultParams = std::vector<std::pair<std::string, std::string>>;

enum : uint32_t
{
    kResultMessage = 1,
    kResultWarning = 2,
    kResultError = 3,
    kResultSuccess = 4,
};

// Appends one result: kind, text (a "$" key or plain text), the asset it is about (null: none) and its
// string parameters (names in lower case, filling "$(NAME)" placeholders).
void PostResult(DaemonResults* out, uint32_t kind, const std::string& text, const KUID& source = KUID::Null(),
                const ResultParams& params = {});
