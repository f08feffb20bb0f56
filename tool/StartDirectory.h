#pragma once
// The working directory as it was when the program started, read before start-up makes the executable's
// folder the working directory. Relative path arguments are resolved against it (ToolContext keeps it).
#include <cstddef>
#include <string>

constexpr size_t kStartDirectorySize = 4096;

// The current working directory; where its path cannot be read (longer than kStartDirectorySize), the folder
// held open and named through /proc/self/fd; an empty text when not even that can be had.
std::string ReadStartDirectory();
