#pragma once
// The process's own open files among the outputs a user names. "/dev/stdout", "/dev/stderr", "/dev/stdin",
// "/dev/fd/N" and "/proc/self/fd/N" name one of the process's descriptors, and opening such a name re-opens the
// file behind it from its start; any other name may lead to a file the process holds too (`> a.txt` with
// `a.txt` as the output, a link to /dev/fd/3, /proc/self/task/N/fd/3, a second name of its database). Such an
// output is written through the stream where the process was given it, and refused where the process opened
// it for itself (OutputFile.h).
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

// How the process holds `file` (the same device and inode), every descriptor it has open looked at but `except`
// (one the caller opened to look): `stream`, a stream it was given as it started and may write (standard output,
// error and input first, then the others by number), or -1; `own`, the lowest descriptor it opened for itself,
// or -1. One it was given only to read is neither: its file is a name like any other. A pipe or socket counts as
// any file.
struct HeldFile
{
    int stream = -1;
    int own = -1;
};
HeldFile DescriptorsOn(const FileIdentity& file, int except);

// What the process has buffered for its standard output and error (C and C++ streams) is handed to the system,
// so that a write through their descriptors comes after it.
void FlushStandardStreams();

}  // namespace Platform
