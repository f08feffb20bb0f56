#include "platform/OwnWorkRecords.h"

#include "platform/Process.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <map>

namespace Platform {

namespace {

constexpr char kHex[] = "0123456789abcdef";

bool Escaped(unsigned char c) { return c <= ' ' || c == 0x7f || c == '\\'; }

void AppendEscaped(std::string& line, std::string_view path)
{
    for (const char ch : path)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (!Escaped(c))
        {
            line += ch;
            continue;
        }
        line += '\\';
        line += kHex[c >> 4];
        line += kHex[c & 15];
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An escaped absolute path back as its bytes; false for one that does not read or passes the bound.
bool Unescape(std::string_view text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\\')
        {
            if (Escaped(static_cast<unsigned char>(text[i]))) return false;
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        const auto c = static_cast<char>(high * 16 + low);
        if (!Escaped(static_cast<unsigned char>(c))) return false;  // written only one way
        out += c;
        i += 2;
    }
    return !out.empty() && out[0] == '/' && out.size() <= kMaxOwnWorkPath && out.find('\0') == std::string::npos;
}

bool Number(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The words of a line split at single spaces.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t start = 0;
    for (;;)
    {
        const size_t space = line.find(' ', start);
        words.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
        if (space == std::string_view::npos || words.size() > 8) return words;
        start = space + 1;
    }
}

const char* KindWord(OwnWorkKind kind)
{
    switch (kind)
    {
    case OwnWorkKind::kTree: return "tree";
    case OwnWorkKind::kAside: return "aside";
    case OwnWorkKind::kFile: break;
    }
    return "file";
}

bool Fail(std::string* why, const std::string& text)
{
    if (why) *why = text;
    return false;
}

// A small file of /proc read whole; empty when it cannot be.
std::string ReadProcFile(const std::string& path)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (fd.Get() < 0) return text;
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n <= 0 || text.size() > 16384) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

std::string OwnWorkRecordLine(const OwnWorkRecord& record)
{
    const bool aside = record.kind == OwnWorkKind::kAside;
    const auto fits = [](const std::string& path) {
        return !path.empty() && path[0] == '/' && path.size() <= kMaxOwnWorkPath && path.find('\0') == path.npos;
    };
    if (!fits(record.path) || (aside && !fits(record.own))) return {};
    std::string line = "+ " + std::to_string(record.note) + " " + KindWord(record.kind) + " " +
                       std::to_string(record.device) + " " + std::to_string(record.inode) + " ";
    AppendEscaped(line, record.path);
    if (aside)
    {
        line += ' ';
        AppendEscaped(line, record.own);
    }
    return line + "\n";
}

std::string OwnWorkForgetLine(uint64_t note) { return "- " + std::to_string(note) + "\n"; }

bool ReadOwnWorkRecords(std::string_view bytes, std::vector<OwnWorkRecord>& out, std::string* why)
{
    out.clear();
    const std::string_view header = kOwnWorkHeader;
    if (bytes.size() > kMaxOwnWorkBytes) return Fail(why, "it is larger than a register may be");
    if (bytes.substr(0, header.size()) != header) return Fail(why, "it is no register of this form");
    std::vector<OwnWorkRecord> records;
    std::map<uint64_t, size_t> standing;  // note: index in records
    size_t lines = 0;
    for (size_t at = header.size(); at < bytes.size();)
    {
        const size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) break;  // cut short as it was written
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (++lines > 2 * kMaxOwnWorkRecords) return Fail(why, "it holds more lines than a register may");
        const std::vector<std::string_view> words = Words(line);
        uint64_t note = 0;
        if (words.size() == 2 && words[0] == "-" && Number(words[1], note))
        {
            standing.erase(note);
            continue;
        }
        OwnWorkRecord r;
        const bool aside = words.size() == 7 && words[2] == "aside";
        if (words.size() != (aside ? 7u : 6u) || words[0] != "+" || !Number(words[1], r.note) || r.note == 0 ||
            !Number(words[3], r.device) || !Number(words[4], r.inode) || !Unescape(words[5], r.path) ||
            (aside && !Unescape(words[6], r.own)))
            return Fail(why, "line " + std::to_string(lines + 1) + " does not read");
        if (aside)
            r.kind = OwnWorkKind::kAside;
        else if (words[2] == "tree")
            r.kind = OwnWorkKind::kTree;
        else if (words[2] != "file")
            return Fail(why, "line " + std::to_string(lines + 1) + " does not read");
        if (standing.count(r.note) != 0 || records.size() >= kMaxOwnWorkRecords)
            return Fail(why, "line " + std::to_string(lines + 1) + " records a note twice, or one too many");
        standing.emplace(r.note, records.size());
        records.push_back(std::move(r));
    }
    std::vector<bool> stands(records.size(), false);
    for (const auto& [note, index] : standing) stands[index] = true;
    for (size_t i = 0; i < records.size(); ++i)
        if (stands[i]) out.push_back(std::move(records[i]));
    return true;
}

std::string OwnWorkRegisterNameOf(int pid)
{
    const uint64_t ticks = ProcessStartTicks(pid);
    if (ticks == 0) return {};
    std::string boot;
    for (const char c : ReadProcFile("/proc/sys/kernel/random/boot_id"))
        if (HexDigit(c) >= 0 && boot.size() < 64) boot += c;
    return std::to_string(pid) + "-" + std::to_string(ticks) + "-" + (boot.empty() ? "0" : boot);
}

int OwnWorkRegisterProcess(std::string_view name)
{
    const size_t first = name.find('-'), second = first == name.npos ? name.npos : name.find('-', first + 1);
    if (second == std::string_view::npos || second + 1 >= name.size() || name.size() - second - 1 > 64) return 0;
    uint64_t pid = 0, ticks = 0;
    if (!Number(name.substr(0, first), pid) || pid == 0 || pid > 0x3fffffff ||
        !Number(name.substr(first + 1, second - first - 1), ticks))
        return 0;
    for (const char c : name.substr(second + 1))
        if (HexDigit(c) < 0) return 0;
    return static_cast<int>(pid);
}

}  // namespace Platform
