#pragma once
// Whole-file reads of the compiler's sources, which the user names. (What it writes, libraries, logs and
// sources, goes through Platform::WriteOutputFile.)
#include "platform/FileIdentity.h"

#include <cstddef>
#include <string>

// Reads a whole regular file of at most `maxSize` bytes; a FIFO or device is refused without waiting for it.
// False (with a reason) when it cannot. `identity`, when given, gets the file that was read.
bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, std::string* error,
                   Platform::FileIdentity* identity = nullptr);
