#include "tool/ArchiveCommands.h"

#include "assetdb/ArchiveStream.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/PackageTargets.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "core/ChunkedList.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "core/VelmarProperty.h"
#include "engine/File.h"
#include "engine/PString.h"
#include "platform/OutputFile.h"
#include "textures/TextureTargets.h"
#include "tool/AssetStatus.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void PostWithParam(ResultsLog& log, const char* text, const char* name, std::string_view value)
{
    TDBTagRef params = TDBTagRef::NewContainer();
    params.SetChildString(name, value);
    log.PostResult(kResultError, text, params);
}

}  // namespace

int CreateCDPCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing output path parameter.");
        return -1;
    }
    const Orvo::File::Path output = ResolveArgumentPath(tool, args.Arg(2));
    if (!output.IsExt("cdp"))
    {
        PostCommandError(client, log, "The output filename must have a .cdp extension.");
        return -1;
    }
    std::vector<KUID> kuids;
    for (int i = 3; i < args.argc; ++i)
    {
        KUID kuid;
        kuid.ParseText(args.Arg(i) ? args.Arg(i) : "", false);
        if (kuid.IsNull())
        {
            PostCommandError(client, log, "Invalid AssetID.");
            return -1;
        }
        kuids.push_back(kuid);
    }
    // The assets are packed straight from their folders into the archive, one file at a time: neither this
    // process nor the daemon holds the archive. The daemon names the folders, a batch at a time.
    ContentArchiveWriter archive;
    Orvo::String result;
    auto failed = [&] {
        std::fprintf(stderr, "%s\n", result.c_str());
        // The summary must not read as a success: the failure goes to the log too, with its reason.
        PostWithParam(log, "$(reason)", "reason", result.View());
        return -1;
    };
    bool opened = false;
    constexpr size_t kBatch = 1024;
    std::vector<std::pair<bool, std::string>> folders;
    std::vector<std::string> leftOut;
    for (size_t first = 0; first < kuids.size(); first += kBatch)
    {
        const std::vector<KUID> batch(kuids.begin() + first, kuids.begin() + std::min(kuids.size(), first + kBatch));
        if (!client.GetAssetFolders(batch, folders, &log))
        {
            PostAssetError(client, log, batch[0], "Asset is not local.");
            return -1;
        }
        for (size_t i = 0; i < batch.size(); ++i)
            if (!folders[i].first || folders[i].second.empty())
            {
                PostAssetError(client, log, batch[i], "Asset is not local.");
                return -1;
            }
        // Nothing is written before the daemon has answered.
        if (!opened && !(opened = archive.Open(result, output))) return failed();
        for (size_t i = 0; i < batch.size(); ++i)
        {
            const KUID& kuid = batch[i];
            if (archive.Contains(kuid)) continue;  // a KUID given twice is simply not added again
            if (!archive.AddFolder(result, kuid, Orvo::File::Path(folders[i].second), false, &leftOut))
            {
                // An asset that could not be packed would otherwise be missing from an archive reported as made.
                if (!result.IsEmpty()) log.PostResult(kResultError, result.View());
                PostAssetError(client, log, kuid, "Unable to pack the asset.");
                return -1;
            }
            for (const std::string& path : leftOut)
            {
                TDBTagRef params = TDBTagRef::NewContainer();
                params.SetChildString("file_path", path);
                log.PostResult(kResultWarning, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid)),
                               "'$(FILE_PATH)' is a symbolic link or special file; it was left out.", params);
            }
        }
    }
    if (!opened && !archive.Open(result, output)) return failed();
    if (!archive.Finish(result)) return failed();
    return 0;
}

int ExportPackageCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    const std::string targetText = args.Arg(2) ? args.Arg(2) : "";
    // The package name is the last part of the package path.
    Orvo::File::Path package = GetContentFolder("packages");
    package.AddPath(args.Arg(3) ? args.Arg(3) : "");
    const std::string name = package.GetFileName().str();
    if (name != Orvo::PString(name).ToLower().str())
    {
        PostWithParam(log, "Invalid uppercase package name \"$(package)\"", "package", name);
        return -1;
    }
    if (name.size() > kMaxPackageNameLength)
    {
        PostWithParam(log, "Over-long package name \"$(package)\"", "package", name);
        return -1;
    }
    // Dependency package names come first, then nothing but KUIDs.
    std::vector<Orvo::String> dependencies;
    ChunkedList<KUID> kuids;
    for (int i = 4; i < args.argc; ++i)
    {
        const char* text = args.Arg(i) ? args.Arg(i) : "";
        KUID kuid;
        kuid.ParseText(text, true);
        if (!kuid.IsNull())
            kuids.Add(kuid);
        else if (kuids.IsEmpty())
            dependencies.emplace_back(text);
        else
        {
            PostWithParam(log, "Expected KUID parameter but found \"$(text)\"", "text", text);
            return -1;
        }
    }
    if (kuids.IsEmpty())
    {
        PostCommandError(client, log, "Missing AssetID parameter.");
        return -1;
    }
    const PStringArray targets = ParseTextureTargetList(targetText);
    // A target list no package can serve is refused before anything is copied or converted.
    std::vector<std::string> names;
    for (const Orvo::PString& t : targets) names.push_back(t.str());
    if (const std::string refused = RefusedTextureTargets(names); !refused.empty())
    {
        PostCommandError(client, log, refused);
        return -1;
    }
    // The daemon writes the package's files as outputs the user names; a file only this process knows no output
    // may be written over (the batch file being run) is refused here first: each file that is there is opened as
    // an output, and nothing is written.
    // Where the daemon writes them: the package's folder under its name, whatever the path given.
    const std::string folderName = DevicePackageName(name);
    for (const std::string& file : {folderName + ".cdp", std::string("package.txt")})
    {
        Orvo::File::Path path = GetContentFolder("packages");
        path.AddPath(folderName).AddPath(file);
        const std::string onDisk = path.str();
        struct stat st;
        if (::stat(onDisk.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        Platform::OutputFile probe;
        if (probe.Open(onDisk)) continue;
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("file_path", onDisk);
        params.SetChildString("reason", probe.Reason());
        log.PostResult(kResultError,
                       "The package file '$(FILE_PATH)' cannot be written: $(REASON); nothing was changed.", params);
        return -1;
    }
    const uint32_t errorsBefore = log.ErrorCount();
    if (!client.ExportPackage(targets, package, dependencies, kuids, &log)) return -1;
    // The daemon answers success once the package folder stands, even when a step inside it (texture
    // conversion of a copy) failed; those failures are on the log and must not end as a success.
    return log.ErrorCount() == errorsBefore ? 0 : -1;
}
