#pragma once
// The process's standard streams (descriptors 0, 1 and 2) from its start to its end.
//
// At the start: a standard descriptor the process was started without (closed, as `2>&-` leaves it) would be the
// number the next file the process opens gets, and text meant for the stream would go into that file (its link to
// the daemon, a lock, a log). Before anything else of the program runs (in the executable's pre-initialisation,
// ahead of the shared libraries' initialisers and of every static initialiser of the program) such a descriptor is
// opened on /dev/null the other way round: for reading where it is an output, for writing where it is the input.
// Its number stays taken, and it still reads and writes nothing, as the closed descriptor did: a write to it fails
// with "Bad file descriptor". Which descriptors were open then is noted in the same step, before the null ones
// are opened: those are the ones the process was given (OwnStreams.h); a null one is not.
//
// At the end: a write to standard output or error that failed (a full disk, a descriptor closed at the start),
// through C stdio or the C++ streams, at any flush of the run, fails the process: its reason goes to standard
// error where that still works, and an exit value of 0 becomes the failure value. A reader that went away (a
// pipe's reader, EPIPE) is no such failure: what happens then stays the system's (SIGPIPE where it is not ignored).
#include <string>

namespace Platform {

// Whether `fd` (below 1024) was open as the process started, before it opened anything of its own.
bool WasOpenAtStart(int fd);
// Whether `fd` is a standard descriptor the process was started without, now held on /dev/null.
bool WasClosedAtStart(int fd);

// How the program words a failed standard output (`reason` is empty where it is not known; the result gets a line
// end) and the exit value that replaces 0 when a standard stream failed. Until it is set: "Failed to write the
// standard output: <reason>" and 1.
using StandardOutputFailureWording = std::string (*)(const std::string& reason);
void SetStandardStreamFailure(StandardOutputFailureWording wording, int failureExitCode);

// Flushes C stdio and the C++ standard streams and judges standard output and error (once: a later call gives the
// same judgement and writes nothing). A signal the console handler took and has not yet decided is waited for first
// (AwaitConsoleVerdicts, ConsoleControl.h): one that ends the process ends it by that signal. The process's register
// of its own work goes when nothing in it stands (EndRegisterOfOwnWork, Interruption.h). Returns `code`, or the
// failure exit value when `code` is 0 and a write to either stream failed; a failed standard output is said on
// standard error unless that failed too.
int EndStandardStreams(int code);

}  // namespace Platform
