#include "core/SetAsideNote.h"

#include "core/PathHelpers.h"
#include "core/Sha256.h"
#include "core/TextHelpers.h"
#include "engine/AsciiTextureResource.h"
#include "engine/TextCase.h"
#include "platform/FileWriting.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr char kNoteSuffix[] = ".own-name";
constexpr char kNoteHeader[] = "velmar set-aside texture description";
// A note holds four short lines and a name of at most 255 bytes.
constexpr size_t kMaxNoteBytes = 1024;
// The bytes of a file that its fingerprint covers (a description is far smaller).
constexpr size_t kFingerprintBytes = size_t(1) << 20;

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// What a name is: a file by its size and bytes, a link by its target, anything else by its kind alone.
struct Fingerprint
{
    std::string kind;  // "file", "link" or "other"
    uint64_t size = 0;
    std::string sha256;

    bool operator==(const Fingerprint&) const = default;
};

std::string Hex(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) hex += {digits[b >> 4], digits[b & 15]};
    return hex;
}

// False when the name is not there or cannot be read.
bool Take(const std::string& path, Fingerprint& out)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    Sha256 hash;
    if (S_ISLNK(st.st_mode))
    {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0) return false;
        out.kind = "link";
        out.size = uint64_t(n);
        hash.Update(target, size_t(n));
    }
    else if (S_ISREG(st.st_mode))
    {
        Platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
        out.kind = "file";
        out.size = uint64_t(st.st_size);
        char buffer[64 * 1024];
        for (size_t left = kFingerprintBytes; left > 0;)
        {
            const ssize_t n = ::read(fd.Get(), buffer, std::min(left, sizeof buffer));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            hash.Update(buffer, size_t(n));
            left -= size_t(n);
        }
    }
    else
    {
        out.kind = "other";
    }
    out.sha256 = Hex(hash.Finish());
    return true;
}

struct Note
{
    Fingerprint print;
    std::string own;
};

std::string NoteText(const Note& note)
{
    return std::string(kNoteHeader) +
           ("\nkind " + note.print.kind + "\nsize " + std::to_string(note.print.size) + "\nsha256 " +
            note.print.sha256 + "\nown ") +
           note.own;
}

// What stands under a note's name.
enum class NoteFile
{
    kNone,   // nothing
    kEmpty,  // an empty file: it holds nothing of anyone's
    kTorn,   // a file that starts as a note does (its header) but does not read as one: cut short as it was written
    kWhole,  // a note of this form
    kOther,  // anything else (a file of the user's, a folder, a link): never taken for a note
};

// Reads what stands at `path` (never through a link); `note` gets a whole note, `st` what was read.
NoteFile ReadNoteFile(const std::string& path, Note& note, struct stat& st)
{
    Platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT || errno == ENOTDIR ? NoteFile::kNone : NoteFile::kOther;
    std::string text;
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return NoteFile::kOther;
    if (st.st_size == 0) return NoteFile::kEmpty;
    if (!Platform::ReadOpenedFile(fd.Get(), uint64_t(st.st_size), text, kMaxNoteBytes)) return NoteFile::kOther;
    if (text.empty()) return NoteFile::kEmpty;  // emptied since it was looked at
    const std::string_view header = kNoteHeader;
    const bool ours = text.starts_with(header) && (text.size() == header.size() || text[header.size()] == '\n');
    const NoteFile torn = ours ? NoteFile::kTorn : NoteFile::kOther;
    // Each line as written, in its place; the name runs to the end of the file (it may hold any byte but '/').
    size_t at = 0;
    auto line = [&](std::string_view key, std::string& value) {
        if (text.compare(at, key.size(), key) != 0) return false;
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        value = text.substr(at + key.size(), end - at - key.size());
        at = end + 1;
        return true;
    };
    std::string rest, size;
    if (!line(kNoteHeader, rest) || !rest.empty() || !line("kind ", note.print.kind) || !line("size ", size) ||
        !line("sha256 ", note.print.sha256) || text.compare(at, 4, "own ") != 0)
        return torn;
    if (size.empty() || size.size() > 19 || size.find_first_not_of("0123456789") != std::string::npos) return torn;
    note.print.size = std::stoull(size);
    note.own = text.substr(at + 4);
    return NoteFile::kWhole;
}

// The note of `aside` in `folder`, when one of this form is there whole.
bool ReadNote(const std::string& folder, const std::string& aside, Note& note)
{
    struct stat st;
    return ReadNoteFile(Join(folder, SetAsideNoteName(aside)), note, st) == NoteFile::kWhole;
}

// Removes `path` while it is still the file `st` says was read there.
bool RemoveIfStill(const std::string& path, const struct stat& read)
{
    struct stat now;
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == read.st_dev && now.st_ino == read.st_ino &&
           ::unlink(path.c_str()) == 0;
}

// The note names the description at `aside`: its own name is one whose temporary name is `aside`, and what is there
// now is what it noted.
bool Holds(const std::string& folder, const std::string& aside, const Note& note)
{
    Fingerprint now;
    return TextureSetAsideName(note.own) == aside && Take(Join(folder, aside), now) && now == note.print;
}

// What stands under a note's name names nothing: an empty file, a torn note, or a whole one whose description is
// not aside as it says.
bool NamesNothing(NoteFile there, const std::string& folder, const std::string& aside, const Note& note)
{
    return there == NoteFile::kEmpty || there == NoteFile::kTorn ||
           (there == NoteFile::kWhole && !Holds(folder, aside, note));
}

bool IsNoteName(const std::string& name, std::string& aside)
{
    const std::string_view suffix = kNoteSuffix;
    if (name.size() <= suffix.size() + 1 || name[0] != '.' || !name.ends_with(suffix)) return false;
    aside = name.substr(1, name.size() - 1 - suffix.size());
    return !SetAsideTextureOwnName(aside).empty();
}

}  // namespace

std::string SetAsideNoteName(const std::string& aside) { return "." + aside + kNoteSuffix; }

bool WriteSetAsideNote(const std::string& folder, const std::string& own, const std::string& aside, int& error,
                       std::string* why)
{
    Note note;
    note.own = own;
    if (!Take(Join(folder, own), note.print))
    {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    const std::string name = SetAsideNoteName(aside), path = Join(folder, name), text = NoteText(note);
    // Made whole under its name or not at all: a kill never leaves part of a note.
    for (int attempt = 0;; ++attempt)
    {
        if (Platform::WriteNewFileWhole(path, text)) return true;
        error = errno;
        Note old;
        struct stat st
        {};
        const NoteFile there = error == EEXIST ? ReadNoteFile(path, old, st) : NoteFile::kNone;
        // A note left by a process killed before its rename away or after its rename back names nothing, and one
        // that is empty or torn (an earlier version wrote it in place) names nothing either: it goes.
        const bool stale = NamesNothing(there, folder, aside, old);
        if (stale && attempt == 0)
        {
            RemoveIfStill(path, st);
            continue;
        }
        // A note that names a description aside: that description is what stands in the way.
        if (there == NoteFile::kWhole && !stale) return false;
        if (why)
            *why = error != EEXIST ? "'" + name + "' cannot be written: " + std::strerror(error)
                   : there == NoteFile::kOther
                       ? "'" + name + "' already exists and is not a note the tool wrote: it is left as it is"
                       : "'" + name + "' already exists";
        return false;
    }
}

void RemoveSetAsideNote(const std::string& folder, const std::string& aside)
{
    LeaveOutSetAsideNote(folder, SetAsideNoteName(aside));
}

std::vector<LeftAside> FindLeftAside(const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<LeftAside> found;
    std::unordered_set<std::string> descriptions;  // in lower case
    for (std::string name : names)
        if (IsTextureTxtName(name))
        {
            Orvo::LowerInPlace(name);
            descriptions.insert(std::move(name));
        }
    for (const std::string& name : names)
    {
        std::string own = SetAsideTextureOwnName(name);
        struct stat st;
        if (own.empty() || ::lstat(Join(folder, name).c_str(), &st) != 0 ||
            !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            continue;
        Note note;
        if (ReadNote(folder, name, note) && Holds(folder, name, note))
        {
            found.push_back({name, note.own});
            continue;
        }
        // Without a note that names it: a description only by its looks, and only where no description of the
        // folder has its own name in any case.
        std::string lower = own;
        Orvo::LowerInPlace(lower);
        std::string text, primary, alpha;
        if (descriptions.count(lower) == 0 &&
            Orvo::AsciiTextureResource::ReadImageNames(Join(folder, name), text, primary, alpha) && !primary.empty())
            found.push_back({name, std::move(own)});
    }
    return found;
}

bool GiveBackLeftAside(const std::string& folder, const LeftAside& left, int& error)
{
    if (!RenameFileAt(folder, left.aside, left.own, &error)) return false;
    RemoveSetAsideNote(folder, left.aside);
    return true;
}

void RemoveStaleSetAsideNotes(const std::string& folder, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
    {
        std::string aside;
        Note note;
        struct stat st
        {};
        if (!IsNoteName(name, aside)) continue;
        const std::string path = Join(folder, name);
        if (NamesNothing(ReadNoteFile(path, note, st), folder, aside, note)) RemoveIfStill(path, st);
    }
}

bool LeaveOutSetAsideNote(const std::string& folder, const std::string& name)
{
    std::string aside;
    Note note;
    struct stat st
    {};
    if (!IsNoteName(name, aside)) return false;
    const std::string path = Join(folder, name);
    const NoteFile there = ReadNoteFile(path, note, st);
    return (there == NoteFile::kEmpty || there == NoteFile::kTorn || there == NoteFile::kWhole) &&
           RemoveIfStill(path, st);
}
