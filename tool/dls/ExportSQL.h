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

#include <cstdint>

class ResultsLog;

// A batch is written once it holds more than this many records, so a full batch holds 1001.
constexpr int32_t kExportBatchLimit = 1000;

// The records of the current batch (children "0", "1", ... in insertion order; a null handle while
// empty), the key of the next record and the number of the next batch.
struct ExportRecordList
{
    TDBTagRef records;
    int32_t count = 0;
    int32_t batch = 0;

    // Adds the record under the next key.
    void Add(const TDBTagRef& record);
    // Forgets the records (the batch number stays).
    void Reset();
};

// Writes the records as the files of `batch` below `root` (created when missing). All six files are
// written beside their places first and renamed into them only when every one was written (kuids.txt
// last), so a batch that cannot be written leaves the earlier files as they were. False on failure, which
// is logged and, with a log, posted.
bool WriteAssetExportSQL(const TDBTagRef& records, int32_t batch, const Orvo::File::Path& root, ResultsLog* log);

// Writes the batch when it is full (more than kExportBatchLimit records) and starts the next.
void WriteExportBatchIfFull(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log);
// Writes what the list holds as the last batch, if anything.
void WriteLastExportBatch(ExportRecordList& list, const Orvo::File::Path& root, ResultsLog* log);
