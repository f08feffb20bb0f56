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
    // The registers of the own work of the installation's processes (platform/OwnWorkRecords.h).
    std::string OwnWorkFolder() const;
    // The folder of a content source: "builtin", "base", "data" and the UserData locations; empty for other
    // names.
    std::string SourceFolder(std::string_view source) const;

    // Creates the UserData folders.
    bool MakeFolders(std::string* error = nullptr) const;
    // The daemon's own files (the database and the files SQLite keeps beside it, the lock, the log and its
    // rotated copy) are kept from every output the daemon writes, by their paths: whatever name a user's output
    // reaches them by, whether or not they are there or held open at that moment (platform/OutputFile.h).
    void KeepOwnFilesFromOutputs() const;

private:
    std::string root_;
};

// Longest file name and path the file system takes: longer ones are refused before any use.
constexpr size_t kMaxFileNameBytes = 255;
constexpr size_t kMaxPathBytes = 4095;

// True when the relative path is safe to join below a folder: not absolute, no "..", no empty or "."
// components, no NUL, no backslash.
bool IsSafeRelativePath(std::string_view rel);
// True for a file name that is one plain component ("..", "/", "\", NUL and over-long names refused).
bool IsSafeFileName(std::string_view name);
// True when path (absolute, normalised lexically) lies at or below folder.
bool IsPathInside(std::string_view path, std::string_view folder);
// The absolute path lexically normalised ("." and ".." folded); empty for a relative path or one that is
// too long (in all or in one component).
std::string NormalisePath(std::string_view path);
