#pragma once
// Posting a result the daemon sent for a transaction into that transaction's results log.
#include "assetdb/VADPayloads.h"

class ResultsLog;

// The text is an interface-text key when it starts with "$" (looked up here), else plain text; the source
// becomes an asset-id property; the parameter tree fills the text's "$(NAME)" placeholders.
void VADPostNotifiedResult(ResultsLog& log, const VADResultNotification& n);
