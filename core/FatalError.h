#pragma once
// Ends the program after an error it cannot go on from.

// Logs the formatted message and shows it: through "<root>/bin/StartPad --fail <message>" when that
// program exists beside the executable, else as "Error: <message>" on standard error. Then ends the
// process with exit code 1.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
