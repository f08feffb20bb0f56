#pragma once
// One installed asset written as a content archive of its own, and the other files the download-station
// words write for their user.
#include "core/KUID.h"
#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/FileIdentity.h"

#include <string>
#include <string_view>
#include <vector>

class VADClient;
namespace Platform {
class OutputFile;
}

// A file an export must not write an output over, whatever name leads to it (a second name, a link): what it
// read (the package parsed, the picture a thumbnail is made from) or wrote before (an asset's archive, which
// its thumbnail must not replace). `what` names it in the reason: "the package being parsed".
struct ExportKeptFile
{
    Platform::FileIdentity file;
    std::string what;
};
using ExportKeptFiles = std::vector<ExportKeptFile>;

// Why the open output may not be written: "the <name> would be written over <what>"; empty when it may.
std::string ExportKeptReason(const Platform::OutputFile& output, const ExportKeptFiles& kept, const char* name);

// Writes `bytes` at `path` as Platform::OutputFile writes a file the user names (a plain file of the user's own
// replaced whole, one with other names or another owner written in place keeping them, a folder or socket
// refused), unless it is one of `kept`. `output` names the file in the reason ("thumbnail"). False with the reason
// ("<path> (<why>)"); the file is then as it was. `written`, when given, gets the file written.
bool WriteExportFile(const Orvo::File::Path& path, std::string_view bytes, const ExportKeptFiles& kept,
                     const char* output, Orvo::String& reason, Platform::FileIdentity* written = nullptr);

// Asks the daemon for the asset packed as an archive entry, stamps its "dsid" and saves an archive holding only
// that entry at `path`, written as WriteExportFile writes (an archive of one of `kept` is refused once the asset
// is packed, with nothing written). False with the reason when the daemon cannot pack the asset or the file
// cannot be written. `written`, when given, gets the archive's file.
bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason,
                        const ExportKeptFiles& kept = {}, Platform::FileIdentity* written = nullptr);
