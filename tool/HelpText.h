#pragma once
// The help text: printed for "help" and when no command word is given.
#include <cstddef>
#include <cstdio>

constexpr size_t kHelpTextLineCount = 45;
// The lines without their line ends.
extern const char* const kHelpTextLines[kHelpTextLineCount];

// Writes every line followed by a line feed.
void PrintHelpText(std::FILE* out);
