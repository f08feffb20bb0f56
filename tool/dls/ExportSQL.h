#pragma once
// The SQL statement files of the download-station folder export, written in batches.
//
// One batch writes five files below the output root, numbered by the batch:
//   SQL_Asset_<B>.txt                   "UPDATE Asset SET ... WHERE KUID='<K>' AND AssetStatusID='FAK';" per asset
//   SQL_AssetChild_<B>.txt              INSERT rows tying a version to the one before it
//   SQL_AssetDependencies_<B>.txt       INSERT rows of the dependencies
//   SQL_AssetCategories_<B>.txt         INSERT rows of the category element ids
//   SQL_AssetCategoryElements_<B>.txt   INSERT rows of the category codes
// and appends the batch's KUIDs to kuids.txt, one per line. Lines end in CR LF. Every quoted value goes
// through EscapeSQLText; an INSERT file ends its last row with ";" and holds nothing when it has no rows.
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"
#include "tool/dls/AssetArchive.h"

#include <cstdint>
#include <vector>

class ResultsLog;

// A batch is written once it holds more than this many records, so a full batch holds 1001.
constexpr int32_t kExportBatchLimit = 1000;
// kuids.txt is read before a batch adds to it only up to this size.
constexpr uint64_t kMaxExportKUIDListBytes = uint64_t(1) << 30;

// The records of the current batch (children "0", "1", ... in insertion order; a null handle while
// empty), the key of the next record and the number of the next batch.
struct ExportRecordList
{
    TDBTagRef records;
    int32_t count = 0;
    int32_t batch = 0;
    // The archives and thumbnails written by the run so far, which no SQL file is written over.
    ExportKeptFiles written;

    // Adds the record under the next key.
    void Add(const TDBTagRef& record);
    // Forgets the records (the batch number and the files written stay).
    void Reset();
};

// The six files of `batch` below `root`, kuids.txt last.
std::vector<Orvo::File::Path> ExportSQLFiles(int32_t batch, const Orvo::File::Path& root);
// Those of them that are there, as files no archive or thumbnail of the batch is written over.
ExportKeptFiles ExportSQLFilesKept(int32_t batch, const Orvo::File::Path& root);

// Writes the records as the files of `batch` below `root` (created when missing), each as a file the user names
// is written (Platform::OutputFile: a file with a second name or of another owner keeps its names, owner and mode;
// a folder or the batch file being run is refused). All six are opened and checked before any is written, and
// none may be one of `kept` or another of them; they are then committed in order, kuids.txt last, so a batch that
// cannot be written leaves the earlier files as they were. False on failure, which is logged and, with a log,
// posted.
bool WriteAssetExportSQL(const TDBTagRef& records, int32_t batch, const Orvo::File::Path& root, ResultsLog* log,
                         const ExportKeptFiles& kept = {});

// Writes the batch when it is full (more than kExportBatchLimit records) and starts the next.
void WriteExportBatchIfFull(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log);
// Writes what the list holds as the last batch, if anything.
void WriteLastExportBatch(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log);
