#pragma once
// The files a folder export ("dlsparsefolder") reads: every regular file of every asset folder below the folder
// given, which the daemon reads to install the asset. They are known before the export writes anything and kept
// from every output of the process while it runs (Platform::KeptInputs): no archive, thumbnail or SQL file is
// written over one of them, whatever name leads to it (a second name, a link), whether its asset is exported
// before or after the one whose output it would be.
#include "engine/FilePath.h"
#include "platform/OutputFile.h"

#include <cstddef>
#include <string>
#include <vector>

// The most files one export keeps: a folder tree whose asset folders hold more is not exported at all, since what
// it reads could not all be kept.
constexpr size_t kMaxExportSourceFiles = 65536;

// Keeps the files of `assetFolders` (the asset folders FindAssetFolders found below `folder`) in `kept`. False
// when they are more than kMaxExportSourceFiles: `why` says so.
bool KeepExportSources(const Orvo::File::Path& folder, const std::vector<Orvo::File::Path>& assetFolders,
                       Platform::KeptInputs& kept, std::string& why);
