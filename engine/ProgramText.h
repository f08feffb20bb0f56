#pragma once
// What the vertex-program and texture-combiner managers share: the table of program texts registered
// with a manager, and the reading of a text's named declaration block ("keyword(Name) { ... }").
#include "engine/PString.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace Orvo {

class ProgramTextTable
{
public:
    void Register(const PString& name, std::string_view text);
    bool Get(const PString& name, std::string& text) const;

private:
    mutable std::mutex lock_;
    std::map<PString, std::string> texts_;
};

// Finds "keyword(" name ")" followed by "{" ... "}" outside comment lines (those starting with "#" or
// "//"); false when there is none or it is not closed. `body` is what stands between the braces.
bool FindDeclarationBlock(std::string_view text, std::string_view keyword, std::string_view& name,
                          std::string_view& body);
// The text without blanks at either end.
std::string_view TrimBlanks(std::string_view text);
// Splits `body` at ";" into trimmed, non-empty statements.
template <class F>
void ForEachStatement(std::string_view body, F&& f)
{
    while (!body.empty())
    {
        const size_t end = body.find(';');
        const std::string_view statement = TrimBlanks(body.substr(0, end));
        if (!statement.empty()) f(statement);
        if (end == std::string_view::npos) break;
        body.remove_prefix(end + 1);
    }
}

}  // namespace Orvo
