#include "tool/CommandArgs.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "engine/PString.h"

#include <cctype>
#include <climits>

namespace {

std::string LowerWord(const char* text)
{
    if (!text) return std::string();
    return Orvo::PString(std::string_view(text)).ToLower().str();
}

// Reads blanks, a sign and digits; `digits` tells whether any digit was seen. The value saturates.
int64_t ScanDecimal(const char* text, bool& digits)
{
    digits = false;
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    int64_t value = 0;
    while (*p >= '0' && *p <= '9')
    {
        digits = true;
        if (value <= int64_t(1) << 40) value = value * 10 + (*p - '0');
        ++p;
    }
    return negative ? -value : value;
}

}  // namespace

const char* CommandArgs::Arg(int i) const
{
    if (i < 0 || i >= argc || !argv) return nullptr;
    return argv[i];
}

CommandArgs MakeCommandArgs(int argc, char** argv)
{
    CommandArgs a;
    a.argc = argv ? argc : 0;
    a.argv = argv;
    a.word = LowerWord(a.Arg(1));
    if (a.argc >= 3 && a.Arg(2))
    {
        a.hasParameterWord = true;
        a.parameterWord = LowerWord(a.Arg(2));
    }
    return a;
}

void PostCommandError(const VADClient& client, ResultsLog& log, std::string_view text)
{
    // After a request that failed for want of a link the link's own error, which the dispatcher posts,
    // is the one to read.
    if (client.LinkFailed()) return;
    log.PostResult(kResultError, VelmarPropertyRef(), text);
}

bool SayConfirmed(const VADClient& client, ResultsLog& log, const VADStatus& outcome, std::string_view unconfirmed,
                  std::string_view failed)
{
    if (outcome) return true;
    if (outcome.LinkFailed())
        log.PostResult(kResultError, VelmarPropertyRef(), unconfirmed);
    else
        PostCommandError(client, log, failed);
    return false;
}

bool ReadDecimalInt(const char* text, int32_t& out)
{
    bool digits = false;
    int64_t v = ScanDecimal(text, digits);
    if (!digits || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool IsWholeNumber(const char* text)
{
    if (!text) return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == digits) return false;
    while (*p == ' ' || *p == '\t') ++p;
    return *p == '\0';
}

int32_t ReadIntSaturated(const char* text)
{
    bool digits = false;
    int64_t v = ScanDecimal(text, digits);
    if (!digits) return 0;
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(v);
}
