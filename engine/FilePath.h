#pragma once
// File::Path: a path held in "/" form. "\" in the input is taken as a separator too, so Windows-style
// paths from configurations and command lines work unchanged. A leading "/" makes a path absolute.
#include "engine/File.h"
#include "engine/String.h"

#include <string>
#include <string_view>

namespace Orvo {

class File::Path
{
public:
    Path() = default;
    Path(const char* text) { Set(text ? std::string_view(text) : std::string_view()); }
    Path(std::string_view text) { Set(text); }
    Path(const std::string& text) { Set(text); }
    Path(const String& text) { Set(text.View()); }

    Path& Set(std::string_view text);
    const char* c_str() const { return p_.c_str(); }
    const std::string& str() const { return p_; }
    std::string_view View() const { return p_; }
    size_t Length() const { return p_.size(); }
    bool IsEmpty() const { return p_.empty(); }

    // Joins with exactly one "/" between the parts; an empty part adds nothing.
    Path& AddPath(std::string_view relative);
    Path& AddPath(const Path& relative) { return AddPath(relative.View()); }
    Path& AddPath(const char* relative) { return AddPath(std::string_view(relative ? relative : "")); }
    Path& AddPath(const std::string& relative) { return AddPath(std::string_view(relative)); }
    Path& AddPath(const String& relative) { return AddPath(relative.View()); }
    // Plain text appending (no separator), e.g. for "name" + ".bak".
    Path& Add(std::string_view text);
    // Drops the file-name part, keeping the trailing "/": "a/b/c.txt" gives "a/b/", "c.txt" gives "".
    Path& DelName();
    // Drops a trailing "/" (except of the root "/").
    Path& DelSlash();
    // Folds "//", "./" and "x/.." where possible; a ".." above the start is kept.
    Path& Normalise();

    String GetFileName() const;              // the part after the last "/"
    String GetFolder() const;                // the part up to and including the last "/"
    String GetExt() const;                   // the file name's last extension without the ".", or ""
    bool IsExt(std::string_view ext) const;  // "txt" or ".txt", without regard to case
    Path& SetExt(std::string_view ext);      // replaces or adds the last extension
    Path& DelExt();                          // drops the last extension and its "."

    bool IsAbsolute() const { return !p_.empty() && p_[0] == '/'; }
    // `this` relative to `base` when it lies inside it ("a/b/c" against "a" gives "b/c");
    // otherwise the path unchanged. Components compare without regard to case.
    Path RelativeTo(const Path& base) const;

    // The text with "\" separators, for Windows-style command lines; the stored form stays "/".
    String ReplaceForwardSlashes() const;

    friend bool operator==(const Path& a, const Path& b) { return a.p_ == b.p_; }
    friend bool operator!=(const Path& a, const Path& b) { return a.p_ != b.p_; }
    friend bool operator<(const Path& a, const Path& b) { return a.p_ < b.p_; }

private:
    size_t NameStart() const;
    std::string p_;
};

}  // namespace Orvo
