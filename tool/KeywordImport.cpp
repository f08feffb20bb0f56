// importkeywords: the keywords of a file written by backupkeywords, sent to the daemon and confirmed stored.
#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADSentBatch.h"
#include "core/TDBTagRef.h"
#include "core/VelmarProperty.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// Keywords sent before each confirm: the daemon stores what waits on its link in groups of up to 512 (one store
// sync each), and a window no larger keeps every failure of it listed in the confirm's answer.
constexpr size_t kKeywordWindow = 512;
// Assets named one line each for one outcome; the rest are counted in one line.
constexpr size_t kNamedAssets = 20;

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

// The assets one outcome befell: each named in the KUID column, up to kNamedAssets, then one line of how many more.
class AssetLines
{
public:
    AssetLines(ResultsLog& log, uint32_t kind, const char* each, const char* more)
        : log_(log), kind_(kind), each_(each), more_(more)
    {}
    void Add(const KUID& kuid)
    {
        if (count_++ < kNamedAssets)
            log_.PostResult(kind_, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid)), each_);
    }
    // The line of how many more there were.
    void Finish()
    {
        if (count_ > kNamedAssets) log_.PostResultF(kind_, more_, count_ - kNamedAssets);
    }
    size_t Count() const { return count_; }

private:
    ResultsLog& log_;
    uint32_t kind_;
    const char* each_;
    const char* more_;  // printf form of one %zu
    size_t count_ = 0;
};

}  // namespace

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
    bool allTaken = true;
    std::vector<std::pair<KUID, std::string>> entries;
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
        entries.emplace_back(kuid, keywords.str());
    }

    AssetLines unknown(said, kResultWarning,
                       "The asset database does not know this asset; its keywords were not imported.",
                       "The asset database does not know %zu more assets; their keywords were not imported.");
    AssetLines failed(said, kResultError, "The asset database could not store the keywords of this asset.",
                      "The asset database could not store the keywords of %zu more assets.");
    AssetLines unconfirmed(said, kResultError,
                           "The asset database daemon stopped before it confirmed the keywords of this asset: they "
                           "may not be stored.",
                           "The keywords of %zu more assets may not be stored either.");
    // Sent without a reply each (as the daemon's peers send them), in windows, each window confirmed on the link it
    // went over before the next is sent: only keywords the daemon says it stored count as imported. Once it has
    // stopped, nothing more is sent (to it or to another daemon), and every keyword not confirmed is named.
    VADSentBatch batch(client.Link());
    bool stopped = false;
    for (size_t from = 0; from < entries.size(); from += kKeywordWindow)
    {
        const size_t to = std::min(entries.size(), from + kKeywordWindow);
        const size_t first = batch.Size();
        if (!stopped)
        {
            for (size_t i = from; i < to; ++i)
                (void)batch.Send<VAD_REQ_SET_KEYWORDS>(VADKuidTextRequest{entries[i].first, entries[i].second});
            (void)batch.Confirm();  // each keyword's outcome says what the confirm found
        }
        for (size_t i = from; i < to; ++i)
        {
            const VADStatus outcome = stopped ? VADStatus(kVADStatusLinkDropped) : batch.Outcome(first + i - from);
            if (outcome) continue;
            if (outcome.Code() == kVADStatusNotFound)
                unknown.Add(entries[i].first);
            else if (outcome.LinkFailed())
                unconfirmed.Add(entries[i].first);
            else
                failed.Add(entries[i].first);
        }
        stopped = stopped || unconfirmed.Count() > 0;
    }
    unknown.Finish();
    failed.Finish();
    unconfirmed.Finish();
    if (unconfirmed.Count() > 0)
        said.PostResult(kResultError, "Running importkeywords again stores them: it sends every keyword of the file "
                                      "again.");
    return allTaken && failed.Count() == 0 && unconfirmed.Count() == 0;
}
