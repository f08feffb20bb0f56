#pragma once
// What the generated parser works with: the scanner's tokens, the open-bracket stack that the error
// messages quote, and the results of one source's check.
#include "script/compiler/GSDiagnostics.h"
#include "script/compiler/GSScanner.h"
#include "script/compiler/GSSourceCheck.h"

#include <string>
#include <vector>

class GSParseContext
{
public:
    GSParseContext(GSScanner& scanner, const std::string& fileName, GSDiagnostics& diag, GSSourceCheckResult& result,
                   bool keepTokens);

    // The next token for the parser: a parser token code. Lexical errors are reported and skipped.
    // A run of plain tokens (names, numbers, strings, operators) goes to the parser as one token, since
    // the structure check treats them all alike; a string right after include stays on its own.
    // Too deep nesting is reported here and answered with the parser's error token, which ends the parse.
    int Lex(GSToken* value);

    // The parser found the last token handed out where it cannot stand.
    void SyntaxError();
    void OnInclude(const GSToken& name);
    void ParserFailure(const char* message);

    bool HadError() const { return errors_ > 0; }

private:
    GSToken NextToken();
    void Report(uint32_t line, std::string message);

    GSScanner& scanner_;
    const std::string& fileName_;
    GSDiagnostics& diag_;
    GSSourceCheckResult& result_;
    bool keepTokens_;
    size_t errors_ = 0;
    std::vector<GSToken> open_;  // brackets not yet closed
    GSToken last_;               // the parser's lookahead when it reports an error
    GSToken beforeLast_;
    GSToken pending_;  // read past the end of a run; kind End when there is none
    bool hasPending_ = false;
};
