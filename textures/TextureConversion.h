#pragma once
// Batch texture conversion: every texture description ("x.texture.txt") below a folder is compiled into a
// compressed texture ("x.texture" beside it) for a target list. Each description gets a conversion record
// whose three steps run in order through the worker (load on the main thread, compress and write on a
// worker thread, release on the main thread); all records are started before any is waited for, so the
// textures of a folder are compressed in parallel. Results go to the caller's results log.
#include "assetdb/PStringArray.h"
#include "engine/FilePath.h"

#include <cstdint>
#include <string_view>

class ResultsLog;

enum [[nodiscard]] TextureConversionResult : uint32_t{
    kTexturesFailed = 0,      // the folder could not be searched, or a texture failed
    kTexturesEndedEarly = 1,  // a conversion was stopped before it finished (the worker shut down)
    kTexturesConverted = 2,   // every texture below the folder was converted
};

// The option text every texture of a batch is converted with.
constexpr std::string_view kBatchTextureOptions = "-Automip=none -Compression=auto";

// With `keepCurrent` (installs) a compiled texture that is current for its description, its images, the
// targets and the options (its stamp, TextureStamp.h) is kept as it is and counts as converted.
uint32_t ConvertTexturesInPath(std::string_view sourceName, const Orvo::File::Path& folder, const PStringArray& targets,
                               ResultsLog& log, bool keepCurrent = false);
// What "compresstexture" calls: the same.
uint32_t ConvertArchiveTextures(std::string_view sourceName, const Orvo::File::Path& folder,
                                const PStringArray& targets, ResultsLog& log);
