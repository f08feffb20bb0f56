#pragma once
// The arguments of one command as the dispatcher and the command bodies see them.
//
// Element 0 is the program path, element 1 the command word, elements 2 and up the parameters. The word
// and the parameter word are lower-cased copies; they serve for mode words and KUIDs only. Paths are
// always read from the argument as typed, because file names here are case-sensitive.
#include <cstdint>
#include <string>
#include <string_view>

class ResultsLog;
class ToolContext;
class VADClient;
class VADStatus;

struct CommandArgs
{
    int argc = 0;
    char** argv = nullptr;
    std::string word;  // element 1 lower-cased (empty when absent)
    bool hasParameterWord = false;
    std::string parameterWord;  // element 2 lower-cased, when the count is at least 3

    // Element i, or null when the vector does not hold it.
    const char* Arg(int i) const;
    // The missing-parameter rule: absent or empty.
    bool ParameterMissing() const { return !hasParameterWord || parameterWord.empty(); }
};

CommandArgs MakeCommandArgs(int argc, char** argv);

// A command body: what the tool gives it (its daemon client, engine objects), the log of the command and
// its arguments; returns the exit value.
using CommandFn = int (*)(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// Posts an error (kind 3) without a source; nothing after a request that failed for want of a link on
// `client` (the dispatcher posts the link's own error).
void PostCommandError(const VADClient& client, ResultsLog& log, std::string_view text);
// The outcome of a request the daemon does not answer, sent and confirmed (VADClient.h): true when the daemon carried
// it out. Otherwise posts `unconfirmed` when the daemon stopped before it confirmed the request (it may or may not
// have been carried out), else `failed` as PostCommandError does, and returns false.
bool SayConfirmed(const VADClient& client, ResultsLog& log, const VADStatus& outcome, std::string_view unconfirmed,
                  std::string_view failed);

// One decimal integer read the way "%d" reads it: leading blanks, an optional sign, at least one digit,
// anything after the digits ignored. A value outside 32 bits is refused instead of being left to
// undefined behaviour. False when no integer could be read.
bool ReadDecimalInt(const char* text, int32_t& out);
// True when the whole text is one decimal integer: blanks around it, an optional sign, digits.
bool IsWholeNumber(const char* text);
// `atoi` with the same reading, but saturating at the 32-bit limits; 0 when nothing is readable.
int32_t ReadIntSaturated(const char* text);
