#pragma once
// Turns a crash into a plain exit code: when the process faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL)
// or a C++ exception escapes (std::terminate), buffered standard output is flushed and the process
// ends at once with the given code. Other cleanup does not run.
namespace Platform {

// Installs the handlers (process-wide; the calling thread also gets an alternate signal stack, so
// that running out of stack on it is caught too). Installing again changes the code.
bool InstallCrashExit(int exitCode);
// Back to the dispositions found at install time and the previous terminate handler.
void RemoveCrashExit();

}  // namespace Platform
