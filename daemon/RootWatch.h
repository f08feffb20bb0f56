#pragma once
// What the daemon serves is the installation as it found it: the root folder, the store and the lock file,
// each remembered by device and inode. A root removed while the daemon runs (`rm -rf`), or laid out anew at
// the same path by a rebuild, is no longer the one it holds open: serving it would put copies, backups and
// records into folders that are gone, and a second daemon could lock the new lock file beside it. The
// daemon asks the watch in its idle loop, as connections arrive and before each request.
#include <string>
#include <sys/types.h>
#include <vector>

class RootWatch
{
public:
    // Remembers the file `path` names now; false with the reason when it cannot be read.
    bool Add(const std::string& path, std::string* error = nullptr);
    // Remembers the file open as `fd`, which `path` named when it was opened.
    bool AddOpen(int fd, const std::string& path, std::string* error = nullptr);

    // Empty while every path names the file it named when added; otherwise what happened to the first one
    // that does not ("'<path>' was removed" or "'<path>' was replaced"). Safe to call from any thread once
    // every path was added.
    std::string Changed() const;

private:
    struct Watched
    {
        std::string path;
        dev_t dev = 0;
        ino_t ino = 0;
    };
    std::vector<Watched> watched_;
};
