#include "textures/DescriptionsAside.h"

#include "core/PathHelpers.h"
#include "core/SetAsideNote.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string QuotedFileName(std::string_view path)
{
    std::string quoted("'");
    quoted.append(path.substr(path.find_last_of("/\\") + 1)).push_back('\'');
    return quoted;
}

std::string RenameFailureText(const std::string& from, const std::string& to, int error)
{
    if (error == EEXIST) return QuotedFileName(to) + " already exists";
    return QuotedFileName(from) + " cannot be renamed to " + QuotedFileName(to) + ": " + std::strerror(error);
}

namespace {

// The folder that holds the description `own` (a path below `folder`), and the bare names of `own` and `temp`.
struct Names
{
    std::string folder, own, temp;
};
Names NamesOf(const std::string& folder, const std::string& own, const std::string& temp)
{
    const std::string path = JoinBasePath(folder, own);
    const size_t cut = path.rfind('/');
    auto bare = [](const std::string& p) { return p.substr(p.rfind('/') + 1); };
    return {cut == std::string::npos ? std::string() : path.substr(0, cut + 1), bare(own), bare(temp)};
}

// Renames a description set aside back to its own name; once it has it, its note goes.
bool RenameBack(const std::string& folder, const std::string& own, const std::string& temp, int& error)
{
    const Names n = NamesOf(folder, own, temp);
    return GiveBackLeftAside(n.folder, {n.temp, n.own}, error);
}

}  // namespace

bool DescriptionsAside::SetAside(const std::string& folder, const std::string& own, const std::string& temp, int& error,
                                 std::string* why)
{
    std::lock_guard<std::mutex> hold(mutex_);
    std::string noteWhy;
    auto failed = [&] {
        if (why) *why = noteWhy.empty() ? RenameFailureText(own, temp, error) : noteWhy;
        return false;
    };
    if (ending_)
    {
        error = ECANCELED;
        return failed();
    }
    // Room for the entry first: once renamed, the description must be known to be aside. Its own name is noted
    // on disk before the rename, for a process killed while it is aside (SetAsideNote.h).
    aside_.reserve(aside_.size() + 1);
    const Names n = NamesOf(folder, own, temp);
    if (!WriteSetAsideNote(n.folder, n.own, n.temp, error, &noteWhy)) return failed();
    if (!RenameFileAt(folder, own, temp, &error))
    {
        RemoveSetAsideNote(n.folder, n.temp);
        return failed();
    }
    aside_.push_back({folder, own, temp});
    return true;
}

bool DescriptionsAside::GiveBack(const std::string& folder, const std::string& own, const std::string& temp, int& error)
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (ending_) return true;
    const auto it = std::find_if(aside_.begin(), aside_.end(),
                                 [&](const Entry& e) { return e.folder == folder && e.own == own && e.temp == temp; });
    if (it != aside_.end()) aside_.erase(it);
    return RenameBack(folder, own, temp, error);
}

std::string DescriptionsAside::GiveBackAll()
{
    std::lock_guard<std::mutex> hold(mutex_);
    ending_ = true;
    std::string stays;
    for (const Entry& e : aside_)
    {
        int error = 0;
        if (RenameBack(e.folder, e.own, e.temp, error)) continue;
        stays += "The texture description '" + JoinBasePath(e.folder, e.own) + "' stays under the name " +
                 QuotedFileName(e.temp) + ": " + RenameFailureText(e.temp, e.own, error) + ".\n";
    }
    aside_.clear();
    return stays;
}

DescriptionsAside& DescriptionsAside::Process()
{
    // Never destroyed: a signal may arrive while the process's static objects are being destroyed.
    static DescriptionsAside* registry = new DescriptionsAside;
    return *registry;
}

std::string GiveBackSetAsideDescriptions() { return DescriptionsAside::Process().GiveBackAll(); }
