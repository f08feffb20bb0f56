#include "script/compiler/GSSourceCheck.h"

#include "GSParser.h"  // generated
#include "script/compiler/GSParseContext.h"

namespace {

int ParserCode(GSTokenKind kind)
{
    switch (kind)
    {
    case GSTokenKind::Identifier:
    case GSTokenKind::Number:
    case GSTokenKind::String:
    case GSTokenKind::Operator: return GSTOK_PLAIN;
    case GSTokenKind::Include: return GSTOK_INCLUDE;
    case GSTokenKind::OpenParen: return GSTOK_LPAREN;
    case GSTokenKind::CloseParen: return GSTOK_RPAREN;
    case GSTokenKind::OpenBracket: return GSTOK_LBRACKET;
    case GSTokenKind::CloseBracket: return GSTOK_RBRACKET;
    case GSTokenKind::OpenBrace: return GSTOK_LBRACE;
    case GSTokenKind::CloseBrace: return GSTOK_RBRACE;
    case GSTokenKind::End:
    case GSTokenKind::Error: break;
    }
    return GSTOK_YYEOF;
}

bool IsPlain(GSTokenKind k)
{
    return k == GSTokenKind::Identifier || k == GSTokenKind::Number || k == GSTokenKind::String ||
           k == GSTokenKind::Operator;
}

bool IsOpener(GSTokenKind k)
{
    return k == GSTokenKind::OpenParen || k == GSTokenKind::OpenBracket || k == GSTokenKind::OpenBrace;
}

bool IsCloser(GSTokenKind k)
{
    return k == GSTokenKind::CloseParen || k == GSTokenKind::CloseBracket || k == GSTokenKind::CloseBrace;
}

// The closer of an opener: the kinds are laid out in pairs.
GSTokenKind CloserOf(GSTokenKind opener) { return static_cast<GSTokenKind>(static_cast<uint8_t>(opener) + 1); }

}  // namespace

GSParseContext::GSParseContext(GSScanner& scanner, const std::string& fileName, GSDiagnostics& diag,
                               GSSourceCheckResult& result, bool keepTokens)
    : scanner_(scanner), fileName_(fileName), diag_(diag), result_(result), keepTokens_(keepTokens)
{}

void GSParseContext::Report(uint32_t line, std::string message)
{
    ++errors_;
    diag_.Error(fileName_, line, std::move(message));
}

GSToken GSParseContext::NextToken()
{
    GSToken t = scanner_.Next();
    while (t.kind == GSTokenKind::Error)
    {
        Report(t.line, scanner_.ErrorMessage());
        t = scanner_.Next();
    }
    if (keepTokens_ && t.kind != GSTokenKind::End) result_.tokens.push_back(t);
    return t;
}

int GSParseContext::Lex(GSToken* value)
{
    GSToken t;
    if (hasPending_)
    {
        t = pending_;
        hasPending_ = false;
    }
    else
    {
        t = NextToken();
    }
    bool afterInclude = last_.kind == GSTokenKind::Include;
    beforeLast_ = last_;
    last_ = t;
    *value = t;
    if (t.kind == GSTokenKind::End) return GSTOK_YYEOF;
    if (IsPlain(t.kind))
    {
        if (afterInclude) return t.kind == GSTokenKind::String ? GSTOK_STRING : GSTOK_PLAIN;
        do pending_ = NextToken();
        while (IsPlain(pending_.kind));
        hasPending_ = true;
        return GSTOK_PLAIN;
    }
    if (IsOpener(t.kind))
    {
        if (open_.size() >= kGSMaxBracketDepth)
        {
            Report(t.line, "brackets nested deeper than " + std::to_string(kGSMaxBracketDepth) + " levels");
            return GSTOK_GSerror;  // ends the parse without a second message
        }
        open_.push_back(t);
    }
    else if (IsCloser(t.kind) && !open_.empty() && CloserOf(open_.back().kind) == t.kind)
    {
        open_.pop_back();
    }
    return ParserCode(t.kind);
}

void GSParseContext::SyntaxError()
{
    const GSToken& t = last_;
    if (beforeLast_.kind == GSTokenKind::Include && open_.empty())
    {
        Report(beforeLast_.line, "include expects a quoted file name");
    }
    else if (t.kind == GSTokenKind::End)
    {
        // Only an unclosed bracket can make the end of the text unexpected here.
        const GSToken& o = open_.empty() ? t : open_.back();
        Report(o.line, "'" + std::string(o.text) + "' is never closed");
    }
    else if (t.kind == GSTokenKind::Include)
    {
        Report(t.line, "include is allowed only outside brackets");
    }
    else if (IsCloser(t.kind) && open_.empty())
    {
        Report(t.line, "'" + std::string(t.text) + "' has no matching opening bracket");
    }
    else if (IsCloser(t.kind))
    {
        const GSToken& o = open_.back();
        Report(t.line, "'" + std::string(t.text) + "' does not close '" + std::string(o.text) + "' opened at line " +
                           std::to_string(o.line));
    }
    else
    {
        Report(t.line, std::string("unexpected ") + GSTokenKindName(t.kind));
    }
}

void GSParseContext::OnInclude(const GSToken& name) { result_.includes.push_back({std::string(name.text), name.line}); }

void GSParseContext::ParserFailure(const char* message)
{
    Report(last_.line, std::string("parser failure: ") + message);
}

GSSourceCheckResult CheckGSSource(const std::string& fileName, std::string_view text, GSDiagnostics& diag,
                                  bool keepTokens)
{
    GSSourceCheckResult result;
    // Real sources average well over eight bytes a token; this spares most of the vector's regrowth.
    if (keepTokens) result.tokens.reserve(text.size() / 8);
    GSScanner scanner(text);
    GSParseContext ctx(scanner, fileName, diag, result, keepTokens);
    int rc = gsparse(&ctx);
    result.ok = rc == 0 && !ctx.HadError();
    return result;
}
