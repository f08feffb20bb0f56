#pragma once
// The installation the daemon serves: its root and the content folders below it, and the checks that keep
// every path a client names inside them.
#include "core/KUID.h"

#include <string>
#include <string_view>

class DaemonRoot
{
public:
    DaemonRoot() = default;
    // root: an absolute folder (made canonical when it exists).
    explicit DaemonRoot(std::string root);

    const std::string& Root() const { return root_; }
    std::string Path(std::string_view relative) const;  // root + "/" + relative
    std::string UserData(std::string_view sub = {}) const;
    std::string Database() const { return Path("assets.tdx"); }
    std::string LockFile() const { return Path("assets.tdx.lock"); }
    std::string LocalFolder(const KUID& k) const;  // UserData/local/<spaced KUID>
    std::string EditFolder(const KUID& k) const;   // UserData/editing/<spaced KUID>
    // The folder of a content source: "builtin", "base", "data" and the UserData locations; empty for other
    // names.
    std::string SourceFolder(std::string_view source) const;

    // Creates the UserData folders.
    bool MakeFolders() const;

private:
    std::string root_;
};

// True when the relative path is safe to join below a folder: not absolute, no "..", no empty or "."
// components, no NUL, no backslash.
bool IsSafeRelativePath(std::string_view rel);
// True for a file name that is one plain component ("..", "/", "\" and NUL refused).
bool IsSafeFileName(std::string_view name);
// True when path (absolute, normalised lexically) lies at or below folder.
bool IsPathInside(std::string_view path, std::string_view folder);
// The absolute path lexically normalised ("." and ".." folded); empty for a relative path.
std::string NormalisePath(std::string_view path);
