#include "engine/ConfigParser.h"

#include "engine/File.h"
#include "engine/Log.h"
#include "engine/TextCase.h"

#include <cstdlib>

namespace Orvo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool StartsWithBom(std::string_view t) { return t.substr(0, 3) == kBom; }

inline bool IsLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Reads an escaped run up to its closing quote. `i` starts after the opening quote and ends after
// the closing one. With `oneLine` a line end stops the scan. CR LF inside the text becomes LF, so a
// value does not depend on the file's line ends. False when there is no closing quote.
bool ReadQuoted(std::string_view t, size_t& i, bool oneLine, std::string& out, int* lines)
{
    out.clear();
    size_t runStart = i;
    while (i < t.size())
    {
        char c = t[i];
        if (c == '"')
        {
            out.append(t.substr(runStart, i - runStart));
            ++i;
            return true;
        }
        if (c == '\\' && i + 1 < t.size() && (t[i + 1] == '"' || t[i + 1] == '\\'))
        {
            out.append(t.substr(runStart, i - runStart));
            out.push_back(t[i + 1]);
            i += 2;
            runStart = i;
            continue;
        }
        if (c == '\n')
        {
            if (oneLine) return false;
            if (lines) ++*lines;
        }
        if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n' && !oneLine)
        {
            out.append(t.substr(runStart, i - runStart));
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
    if (size < 0 || static_cast<uint64_t>(size) > kMaxFileSize)
        return Fail(CannotRead, 0, "file too large or unreadable", path);
    std::string text;
    if (!f.ReadAll(text, kMaxFileSize)) return Fail(CannotRead, 0, "cannot read", path);
    return ParseText(text, path);
}

int ConfigParser::ParseText(std::string_view t, std::string_view sourceName)
{
    root_ = ConfigData();
    root_.kind = ConfigData::Container;
    error_.clear();
    errorLine_ = 0;
    ok_ = false;

    size_t i = 0;
    int line = 1;
    if (StartsWithBom(t)) i = 3;

    std::vector<ConfigData*> stack{&root_};
    std::string scratch;
    while (true)
    {
        // At a name position: skip blanks and empty lines.
        while (i < t.size() && IsBlank(t[i]))
        {
            if (t[i] == '\n') ++line;
            ++i;
        }
        if (i >= t.size()) break;

        if (t[i] == '}')
        {
            if (stack.size() == 1) return Fail(BadSyntax, line, "'}' without an open container", sourceName);
            stack.pop_back();
            ++i;
            continue;
        }

        ConfigData& item = stack.back()->children.emplace_back();
        item.line = line;

        // The name: a quoted name closed on this line, else the run of non-blank characters.
        bool quotedName = false;
        if (t[i] == '"')
        {
            size_t j = i + 1;
            if (ReadQuoted(t, j, true, scratch, nullptr))
            {
                item.name = scratch;
                i = j;
                quotedName = true;
            }
        }
        if (!quotedName)
        {
            size_t start = i;
            while (i < t.size() && !IsBlank(t[i])) ++i;
            item.name.assign(t.substr(start, i - start));
        }

        while (i < t.size() && IsLineBlank(t[i])) ++i;

        bool opens = false;
        if (i < t.size() && t[i] == '{')
        {
            ++i;
            opens = true;
        }
        else if (i < t.size() && t[i] == '"')
        {
            ++i;
            int startLine = line;
            if (!ReadQuoted(t, i, false, item.value, &line))
                return Fail(BadSyntax, startLine, "string not closed", sourceName);
            item.kind = ConfigData::QuotedString;
            item.quotedValue = true;
            // After the closing quote: the line's end, a "{" that opens this item's children or a "}" that
            // closes the container. Anything else means a quote is missing (a quote inside the text that
            // was not escaped, or one left out), so the text is not what its writer meant.
            while (i < t.size() && IsLineBlank(t[i])) ++i;
            if (i < t.size() && t[i] == '}') continue;
            if (i < t.size() && t[i] == '{')
            {
                ++i;
                opens = true;
            }
            else if (i < t.size() && t[i] != '\n')
                return Fail(BadSyntax, line, "text after the closing quote (a quote missing or not escaped)",
                            sourceName);
        }
        else if (i < t.size() && t[i] != '\n')
        {
            size_t start = i;
            while (i < t.size() && t[i] != '\n') ++i;
            item.value.assign(TrimView(t.substr(start, i - start)));
            item.kind = ConfigData::Raw;
        }
        if (!opens)
        {
            // At the line's end: a container when the next non-blank character is "{".
            size_t j = i;
            int l = line;
            while (j < t.size() && IsBlank(t[j]))
            {
                if (t[j] == '\n') ++l;
                ++j;
            }
            if (j >= t.size() || t[j] != '{') continue;
            i = j + 1;
            line = l;
        }

        // A container opens.
        if (stack.size() > kMaxDepth) return Fail(BadSyntax, item.line, "containers nested too deeply", sourceName);
        item.kind = ConfigData::Container;
        stack.push_back(&item);
    }
    if (stack.size() > 1) return Fail(BadSyntax, stack.back()->line, "'{' not closed", sourceName);
    ok_ = true;
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
