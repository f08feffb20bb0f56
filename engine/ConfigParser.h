#pragma once
// The one reader of the configuration text form. It knows only the lexical rules: names, containers,
// quoted strings and raw value texts; turning raw texts into numbers or KUIDs is left to the caller.
//
//   name value text          raw value: the rest of the line, trimmed
//   "quoted name" "string"   strings may span lines; \" and \\ are escapes, other backslashes literal
//   name {                   a container ("{" on the line or as the next non-blank character) ...
//   }                        ... up to its matching "}"
//   name                     nothing after the name: a null item
//   name value               a value followed by "{" as the next non-blank character: a container
//   {                        that also carries a value (the engine's own description files use it)
//
// UTF-8, a leading BOM is skipped, lines end in LF or CR LF (a CR before a LF inside a string is dropped:
// the writer doubles a CR of the text's own there). An unclosed string or brace, a stray "}", or text after
// a string's closing quote other than "{" or "}" fails the parse with one log line naming the file and line.
#include "engine/ConfigFileBound.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

// One parsed item.
struct ConfigData
{
    enum Kind : uint8_t
    {
        Null = 0,
        Container = 1,
        QuotedString = 2,
        Raw = 3
    };

    std::string name;
    std::string value;  // unescaped string text, or trimmed raw text; empty for containers and nulls
    std::vector<ConfigData> children;
    int line = 0;  // line of the name, counting from 1
    Kind kind = Null;
    bool quotedValue = false;  // the value came from a quoted string (also for a container with a value)

    bool IsContainer() const { return kind == Container; }
    // The n-th child of that name (names compare without regard to case), or nullptr.
    const ConfigData* Find(std::string_view childName, size_t n = 0) const;
    size_t CountOf(std::string_view childName) const;
    // The value read as a number; the fallback when it is not wholly one.
    double GetNumber(double fallback = 0.0) const;
};

// Receives the items of a parse as they are read, without a tree being built: the file readers that make
// trees of their own (the configuration soup) take the items from here.
class ConfigParserSink
{
public:
    virtual ~ConfigParserSink() = default;
    // One item. `value` is the unescaped string text or the trimmed raw text (for a container the value it
    // carries, if any); it is valid only during the call. A container's children follow, then OnClose.
    virtual void OnItem(std::string_view name, ConfigData::Kind kind, std::string_view value, bool quotedValue,
                        int line) = 0;
    virtual void OnClose() = 0;
};

class ConfigParser
{
public:
    enum [[nodiscard]] Result{Ok = 0, Failed = 1, CannotRead = 2, BadSyntax = 3};
    static constexpr size_t kMaxDepth = 64;                        // containers inside containers
    static constexpr uint64_t kMaxFileSize = kMaxConfigFileBytes;  // ConfigFileBound.h

    // Reads the file (through File, so substitutions and the case fallback apply) and parses it.
    int Parse(std::string_view path);
    // Parses text already in memory; `sourceName` names it in messages unless a resource key is set.
    int ParseText(std::string_view text, std::string_view sourceName = "<text>");
    // Parses text and hands every item to `sink` instead of keeping a tree (GetRoot is then null). After a
    // failure the sink has seen only part of the items.
    int ParseText(std::string_view text, ConfigParserSink& sink, std::string_view sourceName = "<text>");
    // The name to use in messages (the resource the text belongs to).
    void SetResourceKey(std::string_view key) { resourceKey_.assign(key); }

    // The root item (a container holding the top-level items), nullptr unless the last parse succeeded.
    const ConfigData* GetRoot() const { return ok_ ? &root_ : nullptr; }
    ConfigData* GetRoot() { return ok_ ? &root_ : nullptr; }
    // The number of the top-level "version" item (0 when there is none), e.g. 1.00 for "version 1.00".
    double GetVersion() const;

    const std::string& GetError() const { return error_; }
    int GetErrorLine() const { return errorLine_; }

private:
    int Scan(std::string_view text, ConfigParserSink& sink, std::string_view sourceName);
    int Fail(int result, int line, const std::string& what, std::string_view source);
    ConfigData root_;
    std::string resourceKey_;
    std::string error_;
    int errorLine_ = 0;
    bool ok_ = false;
};

// Writer helpers for the same form (the inverse of the reader's rules).
void AppendQuotedConfigString(std::string& out, std::string_view text);  // "..." with \" and \\ escaped
std::string QuoteConfigString(std::string_view text);
// The name as it must be written: bare when it is one run of non-blank characters that cannot be
// mistaken for a quote or brace, else quoted.
void AppendConfigName(std::string& out, std::string_view name);

}  // namespace Orvo
