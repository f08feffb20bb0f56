#pragma once
// Checks one script source: its tokens and the structure the parser can see (balanced brackets,
// include statements at the top level naming a quoted file).
#include "script/compiler/GSDiagnostics.h"
#include "script/compiler/GSToken.h"

#include <string>
#include <string_view>
#include <vector>

struct GSIncludeRequest
{
    std::string name;  // as written between the quotes
    uint32_t line = 0;
};

struct GSSourceCheckResult
{
    std::vector<GSToken> tokens;  // views into the checked text
    std::vector<GSIncludeRequest> includes;
    bool ok = false;  // no error was found in this source
};

// Brackets may nest this deep; deeper input is refused rather than risk the parser's stack.
constexpr size_t kGSMaxBracketDepth = 256;

// Errors are reported to `diag` under `fileName`. The structural check of a source stops at its first
// structural error; lexical errors before it are all reported. `keepTokens` false skips storing them.
GSSourceCheckResult CheckGSSource(const std::string& fileName, std::string_view text, GSDiagnostics& diag,
                                  bool keepTokens = true);
