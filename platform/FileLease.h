#pragma once
// Write leases (fcntl F_SETLEASE, F_WRLCK): a lease on a file can be had only while no other descriptor of it
// is open, in this process or any other, and while it is held an open of the file by anyone else waits until
// it is let go. A program removing a file it does not own the writers of takes one first: a file another
// program holds open is not removed under it. A lease broken by another's open signals its holder with SIGIO,
// whose default action would end the process: taking a lease sets SIGIO to be ignored once, when it is still
// the default.
namespace Platform {

enum class LeaseResult
{
    kHeld,           // the lease is this descriptor's until ReleaseLease
    kOpenElsewhere,  // another descriptor of the file is open
    kUnavailable,    // no lease to be had here (another user's file, a file system without leases): say nothing
};

// Takes a write lease on the regular file open as `fd` (opened read-only by the caller, its only descriptor).
LeaseResult TakeWriteLease(int fd);
void ReleaseLease(int fd);

// Whether a write lease can be had on a file of this user's in `folder` (it makes one there, and removes it).
bool LeasesWorkIn(const char* folder);

}  // namespace Platform
