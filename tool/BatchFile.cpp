#include "tool/BatchFile.h"

#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/OutputFile.h"
#include "platform/RegularFile.h"
#include "tool/Support.h"

#include <algorithm>
#include <string>

namespace {

// Where the line ends: at its first CR or LF after the first character (one in the first place stays, so that
// an empty line is seen and skipped), else at the end of `raw`.
size_t LineEnd(std::string_view raw) { return std::min(raw.find_first_of("\r\n", 1), raw.size()); }

// The line up to its line end or its first zero byte, whichever comes first.
std::string_view CutAtLineEnd(std::string_view raw) { return raw.substr(0, std::min(raw.find('\0'), LineEnd(raw))); }

}  // namespace

std::vector<std::string> SplitBatchLine(std::string_view raw)
{
    std::string line(CutAtLineEnd(raw));
    if (line.empty() || line[0] != ' ') line.insert(line.begin(), ' ');
    line.push_back(' ');

    std::vector<std::string> args;
    bool inQuotes = false;
    size_t start = std::string::npos;  // pending start of an argument
    for (size_t i = 0; i < line.size(); ++i)
    {
        const char c = line[i];
        if (c == '"')
        {
            if (!inQuotes)
            {
                start = i + 1;
                inQuotes = true;
            }
            else
            {
                args.emplace_back(line, start, i - start);
                start = std::string::npos;
                inQuotes = false;
            }
        }
        else if (c == ' ' && !inQuotes)
        {
            if (start != std::string::npos) args.emplace_back(line, start, i - start);
            start = i + 1;
        }
    }
    return args;
}

bool BatchLineHasUnclosedQuote(std::string_view raw)
{
    // Quotes open and close in turn: an odd count leaves the last one open.
    const std::string_view line = CutAtLineEnd(raw);
    return std::count(line.begin(), line.end(), '"') % 2 != 0;
}

std::string UnclosedQuoteMessage(const std::string& name, size_t lineNumber)
{
    return "The batch file '" + name + "' line " + std::to_string(lineNumber) +
           ": a double quote is never closed; the line was not run.";
}

bool BatchLineHasZeroByte(std::string_view raw)
{
    // Only a zero byte within the line counts, not one after its line end.
    return raw.find('\0') < LineEnd(raw);
}

std::string ZeroByteMessage(const std::string& name, size_t lineNumber)
{
    return "The batch file '" + name + "' line " + std::to_string(lineNumber) +
           ": it holds a zero byte; the line was not run.";
}

bool IsBlankBatchLine(std::string_view raw) { return Orvo::TrimView(CutAtLineEnd(raw)).empty(); }

bool IsBatchLineSkipped(const std::vector<std::string>& args)
{
    if (args.empty()) return true;
    const std::string& last = args.back();
    return !last.empty() && (last[0] == '\r' || last[0] == '\n' || last[0] == ' ');
}

BatchFileResult RunBatchFile(const std::string& name, const char* programPath, const BatchLineRunner& runner,
                             const BatchLineRefused& refused)
{
    BatchFileResult result;
    if (!Orvo::File::Exists(name))
    {
        result.status = BatchFileStatus::Missing;
        result.exitCode = -1;
        return result;
    }
    // Read whole before any line runs, and only from a regular file within the bound: a FIFO or a device
    // (which never ends) is no batch file.
    std::string bytes;
    Platform::FileIdentity read;
    switch (
        Platform::ReadRegularFile(OnDiskPath(Orvo::File::Path(name)).str(), uint64_t(kMaxBatchFileSize), bytes, &read))
    {
    case Platform::RegularFileStatus::kOK: break;
    case Platform::RegularFileStatus::kTooLarge: result.status = BatchFileStatus::TooLarge; break;
    case Platform::RegularFileStatus::kMissing: result.status = BatchFileStatus::Missing; break;
    case Platform::RegularFileStatus::kNotRegular:
    case Platform::RegularFileStatus::kUnreadable: result.status = BatchFileStatus::Unreadable; break;
    }
    if (result.status != BatchFileStatus::Ran)
    {
        result.exitCode = -1;
        return result;
    }
    // The user's list of commands is no command's output.
    Platform::KeepFromOutputs(read, "it is the batch file being run");
    size_t lineNumber = 0;
    size_t at = 0;
    do
    {
        // One line with its line feed, as a line read from the file would be.
        const size_t feed = bytes.find('\n', at);
        const size_t next = feed == std::string::npos ? bytes.size() : feed + 1;
        const std::string_view text(bytes.data() + at, next - at);
        at = next;
        ++lineNumber;
        // A line cut short at a zero byte or an open quote could run another command than the one written.
        const bool zero = BatchLineHasZeroByte(text);
        if (zero || BatchLineHasUnclosedQuote(text))
        {
            if (refused) refused(zero ? ZeroByteMessage(name, lineNumber) : UnclosedQuoteMessage(name, lineNumber));
            result.exitCode = -1;
            continue;
        }
        // An empty line (or one of blanks) separates commands and is skipped. A line of an empty word, `""`, is
        // run: it fails as "VelmarUtil \"\"" does, rather than vanishing without a word.
        if (IsBlankBatchLine(text)) continue;
        std::vector<std::string> args = SplitBatchLine(text);
        if (IsBatchLineSkipped(args)) continue;
        std::vector<char*> argv;
        argv.reserve(args.size() + 2);
        argv.push_back(const_cast<char*>(programPath));
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (runner(int(argv.size() - 1), argv.data()) != 0) result.exitCode = -1;
    } while (at < bytes.size());
    return result;
}

std::string ResolveBatchFilePath(const std::string& name, const char* startDirectory)
{
    if (name.empty() || name[0] == '/' || startDirectory == nullptr || startDirectory[0] == '\0') return name;
    std::string path = startDirectory;
    if (path.back() != '/') path.push_back('/');
    return path + name;
}

std::string BatchFileMessage(BatchFileStatus status, const std::string& name)
{
    switch (status)
    {
    case BatchFileStatus::Ran: return {};
    case BatchFileStatus::Missing: return "-The file \"" + name + "\" does not exist, please specify a valid filename";
    case BatchFileStatus::Unreadable:
        return "-The file \"" + name + "\" could not be read, please specify a valid filename";
    case BatchFileStatus::TooLarge:
        return "-The file \"" + name + "\" is too large to be a batch file (it may hold at most " +
               std::to_string(kMaxBatchFileSize) + " bytes)";
    }
    return {};
}
