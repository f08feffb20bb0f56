#pragma once
// The working directory as it was when the program started, saved before start-up makes the
// executable's folder the working directory. Relative path arguments are resolved against it.
#include <cstddef>

constexpr size_t kStartDirectorySize = 4096;
extern char StartDirectory[kStartDirectorySize];

// Saves the current working directory into StartDirectory (an empty text when it cannot be read or
// does not fit).
void SaveStartDirectory();
