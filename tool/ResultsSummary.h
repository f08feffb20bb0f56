#pragma once
// The summary printed after every command: one line per result of the command's log, then the counts.
#include "engine/AnsiString.h"
#include "engine/String.h"

#include <cstdio>

class ResultsLog;

// Prints, under the log's lock, "<prefix><KUID> : <text>" for every result ("; " message, "! " warning,
// "- " error, "+ " success), then "OK (<errors> Errors, <warnings> Warnings)". Marks the log as read.
void PrintResultsSummary(ResultsLog& log);
void PrintResultsSummary(ResultsLog& log, std::FILE* out);

// The text converted from UTF-8 to the system's ANSI code page (code page 0).
Orvo::AnsiString Utf8ToLocalText(const Orvo::String& text);
