#pragma once
// In-place code-page conversion of NUL-terminated text buffers (code page 0 is the ANSI code page,
// UTF-8 here; 65001 is UTF-8).

// Converts the NUL-terminated text in `buffer` (capacity `bufferSize` bytes) from one code page to the
// other. Returns 0 when done; the size needed (terminating zero included) when the result would not fit,
// leaving the buffer unchanged; -1 on failure (bad arguments, unknown code page, text that is not valid
// in its code page). Characters the target cannot hold become "?".
int ConvertCodePageInPlace(char* buffer, int bufferSize, int fromCodePage, int toCodePage);

// Converts the NUL-terminated UTF-8 text in `buffer` to `targetCodePage` in place. Returns 0 when done;
// the size needed (terminating zero included) when it exceeds `bufferSize`, buffer unchanged, so the
// caller can retry with a larger buffer; -1 on failure, after replacing every byte of value 128 or more
// by "?" so that the text is at least plain ASCII.
int ConvertFromUTF8InPlace(char* buffer, int bufferSize, int targetCodePage);
