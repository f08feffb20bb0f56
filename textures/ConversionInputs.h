#pragma once
// The files a batch conversion reads, known before it writes anything: every description it converts and the
// pictures each one names ("Primary", "Alpha"). While the batch runs they are kept from every output of the
// process (Platform::KeptInputs), so that no compiled texture is written over one of them, whatever name leads to
// it (a second name, a link), whether its own texture is converted before or after. A compiled texture that is
// one of them, or that is already another description's compiled texture, is refused before its texture is
// converted at all.
#include "platform/FileIdentity.h"
#include "platform/OutputFile.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

class ConversionInputs
{
public:
    // The most files one batch keeps (far more than any asset holds): a folder tree whose descriptions and pictures
    // are more is not converted at all, since what it reads could not all be kept.
    static constexpr size_t kMaxFiles = 65536;

    // Keeps every description of `descriptions` (full paths) and the pictures it names. False when they are more
    // than kMaxFiles files: nothing is kept, and `why` says so.
    bool Keep(const std::vector<std::string>& descriptions, std::string& why);
    // Why the compiled texture of `description` may not be written ("it is '…', which …"): it is a file the batch
    // reads, or the compiled texture of an earlier description too, which the second would overwrite. Empty when
    // it may; from then on it is that description's compiled texture.
    std::string RefusedOutput(const std::string& description);

private:
    using Key = std::pair<dev_t, ino_t>;

    // Notes `file`, read at `path` for the texture of `description`.
    void Note(const Platform::FileIdentity& file, const std::string& path, const std::string& description,
              bool isDescription);

    struct Read
    {
        std::string path;  // as the batch reads it
        std::string why;   // why no output may be written over it
    };
    Platform::KeptInputs kept_;
    std::map<Key, Read> files_;                        // every file the batch reads
    std::map<std::string, std::vector<Key>> sources_;  // each description's own files
    std::map<Key, std::string> outputs_;               // the compiled textures claimed, and their descriptions
};
