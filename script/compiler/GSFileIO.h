#pragma once
// Whole-file reads and writes for the compiler's sources, libraries and logs.
#include <cstddef>
#include <string>

// Reads a whole regular file of at most `maxSize` bytes. False (with a reason) when it cannot.
bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, std::string* error);

// Writes through a temporary file beside the target and renames it over the target, so a reader never
// sees half a file and a failed write leaves the old one in place.
bool WriteFileReplacing(const std::string& path, const std::string& data, std::string* error);
