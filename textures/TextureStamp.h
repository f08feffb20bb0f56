#pragma once
// The stamp of what a compiled texture was made from: its description's text, the bytes of the images the
// description names ("Primary", "Alpha"), the target list, the conversion options and the compiler's
// revision. A compiled texture carries the stamp in its last chunk ("TXSR"); a conversion that may keep
// current textures (an install) leaves a compiled texture whose stamp is that of its description as it is,
// instead of compiling the same texture again.
#include "assetdb/PStringArray.h"

#include <cstdint>
#include <string>
#include <string_view>

// Raised whenever a change to the compiler changes what it makes from the same inputs, so that textures
// compiled before are made again.
constexpr uint32_t kTextureCompilerRevision = 1;

// The stamp of the description at `descriptionPath` for the targets and options. False when the description
// or an image it names cannot be read (the texture is then compiled, and its failure reported, as ever).
bool ComputeTextureStamp(const std::string& descriptionPath, const PStringArray& targets, std::string_view options,
                         uint64_t& stamp);

// The stamp a compiled texture carries; false when the file is missing, is no compiled texture or carries none.
bool ReadTextureStamp(const std::string& compiledPath, uint64_t& stamp);

// The tag and the size of the stamp chunk as the compiled file ends with it: tag, length 12, version 1, the
// stamp (u64, little-endian).
constexpr size_t kTextureStampChunkBytes = 20;
