#pragma once
// The engine's file: buffered reads and writes, lines, seeking, and the static file-system operations.
// Every path goes through the resolver (FileResolve.cpp): "name:rest" through the substitution table. A path
// that is read then gets a case-insensitive match of each component when the exact path does not exist,
// because asset configurations name their files in any case. A path that is written (opened for writing,
// made, renamed or copied to) is the file the system finds for it, or a new one of exactly that name: no file
// whose name differs only in case is taken for it, and no ".." is folded before the system sees it. Failures
// never throw: they return a result and leave a code and a message for LastError().
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace Orvo {

class String;

class File
{
public:
    class Path;
    class Find;

    // Open modes. The numbers are the engine's: 16 and 32 both read.
    enum Mode : uint32_t
    {
        ModeWrite = 1,      // create or truncate, write only
        ModeAppend = 2,     // create when missing, every write goes to the end
        ModeReadWrite = 4,  // existing file, read and write
        ModeCreate = 8,     // with ModeReadWrite: create when missing
        ModeRead = 16,      // existing file, read only
        ModeReadSeq = 32,   // read only (sequential use)
    };

    enum [[nodiscard]] Result : int{
        Ok = 0,
        NotFound = 2,
        AccessDenied = 3,
        InvalidPath = 4,  // embedded NUL, ".." leaving a substitution root, unknown substitution...
        AlreadyExists = 5,
        IoError = 6,
        NotOpen = 7,
        BadMode = 8,
        NotSupported = 9,  // e.g. a substitution that names an archive
    };

    struct ErrorInfo
    {
        int code = Ok;
        std::string message;
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // 0 when opened, else a Result. `flags` is accepted for the engine's signature and unused.
    int Open(std::string_view path, uint32_t mode = ModeRead, uint32_t flags = 0);
    // Writes (and, where it was opened for both, reads) through a duplicate of the open descriptor `fd`, which
    // stays its owner's, from where it stands: a file another writer opened and puts in place
    // (Platform::OutputFile's Fd). `name` is what messages call it. 0 when opened, else a Result.
    int OpenDescriptor(int fd, std::string_view name);
    void Close();
    bool IsOpen() const { return f_ != nullptr; }
    const std::string& Name() const { return name_; }  // the path as opened
    const std::string& ResolvedName() const { return resolved_; }

    size_t Read(void* buffer, size_t bytes);         // bytes read
    size_t Write(const void* buffer, size_t bytes);  // bytes written
    bool Write(std::string_view text) { return Write(text.data(), text.size()) == text.size(); }
    // Reads up to max-1 bytes of one line into `buffer`, keeping its line end when it fits, and
    // NUL-terminates it. Returns the bytes stored; 0 at the end of the file. A last line without
    // a line end is read too.
    size_t ReadLine(char* buffer, size_t max);
    // One line without its CR/LF; false at the end of the file.
    bool ReadLine(std::string& line);
    bool ReadLine(String& line);
    bool WriteLine(std::string_view text);  // text and "\n"
    bool Eof();                             // nothing left to read
    bool Seek(int64_t offset, int whence = SEEK_SET);
    int64_t Tell() const;
    int64_t Size() const;
    bool Flush();
    // Reads the whole file (from the start); false when it is larger than `limit` or unreadable.
    bool ReadAll(std::string& out, uint64_t limit = uint64_t(1) << 30);

    // ---- file-system operations (paths resolved as above) ----
    static bool Exists(std::string_view path);  // file or folder
    static bool IsDirectory(std::string_view path);
    static bool IsFile(std::string_view path);
    static int64_t GetSize(std::string_view path);          // -1 when missing
    static int64_t GetModifiedTime(std::string_view path);  // seconds since 1970, -1 when missing
    static bool Md(std::string_view path);                  // creates the folder and its parents
    static bool Rename(std::string_view from, std::string_view to);
    static bool Delete(std::string_view path);      // one file
    static bool DeleteTree(std::string_view path);  // a folder with everything in it, or a file
    static bool Copy(std::string_view from, std::string_view to, bool overwrite = true);
    static bool ReadFile(std::string_view path, std::string& out, uint64_t limit = uint64_t(1) << 30);
    static bool WriteFile(std::string_view path, std::string_view data);
    // Writes the data to a new file beside `path` and renames it into place: readers see the old file or
    // the whole new one, and a failure leaves the old file as it was and nothing else behind. The new
    // file is made with `mode` less the umask. For the program's own files (settings, scratch files, files
    // of a folder it made): the new file cuts a second name and takes no owner or mode from the old one, so
    // a file a user names as a command's output goes through Platform::OutputFile instead.
    static bool WriteFileReplacing(std::string_view path, std::string_view data, unsigned mode = 0644);

    // The substitution table: Subst(name, path, isFolder) adds or replaces "name:"; Subst(name, nullptr,
    // false) removes it. Names compare without regard to case. A non-folder (archive) substitution is
    // recorded, but files inside archives cannot be read here: such paths give NotSupported.
    static bool Subst(const char* name, const char* path, bool isFolder);
    static bool HasSubst(std::string_view name);

    // Turns a program path into the file-system path to read: substitution, "." and ".." folding,
    // case-insensitive fallback. False (with LastError set) for a refused path.
    static bool Resolve(std::string_view path, std::string& out);
    // Turns a program path into the file-system path to write: the substitution alone (its root refused to
    // be left as written), the rest as given, so that the system finds the file for it or makes one of
    // exactly that name where it would. False (with LastError set) for a refused path.
    static bool ResolveForWriting(std::string_view path, std::string& out);

    // The last failure on this thread.
    static const ErrorInfo& LastError();
    static void SetLastError(int code, std::string message);

private:
    std::FILE* f_ = nullptr;
    std::string name_;
    std::string resolved_;
    uint32_t mode_ = 0;
};

}  // namespace Orvo

#include "engine/FileFind.h"
#include "engine/FilePath.h"
