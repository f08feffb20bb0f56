#include "daemon/TextureCompile.h"

#include "assetdb/VADProtocol.h"
#include "core/SetAsideNote.h"
#include "core/TextHelpers.h"
#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"
#include "daemon/RequestHandlers.h"
#include "platform/OwnFolders.h"
#include "platform/RenameNoReplace.h"
#include "platform/UniqueNumber.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// More descriptions than any asset holds: a folder with more is compiled no further than this.
constexpr size_t kMaxDescriptions = 65536;
constexpr size_t kNoSlot = static_cast<size_t>(-1);
// More entries than any asset folder holds: a copy with more is looked through no further for notes.
constexpr size_t kMaxCopyEntries = size_t(1) << 22;
constexpr uint32_t kTexturesAllConverted = 2;  // the texture-convert job's answer when nothing failed

ResultParams KuidParam(const KUID& k) { return {{"asset_kuid", k.ToString()}}; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The names in a folder other than folders (links as they are), as many as an asset's descriptions may be.
std::vector<std::string> FilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end && names.size() < kMaxDescriptions; it.increment(ec))
        if (!it->is_directory(ec) || it->is_symlink(ec)) names.push_back(it->path().filename().string());
    return names;
}

}  // namespace

std::vector<std::string> ListTextureDescriptions(const std::string& folder)
{
    std::vector<std::string> found;
    std::set<fs::path> leftAside;  // the folders that hold a file of a temporary name
    std::error_code ec;
    const fs::path base(folder);
    for (fs::recursive_directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
    {
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        const std::string name = it->path().filename().string();
        if (IsTextureTxtName(name))
            found.push_back(it->path().lexically_relative(base).string());
        else if (!SetAsideTextureOwnName(name).empty() && leftAside.size() < kMaxDescriptions)
            leftAside.insert(it->path().parent_path());
        if (found.size() >= kMaxDescriptions) return found;
    }
    // A description that a conversion cut short left under its temporary name: where the name it gets back is free,
    // the job gives it that name and compiles it, and the copy must then hold it. (A link is left out of the copy.)
    for (const fs::path& dir : leftAside)
        for (const LeftAside& left : FindLeftAside(dir.string(), FilesIn(dir)))
        {
            struct stat st;
            if (lstat((dir / left.aside).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                lstat((dir / left.own).c_str(), &st) == 0 || errno != ENOENT)
                continue;
            found.push_back((dir / left.own).lexically_relative(base).string());
            if (found.size() >= kMaxDescriptions) return found;
        }
    return found;
}

std::vector<LeftAside> GiveBackSetAsideDescriptions(const std::string& copy,
                                                    const std::vector<std::string>& descriptions)
{
    std::set<fs::path> folders;
    for (const std::string& d : descriptions) folders.insert((fs::path(copy) / d).parent_path());
    std::vector<LeftAside> given;
    for (const fs::path& dir : folders)
    {
        const std::vector<std::string> files = FilesIn(dir);
        for (LeftAside& left : FindLeftAside(dir.string(), files))
        {
            int error = 0;
            const fs::path own = dir / left.own;
            if (std::find(descriptions.begin(), descriptions.end(), own.lexically_relative(copy).string()) ==
                    descriptions.end() ||
                !GiveBackLeftAside(dir.string(), left, error))
                continue;
            given.push_back({(dir / left.aside).lexically_relative(copy).string(), std::move(left.own)});
        }
    }
    LeaveOutSetAsideNotes(copy);
    return given;
}

void LeaveOutSetAsideNotes(const std::string& copy)
{
    // Every folder of the copy, also one without a description (a note may outlive its description there).
    std::error_code ec;
    size_t seen = 0;
    for (fs::recursive_directory_iterator it(copy, ec), end; !ec && it != end && ++seen <= kMaxCopyEntries;
         it.increment(ec))
        if (!it->is_directory(ec) && LeaveOutSetAsideNote(it->path().parent_path().string(), it->path().filename()))
            DLOG("left the note %s out of the copy %s", it->path().c_str(), copy.c_str());
}

void PostDescriptionGivenBack(DaemonResults* results, const KUID& kuid, const std::string& aside,
                              const std::string& own)
{
    PostResult(results, kResultWarning, kSetAsideDescriptionGivenBack, kuid,
               {{"asset_kuid", kuid.ToString()}, {"file_name", aside}, {"own_name", "'" + own + "'"}});
}

TextureCompileFn CommandHostTextureCompiler(RequestContext& c)
{
    DaemonServer& server = c.server;
    std::shared_ptr<ClientConnection> asker = c.from;
    if (server.Broker().IsHost(asker.get())) return {};
    return [&server, asker](const std::string& folder, DaemonResults& results, uint32_t& answer, std::string& why) {
        VADJob job;
        job.command = VAD_CMDHOST_TEXTURECONVERT;
        job.source = "cache";
        job.path = folder;
        job.targets = kVADInstallTextureTargets;
        VADHostReply reply;
        if (!server.Broker().RunJob(job, asker.get(), reply, why)) return false;
        for (VADResultNotification& r : reply.results) results.push_back(std::move(r));
        answer = reply.answer;
        return true;
    };
}

TextureStaging::~TextureStaging()
{
    if (!folder_.empty()) Platform::RemoveOwnFolder(folder_);
}

const std::string& TextureStaging::Folder()
{
    if (!folderTried_)
    {
        folderTried_ = true;
        // Made here (never a folder that was there) and noted as the daemon's own work: a kill leaves it to the
        // sweep at the next start, and only it.
        const std::string folder = Platform::OwnNameBeside(root_.UserData("cache") + "/textures") + ".staging";
        if (!Platform::MakeOwnFolder(folder, folder_, 0700))
        {
            folder_.clear();
            DLOG("the texture staging folder %s could not be made", folder.c_str());
        }
    }
    return folder_;
}

size_t TextureStaging::Add(const std::string& folder, const KUID& kuid, std::vector<std::string> descriptions,
                           const std::string& shownAs)
{
    Slot s;
    s.folder = folder;
    s.shownAs = shownAs.empty() ? folder : shownAs;
    s.kuid = kuid;
    s.descriptions = std::move(descriptions);
    if (!Folder().empty()) s.copy = folder_ + "/" + std::to_string(slots_.size());
    slots_.push_back(std::move(s));
    return slots_.size() - 1;
}

void TextureStaging::Copy(size_t slot, bool link)
{
    Slot& s = slots_[slot];
    if (s.copy.empty())
    {
        s.copyError = "no staging folder could be made in the cache";
        return;
    }
    s.copied = CopyFolderTree(s.folder, s.copy, &s.copyError, &s.leftOut, nullptr, link, &s.record);
    // A copy cut short (a full disk) is not compiled: the job would report its missing files.
    if (!s.copied) RemoveFolderTree(s.copy);
}

namespace {

// A path (in a text, up to its closing quote) that names what the texture-convert job writes: a compiled
// texture, or the part of one being written.
bool NamesJobOutput(const std::string& text, size_t from)
{
    const size_t end = text.find_first_of("'\"", from);
    const std::string path = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
    const std::string_view texture = ".texture";
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.find(".texture.part-") != std::string::npos ||
           (name.size() > texture.size() && name.compare(name.size() - texture.size(), texture.size(), texture) == 0);
}

}  // namespace

std::string TextureStaging::ShowOriginal(const std::string& text, size_t& slot)
{
    std::string out = text;
    for (size_t i = 0; i < slots_.size(); ++i)
    {
        const Slot& s = slots_[i];
        if (!s.copied) continue;
        // The copies are named by number: ".../1" is not a copy's path when ".../10" is meant.
        for (size_t at = out.find(s.copy); at != std::string::npos; at = out.find(s.copy, at))
        {
            const size_t after = at + s.copy.size();
            if (after < out.size() && IsDigit(out[after]))
            {
                at = after;
                continue;
            }
            slot = i;
            // A file the job wrote (or failed to write) lies in the copy only: it is named where it is.
            if (NamesJobOutput(out, after))
            {
                at = after;
                continue;
            }
            out.replace(at, s.copy.size(), s.shownAs);
            at += s.shownAs.size();
        }
    }
    return out;
}

void TextureStaging::Compile(DaemonResults* results)
{
    bool any = false;
    for (const Slot& s : slots_)
    {
        any = any || s.copied;
        if (s.copied || s.copyError.empty()) continue;
        PostResult(results, kResultWarning,
                   "The textures of asset $(ASSET_KUID) were not compiled: the copy to compile them in could not be "
                   "made (" +
                       NamedInPlace(s.copyError, s.folder, s.shownAs) + ").",
                   s.kuid, KuidParam(s.kuid));
    }
    if (!any) return;
    DaemonResults found;
    uint32_t answer = 0;
    std::string why;
    if (!compile_(folder_, found, answer, why))
    {
        DLOG("textures of %zu assets were not compiled: %s", slots_.size(), why.c_str());
        for (const Slot& s : slots_)
            if (s.copied)
                PostResult(results, kResultWarning,
                           "The textures of asset $(ASSET_KUID) were not compiled: " + why + ".", s.kuid,
                           KuidParam(s.kuid));
        return;
    }
    CrashPoint("compiled");
    // A finding that names no copy (the reason after a failure) is about the asset named last.
    size_t current = kNoSlot;
    for (VADResultNotification& r : found)
    {
        r.text = ShowOriginal(r.text, current);
        if (r.kind == kResultError) r.kind = kResultWarning;
        if (current != kNoSlot && !r.hasSource)
        {
            r.hasSource = 1;
            r.source = slots_[current].kuid;
        }
        if (current != kNoSlot) slots_[current].findings = true;
        if (results) results->push_back(std::move(r));
    }
    for (Slot& s : slots_)
    {
        if (!s.copied) continue;
        // A conversion loads its description under another name and puts it back: a copy that lacks one of
        // its descriptions afterwards is not installed.
        bool whole = true;
        struct stat st;
        for (const std::string& d : s.descriptions)
            whole = whole && lstat((s.copy + "/" + d).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        if (!whole)
        {
            PostResult(results, kResultWarning,
                       "The textures of asset $(ASSET_KUID) were not compiled: a texture description was not put back.",
                       s.kuid, KuidParam(s.kuid));
            continue;
        }
        s.compiled = true;
        s.incomplete = answer != kTexturesAllConverted && s.findings;
    }
}

void TextureStaging::PostIncomplete(size_t slot, DaemonResults* results) const
{
    const Slot& s = slots_[slot];
    if (s.compiled && s.incomplete)
        PostResult(results, kResultWarning,
                   "Asset $(ASSET_KUID) is installed with textures that could not be compiled.", s.kuid,
                   KuidParam(s.kuid));
}
