#pragma once
// The result sink of one command or task: keyed or plain messages with a kind, in posting order.
//
// Kinds: 1 message, 2 warning, 3 error, 4 success; warnings, errors and successes are counted. A result
// posted without a source takes the top of the context stack (the asset being worked on). "$(NAME)"
// placeholders of a posted text are filled from the parameter tree's data children, names matched
// without regard to case ("file_name" fills "$(FILE_NAME)").
//
// The log is shared between the thread that runs a command and the daemon link's receive thread, which
// posts the daemon's results into it, so every operation takes the log's mutex. Readers that walk the
// results (the summary printer) hold the mutex themselves through GetMutex().
#include "core/TDBTagRef.h"
#include "core/TStream.h"
#include "core/VelmarProperty.h"

#include "engine/String.h"

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

enum ResultKind : uint32_t
{
    kResultMessage = 1,
    kResultWarning = 2,
    kResultError = 3,
    kResultSuccess = 4,
};

class ResultsLog
{
public:
    struct Result
    {
        uint32_t kind = kResultMessage;
        Orvo::String text;
        VelmarPropertyRef source;  // the asset concerned (value text is its KUID), or none
    };

    // Bounds on what Read accepts from a stream.
    static constexpr uint32_t kMaxStreamResults = 1u << 20;

    ResultsLog() = default;
    ResultsLog(const ResultsLog&) = delete;
    ResultsLog& operator=(const ResultsLog&) = delete;
    virtual ~ResultsLog() = default;

    // Adds one result. Kinds outside 1..4 are kept as given but not counted.
    void PostResult(uint32_t kind, const VelmarPropertyRef& source, std::string_view text,
                    const TDBTagRef& params = TDBTagRef());
    // The same with no source of its own (the context stack's top is used).
    void PostResult(uint32_t kind, std::string_view text, const TDBTagRef& params = TDBTagRef());
    // printf-style text, no parameters.
    void PostResultF(uint32_t kind, const char* format, ...) __attribute__((format(printf, 3, 4)));

    void PushContext(const VelmarPropertyRef& context);
    void PopContext();  // no effect on an empty stack
    VelmarPropertyRef GetContext() const;

    // Replaces this log's results and counters by a copy of the other's (its context stack stays).
    void Assign(const ResultsLog& other);
    // Adds the other's results after this log's own, counting them; those without a source take this log's
    // context top, as if posted here.
    void Append(const ResultsLog& other);
    // The same for the other's errors alone (a private log's reasons for a refusal, without its other words).
    void AppendErrors(const ResultsLog& other);
    void Clear();

    uint32_t ErrorCount() const;
    uint32_t WarningCount() const;
    uint32_t SuccessCount() const;
    size_t GetResultCount() const;
    // A copy of the results, taken under the mutex.
    std::vector<Result> GetResults() const;

    // The read flag: cleared by every post, set by whoever has shown the results (the summary).
    bool IsRead() const;
    void SetRead(bool read);

    // For walks over the results: hold GetMutex() while using ResultsUnlocked() and SetReadUnlocked().
    std::mutex& GetMutex() const { return mutex_; }
    const std::vector<Result>& ResultsUnlocked() const { return results_; }
    void SetReadUnlocked(bool read) { read_ = read; }

    // Stream form, as the command host returns it to the daemon: u32 count, then per result u32 kind,
    // u8 source flag (1 an asset id: its name as a string, then its KUID), the text as a string.
    // `flags` is reserved (0).
    bool Write(TStream& out, uint32_t flags = 0) const;
    // Appends the results of a stream written by Write, counting them as posted; nothing is appended
    // when the stream is short or malformed (false).
    bool Read(TStream& in);

    // The text with "$(NAME)" placeholders filled from the parameter tree.
    static Orvo::String FillPlaceholders(std::string_view text, const TDBTagRef& params);

private:
    void AppendUnlocked(Result&& r);
    void AppendKinds(const ResultsLog& other, bool errorsOnly);

    mutable std::mutex mutex_;
    std::vector<Result> results_;
    std::vector<VelmarPropertyRef> context_;
    uint32_t warnings_ = 0;
    uint32_t errors_ = 0;
    uint32_t successes_ = 0;
    bool read_ = false;
};
