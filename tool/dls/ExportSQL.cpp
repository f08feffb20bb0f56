#include "tool/dls/ExportSQL.h"

#include "assetdb/ResultsLog.h"
#include "core/KUID.h"
#include "core/LogPrintf.h"
#include "engine/File.h"
#include "platform/OutputFile.h"
#include "platform/RegularFile.h"
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

struct SQLFile
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

// Opens every file as an output the user names (Platform::OutputFile) before any is written, so that one that
// cannot be written (a folder, the batch file being run, a file of `kept`, two names of one file) fails the batch
// with every file as it was; then commits them in the list's order, the last one last. What is still not one step
// across the files: a commit that fails after others were made (a full disk) leaves those written and the rest as
// they were, so the KUID list, committed last, does not list a batch whose SQL files are not all in place.
bool WriteAllOrNothing(const std::vector<SQLFile>& files, const ExportKeptFiles& kept, std::string& why)
{
    std::vector<Platform::OutputFile> outputs(files.size());
    for (size_t i = 0; i < files.size(); ++i)
    {
        const std::string name = "'" + files[i].path.str() + "'";
        std::string target;
        if (!Orvo::File::ResolveForWriting(files[i].path.View(), target))
        {
            why = Orvo::File::LastError().message;
            return false;
        }
        if (!outputs[i].Open(target, 0666))
        {
            why = "cannot write " + name + ": " + outputs[i].Reason();
            return false;
        }
        if (const std::string refused = ExportKeptReason(outputs[i], kept, "SQL file"); !refused.empty())
        {
            why = "cannot write " + name + ": " + refused;
            return false;
        }
        for (size_t j = 0; j < i; ++j)
            if (outputs[i].IsSameOutputAs(outputs[j]))
            {
                why = "cannot write " + name + ": it is '" + files[j].path.str() + "' too";
                return false;
            }
    }
    for (size_t i = 0; i < files.size(); ++i)
    {
        if (!outputs[i].Commit(files[i].text))
        {
            why = "cannot write '" + files[i].path.str() + "': " + outputs[i].Reason();
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

std::vector<Orvo::File::Path> ExportSQLFiles(int32_t batch, const Orvo::File::Path& root)
{
    std::vector<Orvo::File::Path> paths;
    for (const char* name : {"SQL_Asset_", "SQL_AssetChild_", "SQL_AssetDependencies_", "SQL_AssetCategories_",
                             "SQL_AssetCategoryElements_"})
    {
        paths.push_back(root);
        paths.back().AddPath(name + Int(batch) + ".txt");
    }
    paths.push_back(root);
    paths.back().AddPath("kuids.txt");
    return paths;
}

ExportKeptFiles ExportSQLFilesKept(int32_t batch, const Orvo::File::Path& root)
{
    ExportKeptFiles kept;
    for (const Orvo::File::Path& path : ExportSQLFiles(batch, root))
    {
        std::string target;
        if (Orvo::File::ResolveForWriting(path.View(), target))
            if (Platform::FileIdentity file = Platform::FileIdentity::OfPath(target); file.known)
                kept.push_back({file, "the SQL file '" + path.str() + "'"});
    }
    return kept;
}

bool WriteAssetExportSQL(const TDBTagRef& records, int32_t batch, const Orvo::File::Path& root, ResultsLog* log,
                         const ExportKeptFiles& kept)
{
    if (!Orvo::File::Md(root.View()))
    {
        ReportFailure(log, batch, Orvo::File::LastError().message);
        return false;
    }
    const std::vector<Orvo::File::Path> paths = ExportSQLFiles(batch, root);
    const Orvo::File::Path& kuidsPath = paths.back();

    // The KUID list grows run after run: what it holds is read (a regular file only, within its bound) and
    // written again with the batch's KUIDs after it.
    std::string kuids, kuidsFile;
    switch (Orvo::File::ResolveForWriting(kuidsPath.View(), kuidsFile)
                ? Platform::ReadRegularFile(kuidsFile, kMaxExportKUIDListBytes, kuids)
                : Platform::RegularFileStatus::kMissing)
    {
    case Platform::RegularFileStatus::kOK:
    case Platform::RegularFileStatus::kMissing: break;
    case Platform::RegularFileStatus::kNotRegular:
        ReportFailure(log, batch, "'" + kuidsPath.str() + "' is not a regular file; it was not read");
        return false;
    case Platform::RegularFileStatus::kTooLarge:
        ReportFailure(log, batch,
                      "'" + kuidsPath.str() + "' is larger than " + Int(kMaxExportKUIDListBytes >> 20) +
                          " MiB; it was not read");
        return false;
    case Platform::RegularFileStatus::kUnreadable:
        ReportFailure(log, batch, "'" + kuidsPath.str() + "' cannot be read: " + std::strerror(errno));
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
    const std::vector<SQLFile> files = {
        {paths[0], std::move(assets)},   {paths[1], children.Finish()}, {paths[2], dependencies.Finish()},
        {paths[3], categories.Finish()}, {paths[4], elements.Finish()}, {kuidsPath, std::move(kuids)},
    };
    std::string why;
    if (WriteAllOrNothing(files, kept, why)) return true;
    ReportFailure(log, batch, why);
    return false;
}

void WriteExportBatchIfFull(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log)
{
    if (list.count <= kExportBatchLimit) return;
    WriteAssetExportSQL(list.records, list.batch, root, log, list.written);
    ++list.batch;
    list.Reset();
}

void WriteLastExportBatch(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log)
{
    if (list.count == 0) return;
    WriteAssetExportSQL(list.records, list.batch, root, log, list.written);
    ++list.batch;
    list.Reset();
}
