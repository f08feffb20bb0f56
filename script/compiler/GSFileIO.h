#pragma once
// Whole-file reads and writes for the compiler's sources, libraries and logs, which the user names.
#include <cstddef>
#include <string>

// Reads a whole regular file of at most `maxSize` bytes; a FIFO or device is refused without waiting for it.
// False (with a reason) when it cannot.
bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, std::string* error);

// Writes the whole file or fails with the reason (Platform::OutputFile): a regular file is replaced through a
// temporary beside it, so a reader never sees half a file and a failed write leaves the old one in place; a
// character device is written in place; a FIFO or folder is refused at once.
bool WriteFileReplacing(const std::string& path, const std::string& data, std::string* error);
