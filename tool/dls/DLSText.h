#pragma once
// Texts of the download-station package parse: one-line values and KUID lists.
#include "core/ChunkedList.h"
#include "core/KUID.h"
#include "engine/String.h"

#include <set>
#include <string_view>

// Every line break becomes the two characters "\n" (CR LF and LF CR count as one break) and every
// backslash is doubled, so a value prints on one line and can be read back.
Orvo::String EscapeLineBreaks(std::string_view text);

// The KUIDs' "<kuid...>" texts separated by ", ": the list in its order, the set in ascending order.
Orvo::String JoinKUIDList(const ChunkedList<KUID>& list);
Orvo::String JoinKUIDSet(const std::set<KUID>& set);
