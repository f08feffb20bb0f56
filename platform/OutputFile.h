#pragma once
// Writing a file a user names as a command's output, which may be anything. The name is opened for writing
// first, as any program opens it (without waiting for a FIFO's reader, never as a controlling terminal), so the
// system decides whether this user may write it: a file the user may not write is refused ("Permission
// denied"), though root may write a file of mode 0444 as the shell's `>` does. What was opened then decides:
//
// - A plain file of the user's own (one name, owned by the process's effective user), or a name not there
//   yet, gets its new contents whole through a replacing file (FileWriting.h): a failed write leaves what was
//   there. The new file keeps the old one's permission bits and group, not its set-user-ID or set-group-ID bit.
//   Through a link, the file it leads to is replaced, and the link stays. A name not there is made where an
//   open that creates would make it: through a link to nothing, the file the link names, and under exactly
//   the name given (the path is the system's to read: no ".." folded, no other case taken).
// - Where replacing would change what the user has, the file is written in place, as a plain open for writing
//   does: a file with more than one name (every name shows the new contents), one of another owner (it keeps
//   its owner and mode), one whose group the new file could not have, one in a folder the user may not write
//   into, one whose name leaves no room for a temporary name beside it, or one the name no longer leads to.
//   Nothing in it changes before the commit: the new contents wait in memory (Commit(whole)) or in
//   a scratch file. At the commit, room for all of them is reserved first, keeping the old bytes, so that a
//   full disk or quota fails the commit with the file byte for byte as it was; then the new bytes are written
//   over the old ones and the file is cut to exactly them. Where the file system cannot reserve (ext3, older
//   network file systems), the new bytes past the old end are written first, so the file grows and no old byte
//   changes; when they do not fit, the file is cut back to its old size and the commit fails. Not promised
//   there: old bytes never allocated (a sparse file's holes) and a file system that copies on write may still
//   need room as they are written over. A write that fails after it began over the old bytes, an I/O error,
//   leaves the new bytes written so far over the old ones. Its set-user-ID and set-group-ID bits are cleared.
// - A FIFO (a named one, or a pipe) with a reader, and a character device
//   (/dev/null, a terminal), are written in place. A FIFO nobody reads is refused at once ("no process is
//   reading it"); a reader that goes away makes the write fail with "Broken pipe" rather than ending the
//   process with SIGPIPE.
// - A folder, a socket and a block device are refused at once.
// - One of the process's own open streams is written through that stream, where it stands (OwnStreams.h): a
//   name that spells a descriptor (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N) open for writing is
//   that descriptor, and a name that leads to the file standard output or error writes (`listbuilds a.txt >
//   a.txt`, a link to /dev/stdout) is that stream. Opening such a name re-opens the file behind it, which
//   would then be replaced, or written from its start whatever `>>` asked; instead the new contents wait until
//   the commit (in memory, or a scratch file), and then follow what the stream holds so far, the process's own
//   buffered output flushed before them so that the order holds: an append keeps appending, and a file opened
//   with `>` gets them where the process has written up to. Room for them is reserved first where the file
//   system can, so that a full disk fails the commit with the file as it was. A pipe, terminal or /dev/null
//   behind the stream is written as it comes, as any FIFO or device. Only the streams the process was given
//   count: a descriptor the name spells that is not open is refused ("Bad file descriptor"), and so is one the
//   process opened for itself (its link to the daemon, a lock file); one given only for reading is a name like
//   any other.
// - Whatever the name, the file it reaches is compared (device and inode, after the links the open followed)
//   with every descriptor the process holds: a stream it was given and may write is written through as above
//   (a link to /dev/fd/3, /proc/self/task/N/fd/3), and a file, pipe or socket it opened for itself is refused
//   ("it is a file the program opened for itself"): its database, its log, its link to the daemon, the pipe its
//   signal handling reads. A character device is written whoever opened it; what outputs open at the moment
//   hold is theirs, so that a command tells two outputs on one file apart itself (IsSameOutputAs).
//
// Whatever the route, a file kept from outputs (a batch file being run, the inputs of a command, a file the
// program keeps by its name) is refused before anything is written. Every write and the close are checked.
//
// After a power cut: a file replaced holds its old contents or its new ones, since the new ones are on disk
// (fdatasync) before they take its name. A new file, and one written in place, is noted for the flush at the end
// of the command (OutputFlush.h), which puts every file system written to on disk once; so is the folder of a
// file replaced, for its new name.
#include "platform/FileIdentity.h"
#include "platform/FileWriting.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

class OutputFile
{
public:
    // How the output is written: in sequence through Write, or at offsets (pwrite) through Fd, for a writer
    // that fills in sizes after what they measure.
    enum class Access
    {
        kSequential,
        kPositioned,
    };

    OutputFile() = default;
    ~OutputFile() { Abandon(); }  // what was not committed is not written
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes ready to write `path` (a new file gets `mode` less the umask). False: Reason() says why.
    bool Open(const std::string& path, mode_t mode = 0666, Access access = Access::kSequential);
    // Every byte of `data`, after what was written before. False: Reason() says why.
    bool Write(std::string_view data);
    // For a positioned open: a regular file open for writing at offsets, whose bytes up to its size at the
    // commit are the output. It is the replacing file, or, for an output written in place, a scratch file
    // without a name that the commit copies into the output (so nothing reaches the output before then).
    int Fd() const { return positioned_; }
    // Ends the write: the replacing file takes the path's place, or what is written in place is put there.
    // False: Reason() says why, and a replaced file, or a regular file written in place that had no room for
    // its new contents, keeps what it had.
    bool Commit();
    // Write(whole) and Commit() in one, for a writer that has all of the output at hand (and wrote none of it
    // before): an output written in place needs no scratch file then.
    bool Commit(std::string_view whole);
    void Abandon();

    // The file the name led to when it was opened (unknown for a name that was not there), whether it is then
    // replaced, written in place or through a stream, for whatever reason: a command that read a file refuses an
    // output that is that file, whatever name led to it, before anything is written. Known also after Open
    // refused the file as one kept from outputs, so that the command can say which input it is.
    const FileIdentity& Existing() const { return existing_; }
    // Whether `file` is the output: the file the name led to, or the file the output is staged in.
    bool IsOutput(const FileIdentity& file) const { return file.IsSameFile(existing_) || file.IsSameFile(staged_); }
    // Whether `other`, open too, writes what this one writes: the same file opened, or the same name not there
    // yet in the same folder. A command with two outputs refuses the second before it writes either, since the
    // later commit would overwrite the earlier. A FIFO or device takes both, one after the other.
    bool IsSameOutputAs(const OutputFile& other) const;

    // Why the last step failed: "it is a folder", "it is a socket", "it is a block device", "no process is
    // reading it", or the system's text for the error.
    const std::string& Reason() const { return reason_; }

private:
    bool Fail(int error);
    bool Refuse(const char* why);
    bool RefuseKept(FileIdentity file);  // by value: Existing() may be what it is given
    void Track(const FileIdentity& file);
    void Untrack();
    bool OpenPath(const std::string& path, mode_t mode, Access access);
    bool OpenNew(const std::string& path, mode_t mode, Access access);
    bool OpenStream(int fd, Access access);
    bool PutThroughStream(std::string_view memory);
    bool OpenReplacing(const std::string& path, const struct stat& opened, bool& replaced);
    void StopReplacing();
    bool PrepareInPlace(const struct stat& opened, Access access);
    bool OpenScratchFile();
    bool ReserveInPlace(uint64_t from, uint64_t to, uint64_t oldSize, bool& reserved);
    bool PutRange(std::string_view memory, uint64_t from, uint64_t to);
    bool StagedSize(std::string_view memory, uint64_t& size) const;
    bool PutInPlace(std::string_view memory);
    bool StreamScratch();
    bool CloseInPlace();
    bool RegularInPlace() const;

    ReplacingFile replacing_;
    int folder_ = -1;      // the replaced file's folder, while it is replaced
    int inPlace_ = -1;     // the output written in place
    int positioned_ = -1;  // what a positioned open writes into
    int scratch_ = -1;     // what is staged for an output written in place
    mode_t inPlaceMode_ = 0;
    bool regular_ = false;     // the output in place is a regular file
    bool fifo_ = false;        // ... a FIFO, pipe or socket
    bool stream_ = false;      // ... one of the process's own streams, through a duplicate of its descriptor
    bool streamFile_ = false;  // ... a stream on a regular file: staged, and put at its position at the commit
    FileIdentity existing_;
    FileIdentity staged_;
    FileIdentity newFolder_;  // for a name that was not there: the folder it is made in, and its name there
    std::string newName_;
    std::string newFolderPath_;  // ... and its path, whose file system the flush at the command's end puts on disk
    std::string reason_;
};

// A file the program reads as its own input while it runs (a batch file of commands): no output is written
// over it, whatever name leads to it; OutputFile::Open refuses it with `why` as the reason.
void KeepFromOutputs(const FileIdentity& file, std::string why);
// A file the program keeps by its path (its database and the files beside it, its log, its lock), whether or
// not it is there or held open: no output is written over the file the path has when the output is opened,
// whatever name leads to it, and no new file is made at the path by any name; refused with `why` as the reason.
// A file made again under the path (a log rotated, a journal made anew) is kept as well.
void KeepNameFromOutputs(const std::string& path, std::string why);

// The files one command reads, known from its arguments before anything else is done with them (the sources it
// names, whether or not the rest of the arguments make sense, and what it found to read from them), kept from
// every output of the process as KeepFromOutputs keeps a batch file, for as long as this lives: a command that
// fails in any way writes over none of them.
class KeptInputs
{
public:
    KeptInputs() = default;
    ~KeptInputs();  // the files may be outputs again
    KeptInputs(const KeptInputs&) = delete;
    KeptInputs& operator=(const KeptInputs&) = delete;

    // OutputFile::Open refuses `file` (an unknown one is no file) with `why` as the reason.
    void Add(const FileIdentity& file, std::string why);
    bool Holds(const FileIdentity& file) const;
};

// Open, Write and Commit in one. False: `reason` (when given) says why.
bool WriteOutputFile(const std::string& path, std::string_view data, mode_t mode = 0666, std::string* reason = nullptr);

}  // namespace Platform
