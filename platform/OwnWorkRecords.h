#pragma once
// The register a process keeps of its own work on disk (Interruption.h: KeepRegisterOfOwnWork): what it made
// (a temporary file, a work folder) or renamed aside, recorded the moment it is made so that, once the process is
// gone, a sweep (OwnWorkSweep.h) removes exactly that and nothing that merely has a name like it.
//
// One register file per process, named "<pid>-<start>-<boot>" (the process's start time in clock ticks, field 22
// of /proc/<pid>/stat, and the system's boot id without dashes), so that a later process of the same id is never
// taken for it. Its text: the line "own-work 1", then one line per step, each written whole within one append (a
// "-" line that waited in a batch shares the append of the line after it):
//
//   + <note> file|tree <device> <inode> <path>           made: a file, or a folder that goes with all it holds
//   + <note> aside <device> <inode> <path> <own path>     renamed aside: given back its own name where that is free
//   - <note>                                              committed, removed or given back: nothing to do
//
// Paths are absolute; a byte below '!', DEL and '\' are written as '\' and two hex digits. A last line without
// its newline is one that was cut short: it is not there. Any other line that does not read makes the whole
// register unread (it proves nothing).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

enum class OwnWorkKind : uint8_t
{
    kFile,
    kTree,
    kAside,
};

struct OwnWorkRecord
{
    uint64_t note = 0;
    OwnWorkKind kind = OwnWorkKind::kFile;
    uint64_t device = 0;
    uint64_t inode = 0;
    std::string path;  // absolute
    std::string own;   // kAside: the name it is given back
};

inline constexpr char kOwnWorkHeader[] = "own-work 1\n";
// A register being written anew, small, beside itself (its name with this added), renamed over it once whole.
inline constexpr char kOwnWorkRewriteSuffix[] = ".new";
// Where the tool and the daemon of an installation keep their registers, below its UserData folder.
inline constexpr char kOwnWorkFolder[] = "cache/own-work";
// Bounds of what a register may hold; a longer path is not recorded (what it names stays as anyone's file would).
inline constexpr uint64_t kMaxOwnWorkBytes = 8u << 20;
inline constexpr size_t kMaxOwnWorkRecords = 100000;
inline constexpr size_t kMaxOwnWorkPath = 4096;

// The line recording `record`; empty when a path is not absolute or too long.
std::string OwnWorkRecordLine(const OwnWorkRecord& record);
// The line saying that note `note` needs nothing more.
std::string OwnWorkForgetLine(uint64_t note);

// The records of a register's bytes that still stand (recorded and not forgotten), in the order written. False, with
// `why` and nothing in `out`, when the bytes are not a whole register of this form or pass a bound.
bool ReadOwnWorkRecords(std::string_view bytes, std::vector<OwnWorkRecord>& out, std::string* why = nullptr);

// The register name of the running process `pid` ("<pid>-<start>-<boot>"); empty when there is none of that id
// (it has ended, also one that waits only to be reaped) or /proc cannot tell.
std::string OwnWorkRegisterNameOf(int pid);
// The process id of a register name of that form; 0 for any other name.
int OwnWorkRegisterProcess(std::string_view name);

}  // namespace Platform
