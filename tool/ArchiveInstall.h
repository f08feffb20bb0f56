#pragma once
// Installing one asset from an archive entry (ArchiveEntry.h) through the daemon: open or create the
// asset, write its files and config into its edit folder, commit it when asked, and post one result.
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/String.h"

#include <cstdint>
#include <string>

class ResultsLog;
class VADClient;
struct ArchiveEntryOnDisk;

// Option flags of InstallAssetFromArchive.
enum : uint32_t
{
    kArchiveInstallCommit = 2,       // write "config.chump" (not "config.txt") and commit the asset
    kArchiveInstallDSIDMatches = 4,  // set here when the entry's "dsid" matches its files; passed on
    kArchiveInstallOption8 = 8,      // passed on to the commit
};

// Asks whether an installed asset may be replaced.
class ArchiveInstallPrompt
{
public:
    virtual ~ArchiveInstallPrompt() = default;
    // kArchivePromptReplace / kArchivePromptReplaceAll go ahead; any other answer cancels.
    virtual int Ask(const Orvo::String& promptText, const Orvo::String& logText, const KUID& kuid, ResultsLog& log) = 0;
};
constexpr int kArchivePromptReplace = 2;
constexpr int kArchivePromptReplaceAll = 3;

// The commit option word for the flags: 6 when the checksum matched, or-ed with 8 for option 8.
uint32_t ArchiveInstallCommitOption(uint32_t flags);

// The prompt and log text keys for an installed asset in the given state (VADAssetInfo flag bytes).
struct ArchivePromptKeys
{
    const char* prompt;
    const char* log;
};
ArchivePromptKeys ChooseArchivePromptKeys(uint8_t flags, uint8_t flags2);

// Installs the entry through the client. `commitFlag` goes unchanged to the commit. An installed asset is
// replaced only when `prompt` (if given) agrees. Returns the asset's KUID, or the null KUID when nothing was
// installed.
KUID InstallAssetFromArchive(VADClient& client, const TDBTagRef& entry, ResultsLog& log, uint32_t flags,
                             uint8_t commitFlag, ArchiveInstallPrompt* prompt);
// The same for an entry whose files are still on disk (ArchiveStream.h): they are written one at a time.
KUID InstallAssetFromArchive(VADClient& client, const ArchiveEntryOnDisk& entry, ResultsLog& log, uint32_t flags,
                             uint8_t commitFlag, ArchiveInstallPrompt* prompt);

// A new asset's copy for a batch install (VAD_REQ_INSTALL_FROM_FOLDERS): the entry's files, still in the job
// file, and the config a commit takes ("config.chump"), written into `folder` (made here, owner-only) as
// InstallAssetFromArchive writes them into a new asset's edit folder. `textures` is set when the copy holds a
// texture description (".texture.txt"). False when it failed (said in the log).
bool StageArchiveEntryOnDisk(const ArchiveEntryOnDisk& entry, const std::string& folder, ResultsLog& log,
                             bool& textures);
