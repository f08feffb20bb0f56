#include "engine/ConfigParser.h"

#include "engine/File.h"
#include "engine/Log.h"
#include "engine/TextCase.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace Orvo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool StartsWithBom(std::string_view t) { return t.substr(0, 3) == kBom; }

inline bool IsLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Character classes for the scanning loops: a run of ordinary characters is skipped a byte at a time with
// one table look-up.
enum : uint8_t
{
    kBlank = 1,         // ' ', '\t', '\r', '\n'
    kQuotedSpecial = 2  // '"', '\\', '\n', '\r': what ends a run inside a quoted text
};

constexpr auto kClasses = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned char c : {' ', '\t', '\r', '\n'}) t[c] |= kBlank;
    for (unsigned char c : {'"', '\\', '\n', '\r'}) t[c] |= kQuotedSpecial;
    return t;
}();

inline bool Is(char c, uint8_t cls) { return (kClasses[static_cast<unsigned char>(c)] & cls) != 0; }

// Reads an escaped run up to its closing quote. `i` starts after the opening quote and ends after
// the closing one. With `oneLine` a line end stops the scan. CR LF inside the text becomes LF, so a
// value does not depend on the file's line ends. `out` is the text: a view into `t` when it holds no
// escape and no CR LF (the usual case, nothing copied), else a view of `scratch`. False when there is no
// closing quote.
bool ReadQuoted(std::string_view t, size_t& i, bool oneLine, std::string& scratch, std::string_view& out, int* lines)
{
    const size_t n = t.size();
    const size_t start = i;
    size_t runStart = i;
    bool copied = false;  // part of the text is in scratch
    while (i < n)
    {
        while (i < n && !Is(t[i], kQuotedSpecial)) ++i;
        if (i >= n) break;
        char c = t[i];
        if (c == '"')
        {
            if (copied)
            {
                scratch.append(t.data() + runStart, i - runStart);
                out = scratch;
            }
            else
                out = t.substr(start, i - start);
            ++i;
            return true;
        }
        if (c == '\\')
        {
            if (i + 1 < n && (t[i + 1] == '"' || t[i + 1] == '\\'))
            {
                if (!copied) scratch.clear();
                copied = true;
                scratch.append(t.data() + runStart, i - runStart);
                scratch.push_back(t[i + 1]);
                i += 2;
                runStart = i;
                continue;
            }
            ++i;
            continue;
        }
        if (c == '\n')
        {
            if (oneLine) return false;
            if (lines) ++*lines;
        }
        if (c == '\r' && i + 1 < n && t[i + 1] == '\n' && !oneLine)
        {
            if (!copied) scratch.clear();
            copied = true;
            scratch.append(t.data() + runStart, i - runStart);
            runStart = i + 1;  // drop the CR, keep the LF
        }
        ++i;
    }
    return false;
}

}  // namespace

const ConfigData* ConfigData::Find(std::string_view childName, size_t n) const
{
    for (const ConfigData& c : children)
        if (EqualsNoCase(c.name, childName) && n-- == 0) return &c;
    return nullptr;
}

size_t ConfigData::CountOf(std::string_view childName) const
{
    size_t n = 0;
    for (const ConfigData& c : children)
        if (EqualsNoCase(c.name, childName)) ++n;
    return n;
}

double ConfigData::GetNumber(double fallback) const
{
    if (value.empty()) return fallback;
    char* end = nullptr;
    double v = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || !TrimView(end).empty()) return fallback;
    return v;
}

int ConfigParser::Fail(int result, int line, const std::string& what, std::string_view source)
{
    ok_ = false;
    root_ = ConfigData();
    errorLine_ = line;
    std::string where = resourceKey_.empty() ? std::string(source) : resourceKey_;
    error_ = line > 0 ? "'" + where + "' line " + std::to_string(line) + ": " + what : "'" + where + "': " + what;
    Log::Printf("ConfigParser::Parse> %s", error_.c_str());
    return result;
}

int ConfigParser::Parse(std::string_view path)
{
    File f;
    if (f.Open(path, File::ModeRead) != File::Ok)
        return Fail(CannotRead, 0, "cannot open: " + File::LastError().message, path);
    int64_t size = f.Size();
    if (size < 0) return Fail(CannotRead, 0, "cannot read its size", path);
    if (static_cast<uint64_t>(size) > kMaxFileSize) return Fail(CannotRead, 0, ConfigFileTooLargeReason(), path);
    NoteConfigLoad(static_cast<uint64_t>(size));
    std::string text;
    if (!f.ReadAll(text, kMaxFileSize)) return Fail(CannotRead, 0, "cannot read", path);
    return ParseText(text, path);
}

namespace {

// Builds the ConfigData tree of a parse. The children of each open container are gathered first and moved
// in when it closes, so that each list is allocated once at its final size.
class ConfigDataBuilder final : public ConfigParserSink
{
public:
    explicit ConfigDataBuilder(ConfigData& root) : root_(root), pending_(1) {}

    void OnItem(std::string_view name, ConfigData::Kind kind, std::string_view value, bool quotedValue,
                int line) override
    {
        ConfigData& item = pending_[depth_].emplace_back();
        item.name.assign(name);
        item.value.assign(value);
        item.kind = kind;
        item.quotedValue = quotedValue;
        item.line = line;
        if (kind != ConfigData::Container) return;
        if (++depth_ == pending_.size()) pending_.emplace_back();
    }
    void OnClose() override
    {
        --depth_;
        Adopt(pending_[depth_].back().children, pending_[depth_ + 1]);
    }
    // After the whole text: the top-level items into the root.
    void Finish() { Adopt(root_.children, pending_[0]); }

private:
    static void Adopt(std::vector<ConfigData>& into, std::vector<ConfigData>& from)
    {
        into.assign(std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
        from.clear();
    }

    ConfigData& root_;
    std::vector<std::vector<ConfigData>> pending_;  // the items read so far of each open container
    size_t depth_ = 0;
};

// The first position at or after `i` that is not blank, counting the line ends passed.
inline size_t SkipBlanks(std::string_view t, size_t i, int& line)
{
    while (i < t.size() && Is(t[i], kBlank))
    {
        if (t[i] == '\n') ++line;
        ++i;
    }
    return i;
}

}  // namespace

int ConfigParser::ParseText(std::string_view t, std::string_view sourceName)
{
    root_ = ConfigData();
    root_.kind = ConfigData::Container;
    ConfigDataBuilder builder(root_);
    const int result = Scan(t, builder, sourceName);
    if (result == Ok) builder.Finish();
    ok_ = result == Ok;
    return result;
}

int ConfigParser::ParseText(std::string_view t, ConfigParserSink& sink, std::string_view sourceName)
{
    root_ = ConfigData();
    const int result = Scan(t, sink, sourceName);
    ok_ = false;  // nothing kept
    return result;
}

int ConfigParser::Scan(std::string_view t, ConfigParserSink& sink, std::string_view sourceName)
{
    error_.clear();
    errorLine_ = 0;
    ok_ = false;

    size_t i = 0;
    int line = 1;
    if (StartsWithBom(t)) i = 3;

    // The lines on which the open containers started, innermost last.
    std::vector<int> open;
    std::string quotedName, quotedValue;
    const size_t n = t.size();
    while (true)
    {
        // At a name position: skip blanks and empty lines.
        i = SkipBlanks(t, i, line);
        if (i >= n) break;

        if (t[i] == '}')
        {
            if (open.empty()) return Fail(BadSyntax, line, "'}' without an open container", sourceName);
            open.pop_back();
            sink.OnClose();
            ++i;
            continue;
        }

        const int itemLine = line;
        // The name: a quoted name closed on this line, else the run of non-blank characters.
        std::string_view name;
        bool isQuotedName = false;
        if (t[i] == '"')
        {
            size_t j = i + 1;
            if (ReadQuoted(t, j, true, quotedName, name, nullptr))
            {
                i = j;
                isQuotedName = true;
            }
        }
        if (!isQuotedName)
        {
            size_t start = i;
            while (i < n && !Is(t[i], kBlank)) ++i;
            name = t.substr(start, i - start);
        }

        while (i < n && IsLineBlank(t[i])) ++i;

        ConfigData::Kind kind = ConfigData::Null;
        std::string_view value;
        bool quoted = false;
        bool opens = false;
        bool closesAfter = false;
        if (i < n && t[i] == '{')
        {
            ++i;
            opens = true;
        }
        else if (i < n && t[i] == '"')
        {
            ++i;
            int startLine = line;
            if (!ReadQuoted(t, i, false, quotedValue, value, &line))
                return Fail(BadSyntax, startLine, "string not closed", sourceName);
            kind = ConfigData::QuotedString;
            quoted = true;
            // After the closing quote: the line's end, a "{" that opens this item's children or a "}" that
            // closes the container. Anything else means a quote is missing (a quote inside the text that
            // was not escaped, or one left out), so the text is not what its writer meant.
            while (i < n && IsLineBlank(t[i])) ++i;
            if (i < n && t[i] == '}')
                closesAfter = true;
            else if (i < n && t[i] == '{')
            {
                ++i;
                opens = true;
            }
            else if (i < n && t[i] != '\n')
                return Fail(BadSyntax, line, "text after the closing quote (a quote missing or not escaped)",
                            sourceName);
        }
        else if (i < n && t[i] != '\n')
        {
            size_t start = i;
            const void* eol = std::memchr(t.data() + i, '\n', n - i);
            i = eol ? static_cast<size_t>(static_cast<const char*>(eol) - t.data()) : n;
            value = TrimView(t.substr(start, i - start));
            kind = ConfigData::Raw;
        }
        if (!opens && !closesAfter)
        {
            // At the line's end: a container when the next non-blank character is "{".
            int l = line;
            size_t j = SkipBlanks(t, i, l);
            if (j < n && t[j] == '{')
            {
                i = j + 1;
                line = l;
                opens = true;
            }
        }
        if (!opens)
        {
            sink.OnItem(name, kind, value, quoted, itemLine);
            continue;
        }

        // A container opens.
        if (open.size() >= kMaxDepth) return Fail(BadSyntax, itemLine, "containers nested too deeply", sourceName);
        sink.OnItem(name, ConfigData::Container, value, quoted, itemLine);
        open.push_back(itemLine);
    }
    if (!open.empty()) return Fail(BadSyntax, open.back(), "'{' not closed", sourceName);
    return Ok;
}

double ConfigParser::GetVersion() const
{
    const ConfigData* v = ok_ ? root_.Find("version") : nullptr;
    return v ? v->GetNumber(0.0) : 0.0;
}

void AppendQuotedConfigString(std::string& out, std::string_view text)
{
    out.push_back('"');
    // Runs without a quote, backslash or CR are copied whole.
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c != '"' && c != '\\' && c != '\r') continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (c == '\r')
        {
            // The reader drops one CR before a LF (a CR LF file's line end); a CR of the text's own that
            // stands before a LF is written twice so that one is left.
            if (i + 1 < text.size() && text[i + 1] == '\n') out.push_back('\r');
        }
        else
            out.push_back('\\');
        out.push_back(c);
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

std::string QuoteConfigString(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    AppendQuotedConfigString(out, text);
    return out;
}

void AppendConfigName(std::string& out, std::string_view name)
{
    // A name starting with a byte-order mark is quoted: bare at the start of a file, the reader would skip
    // the mark.
    bool bare = !name.empty() && name[0] != '"' && name[0] != '{' && name[0] != '}' && !StartsWithBom(name);
    for (char c : name)
        if (IsBlank(c)) bare = false;
    if (bare)
        out.append(name);
    else
        AppendQuotedConfigString(out, name);
}

}  // namespace Orvo
