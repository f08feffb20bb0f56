#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"

#include <string>

namespace {

// An entry's name as a message shows it: each zero byte written as a backslash and a 0, so that all of it is
// seen, and at most kShownNameBytes of it, so that one long line cannot flood the log.
constexpr size_t kShownNameBytes = 200;
std::string ShownName(std::string_view name)
{
    std::string shown;
    for (char c : name.substr(0, kShownNameBytes))
    {
        if (c == '\0')
            shown.append("\\0");
        else
            shown.push_back(c);
    }
    if (name.size() > kShownNameBytes) shown += "...";
    return shown;
}

}  // namespace

bool BackupKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log)
{
    ChunkedList<KUID> kuids;
    if (!client.QueryAssets(VADFilterElementGroup(), kuids))
    {
        if (log) log->PostResult(kResultError, "Unable to query the asset database; no keywords were backed up.");
        return false;
    }
    TDBTagRef tree;
    tree.EnsureContainer();
    for (const KUID& kuid : kuids)
    {
        // A backup with one asset's keywords missing would replace a whole one: nothing is written then.
        const VADResult<Orvo::String> keywords = client.GetAssetKeywords(kuid);
        if (!keywords.Ok())
        {
            if (log)
                log->PostResultF(kResultError, "Unable to read the keywords of %s; no keywords were backed up.",
                                 KUID::ToText(kuid).c_str());
            return false;
        }
        tree.SetChildString(KUID::ToText(kuid).View(), keywords.Value().View());
    }
    const ConfigFileForm form = ConfigFileFormFor(path.View(), format);
    std::string bytes, why = form == ConfigFileForm::kUnknown ? "the file form asked for is unknown"
                             : form == ConfigFileForm::kText  ? "it cannot be put in the configuration text form"
                                                              : "it cannot be put in the binary configuration form";
    if (SerializeConfigData(tree, form, bytes) &&
        WriteUserFile(Orvo::File::Path(ConfigFilePath(resourceName, path.View())), bytes, why))
        return true;
    if (log) log->PostResultF(kResultError, "Unable to write the keywords file '%s': %s.", path.c_str(), why.c_str());
    return false;
}

bool ImportKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log)
{
    // The file is the user's: a FIFO, a device or a file past the bound must neither hang nor flood the tool.
    ResultsLog quiet;
    ResultsLog& said = log ? *log : quiet;
    TDBTagRef tree;
    if (!ReadUserConfigFile(resourceName, path, format, "keywords file",
                            "Unable to read the keywords file '" + path.str() + "'.", tree, said))
        return false;
    bool allSent = true, allTaken = true;
    for (size_t i = 0, n = tree.GetChildCount(); i < n; ++i)
    {
        const Orvo::PString childName = tree.GetChildName(i);
        const std::string_view name = childName.View();
        // A name holding a zero byte is no KUID, though the part before the zero may read as another asset's.
        if (name.find('\0') != std::string_view::npos)
        {
            said.PostResultF(kResultError, "The KUID '%s' in '%s' holds a zero byte; its keywords were not imported.",
                             ShownName(name).c_str(), path.c_str());
            allTaken = false;
            continue;
        }
        KUID kuid;
        if (!kuid.ParseText(name, false))
        {
            // Named, so that a mistyped KUID is not dropped without a word; the other entries go on.
            said.PostResultF(kResultWarning, "The entry '%s' in '%s' is not a KUID; its keywords were not imported.",
                             ShownName(name).c_str(), path.c_str());
            continue;
        }
        Orvo::String keywords = tree.GetChildAt(i).GetString();
        // The link carries texts up to their first zero byte: such keywords would arrive cut short.
        if (keywords.View().find('\0') != std::string_view::npos)
        {
            said.PostResultF(kResultError, "The keywords of %s in '%s' hold a zero byte; they were not imported.",
                             KUID::ToText(kuid).c_str(), path.c_str());
            allTaken = false;
            continue;
        }
        if (!client.SetAssetKeywords(kuid, keywords.View())) allSent = false;
    }
    if (!allSent) said.PostResult(kResultError, "Unable to send the keywords to the asset database.");
    return allSent && allTaken;
}
