#include "tool/dls/ExportSQL.h"

#include "assetdb/ResultsLog.h"
#include "core/KUID.h"
#include "core/LogPrintf.h"
#include "engine/File.h"
#include "platform/FileWriting.h"
#include "tool/dls/CategoryTables.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kRowEnd = "\r\n";

std::string Quoted(std::string_view text) { return "'" + EscapeSQLText(text).str() + "'"; }

std::string Int(int64_t v) { return std::to_string(v); }

// The KUID text of a version: "u:c:v" for a version above 0, else "u:c".
std::string VersionText(const KUID& k, int32_t version)
{
    std::string t = Int(k.userId) + ":" + Int(k.contentId);
    if (version > 0) t += ":" + Int(version);
    return t;
}

// One INSERT statement built row by row; empty when it has no rows.
class InsertFile
{
public:
    explicit InsertFile(const char* header) : header_(header) {}
    void Row(const std::string& values)
    {
        if (text_.empty()) text_ = std::string(header_) + kRowEnd;
        text_ += "(" + values + "), " + kRowEnd;
    }
    // The statement with its last row ending in ";".
    std::string Finish() const
    {
        if (text_.empty()) return {};
        std::string out = text_.substr(0, text_.size() - 4);  // ", " and CR LF
        return out + ";" + kRowEnd;
    }

private:
    const char* header_;
    std::string text_;
};

std::string AssetOf(const std::string& kuid)
{
    return "(SELECT AssetID FROM Asset WHERE KUID = " + kuid + " AND AssetDownloadID='T10')";
}

struct OutputFile
{
    Orvo::File::Path path;
    std::string text;
};

void ReportFailure(ResultsLog* log, int32_t batch, const std::string& why)
{
    LogPrintf("------------------------------------------------");
    LogPrintf(" ERROR : Failed to open on or more output files ");
    LogPrintf("------------------------------------------------");
    if (log) log->PostResultF(kResultError, "Failed to write the SQL files of batch %d: %s", batch, why.c_str());
}

// Writes every file beside its place, then renames them all into place; nothing changes when one cannot
// be written. The list's last file is renamed last.
bool WriteAllOrNothing(const std::vector<OutputFile>& files, std::string& why)
{
    for (const OutputFile& f : files)
    {
        if (Orvo::File::Exists(f.path.View()) && !Orvo::File::IsFile(f.path.View()))
        {
            why = "'" + f.path.str() + "' is not a file";
            return false;
        }
    }
    // A temporary that is not renamed into place goes with its ReplacingFile.
    std::vector<Platform::ReplacingFile> staged(files.size());
    for (size_t i = 0; i < files.size(); ++i)
    {
        std::string target;
        if (!Orvo::File::Resolve(files[i].path.View(), target))
        {
            why = Orvo::File::LastError().message;
            return false;
        }
        if (!staged[i].Create(target, O_WRONLY, 0666) ||
            !Platform::WriteFully(staged[i].Fd(), files[i].text.data(), files[i].text.size()))
        {
            why = "cannot write '" + files[i].path.str() + "': " + std::strerror(errno);
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i)
    {
        if (!staged[i].Commit())
        {
            why = "cannot put '" + files[i].path.str() + "' in place: " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

void ExportRecordList::Add(const TDBTagRef& record)
{
    records.SetChildTag(std::to_string(count), record);
    ++count;
}

void ExportRecordList::Reset()
{
    records.Release();
    count = 0;
}

bool WriteAssetExportSQL(const TDBTagRef& records, int32_t batch, const Orvo::File::Path& root, ResultsLog* log)
{
    if (!Orvo::File::Md(root.View()))
    {
        ReportFailure(log, batch, Orvo::File::LastError().message);
        return false;
    }
    auto at = [&](const std::string& name) {
        Orvo::File::Path p(root);
        p.AddPath(name);
        return p;
    };
    const std::string b = Int(batch);

    std::string kuids;
    Orvo::File::Path kuidsPath = at("kuids.txt");
    if (Orvo::File::Exists(kuidsPath.View()) && !Orvo::File::ReadFile(kuidsPath.View(), kuids))
    {
        ReportFailure(log, batch, Orvo::File::LastError().message);
        return false;
    }
    std::string assets;
    InsertFile children("INSERT INTO AssetChild (AssetID,ChildID) VALUES ");
    InsertFile dependencies("INSERT INTO AssetKUIDDependency (AssetID,KUID) VALUES ");
    InsertFile categories("INSERT INTO Asset_AssetCategory_Rels (AssetID,AssetCategoryID) VALUES ");
    InsertFile elements("INSERT INTO Asset_CategoryElement_Rels (AssetID,CategoryElementID) VALUES ");

    for (int32_t i = 0;; ++i)
    {
        const TDBTagRef record = records.GetChildContainer(Int(i));
        if (record.IsNull()) break;
        const std::string k(record.GetChildString("kuid").View());
        const KUID kuid = record.GetChildKUID("kuid", KUID::Null());
        const std::string K = Quoted(k);
        kuids += k + kRowEnd;

        const TDBTagRef asset = record.GetChildContainer("asset");
        float version = asset.GetChildFloat("productversion", 0.0f);
        if (!std::isfinite(version)) version = 0.0f;
        char productVersion[64];
        std::snprintf(productVersion, sizeof productVersion, "%.1f", static_cast<double>(version));
        assets += "UPDATE Asset SET AssetTypeID=" + Int(asset.GetChildInt("assettypeid", 0)) +
                  ",ProductID=198,Title=" + Quoted(asset.GetChildString("title").View()) +
                  ",Description=" + Quoted(asset.GetChildString("description").View()) +
                  ",DownloadPath=" + Quoted(asset.GetChildString("downloadpath").View()) +
                  ",FileSize=" + Int(asset.GetChildInt("filesize", 0)) + ",Version=" + Int(kuid.version) +
                  ",AssetStatusID='AVL',AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=" + productVersion +
                  " WHERE KUID=" + K + " AND AssetStatusID='FAK'; " + kRowEnd;

        if (kuid.version > 0)
            children.Row(AssetOf(K) + ", (SELECT AssetID from Asset WHERE KUID = " +
                         Quoted(VersionText(kuid, kuid.version > 1 ? kuid.version - 1 : 0)) + ")");
        const TDBTagRef deps = record.GetChildContainer("deps");
        for (size_t d = 0; d < deps.GetChildCount(); ++d)
            dependencies.Row(AssetOf(K) + ", " + Quoted(deps.GetChildString(Int(int64_t(d))).View()));
        const TDBTagRef cats = record.GetChildContainer("cats");
        for (size_t c = 0; c < cats.GetChildCount(); ++c)
            categories.Row(AssetOf(K) + ", '" + Int(cats.GetChildInt(Int(int64_t(c)), 0)) + "'");
        const TDBTagRef els = record.GetChildContainer("cat_els");
        for (size_t e = 0; e < els.GetChildCount(); ++e)
            elements.Row(AssetOf(K) + ", " + Quoted(els.GetChildString(Int(int64_t(e))).View()));
    }

    // The KUID list last: a batch whose SQL files are not all in place is not listed as done.
    std::vector<OutputFile> files = {
        {at("SQL_Asset_" + b + ".txt"), std::move(assets)},
        {at("SQL_AssetChild_" + b + ".txt"), children.Finish()},
        {at("SQL_AssetDependencies_" + b + ".txt"), dependencies.Finish()},
        {at("SQL_AssetCategories_" + b + ".txt"), categories.Finish()},
        {at("SQL_AssetCategoryElements_" + b + ".txt"), elements.Finish()},
        {kuidsPath, std::move(kuids)},
    };
    std::string why;
    if (WriteAllOrNothing(files, why)) return true;
    ReportFailure(log, batch, why);
    return false;
}

void WriteExportBatchIfFull(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log)
{
    if (list.count <= kExportBatchLimit) return;
    WriteAssetExportSQL(list.records, list.batch, root, log);
    ++list.batch;
    list.Reset();
}

void WriteLastExportBatch(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log)
{
    if (list.count == 0) return;
    WriteAssetExportSQL(list.records, list.batch, root, log);
    ++list.batch;
    list.Reset();
}
