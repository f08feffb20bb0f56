#pragma once
// Batch files: "VelmarUtil @file.txt" runs every line of the file as one command. A line is split into
// arguments that are either texts between double quotes or words separated by single spaces; there is
// no escape character, so a double quote cannot be part of an argument. Start-up, shutdown and the
// start-up switches happen once for the whole batch.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The arguments of one line as read from the file (its line end included, if any): the line is cut at
// the first CR or LF after its first character, given a leading space when it has none and a trailing
// space, then split in one pass. Text after a quote that is never closed is dropped; text glued to a
// closing quote, up to the next space, is dropped too. Two spaces in a row give an empty argument.
std::vector<std::string> SplitBatchLine(std::string_view line);

// True for a line (as read, its line end included) that is empty or holds only spaces, tabs and line ends: it
// is skipped, where a line of an empty word (`""`) is run like any other and fails as `VelmarUtil ""` does.
bool IsBlankBatchLine(std::string_view line);

// True for arguments that run nothing: none, or a last argument that begins with a CR, LF or space.
bool IsBatchLineSkipped(const std::vector<std::string>& args);

// True for a line with a zero byte before its line end: the line would be cut at it, so it is not run.
bool BatchLineHasZeroByte(std::string_view line);
std::string ZeroByteMessage(const std::string& name, size_t lineNumber);

// True for a line (cut at its line end as SplitBatchLine cuts it) with a double quote that is never
// closed: the split would drop the text after it, so the line cannot be run as written.
bool BatchLineHasUnclosedQuote(std::string_view line);

// The message for a batch line that was not run because a double quote in it is never closed.
std::string UnclosedQuoteMessage(const std::string& name, size_t lineNumber);

// Runs one line's command (argv[0] is the program, argv[1] the command word) and returns its result.
using BatchLineRunner = std::function<int(int argc, char** argv)>;
// Reports a line that was not run (the message says which and why); the line counts as failed.
using BatchLineRefused = std::function<void(const std::string& message)>;

enum class [[nodiscard]] BatchFileStatus{Ran, Missing, Unreadable, TooLarge};

struct BatchFileResult
{
    BatchFileStatus status = BatchFileStatus::Ran;
    int exitCode = 0;  // 0, or -1 when any line's result was not 0; -1 when the file could not be run
};

// Larger files are refused (the file is read whole before its first line runs); so is anything but a regular
// file (a FIFO or a device would never end).
constexpr int64_t kMaxBatchFileSize = 16 * 1024 * 1024;

// Runs every line of the batch file `name` through `runner`, with `programPath` as argv[0]; blank lines are
// skipped. A line with a double quote that is never closed, or with a zero byte, is not run: `refused` gets its
// message (naming the file and the line) and the batch's exit code becomes -1; the other lines run as before.
// Prints nothing itself; the caller reports the status.
BatchFileResult RunBatchFile(const std::string& name, const char* programPath, const BatchLineRunner& runner,
                             const BatchLineRefused& refused = {});

// Where the batch file named on the command line is: a relative name is taken from the folder the user
// started in, since start-up has made the executable's folder the working directory by then.
std::string ResolveBatchFilePath(const std::string& name, const char* startDirectory);

// The error-stream messages for a batch file that cannot be run (empty for BatchFileStatus::Ran).
std::string BatchFileMessage(BatchFileStatus status, const std::string& name);
