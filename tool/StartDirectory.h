#pragma once
// The working directory as it was when the program started, read before start-up makes the executable's
// folder the working directory. Relative path arguments are resolved against it (ToolContext keeps it).
#include <cstddef>
#include <string>

constexpr size_t kStartDirectorySize = 4096;

// The current working directory; an empty text when it cannot be read or is longer than
// kStartDirectorySize.
std::string ReadStartDirectory();
