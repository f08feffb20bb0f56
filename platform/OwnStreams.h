#pragma once
// The process's own open streams among the outputs a user names. "/dev/stdout", "/dev/stderr", "/dev/stdin",
// "/dev/fd/N" and "/proc/self/fd/N" name one of the process's descriptors, and opening such a name re-opens the
// file behind it from its start; any other name may lead to the file a standard stream writes too (`> a.txt`
// with `a.txt` as the output). Such an output is written through the descriptor (OutputFile.h).
#include "platform/FileIdentity.h"

#include <string_view>

namespace Platform {

// The descriptor a name spells: 0, 1 or 2 for /dev/stdin, /dev/stdout or /dev/stderr, N for /dev/fd/N,
// /proc/self/fd/N, /proc/thread-self/fd/N and /proc/<this process>/fd/N; -1 for any other name.
int SpelledDescriptor(std::string_view path);

// Whether `fd` is a stream the process was given when it started: open then (below 1024), and not since taken
// by a file the process opened for itself (which it opens close-on-exec) under a number a closed stream had. Its
// link to the daemon, a lock file or a log of its own is none, nor a standard descriptor the process was started
// without (held on /dev/null since, StandardStreams.h).
bool IsGivenStream(int fd);

// Whether `fd` is an open descriptor of the process that may be written.
bool IsOpenForWriting(int fd);

// The standard stream (1, 2, then 0) given to the process and open for writing on `file` (the same device and
// inode), never `except` (a descriptor the caller opened itself); -1 when none is.
int StandardStreamOn(const FileIdentity& file, int except);

// What the process has buffered for its standard output and error (C and C++ streams) is handed to the system,
// so that a write through their descriptors comes after it.
void FlushStandardStreams();

}  // namespace Platform
