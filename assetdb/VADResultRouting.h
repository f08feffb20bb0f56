#pragma once
// Results between a results log and the notifications that carry them: posting a result the daemon sent for a
// transaction into that transaction's results log, and a log's results as notifications (a command host's reply).
#include "assetdb/VADPayloads.h"

#include <vector>

class ResultsLog;

// The text is an interface-text key when it starts with "$" (looked up here), else plain text; the source
// becomes an asset-id property; the parameter tree fills the text's "$(NAME)" placeholders.
void VADPostNotifiedResult(ResultsLog& log, const VADResultNotification& n);

// The log's results in posting order, their texts as they stand (no parameters left); a kind outside the known
// ones travels as a message.
std::vector<VADResultNotification> VADNotificationsOf(const ResultsLog& log);
