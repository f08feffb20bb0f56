#pragma once
// A script source file: plain (".gs") or encoded (".gse", see GSEncodedSource.h).
#include "platform/FileIdentity.h"

#include <cstddef>
#include <string>

class GSScriptFile
{
public:
    static constexpr size_t kMaxSourceSize = size_t(128) << 20;

    GSScriptFile();
    ~GSScriptFile();

    // Loads `path` (joined to `rootFolder` when that is not empty and the path is relative). A file
    // with the extension "gse" is decoded; any other is read as plain text. `outName`, when given,
    // receives the script's name: the file name without folder and extension. False when the file
    // is missing, too large or (encoded) damaged; LastError() says which.
    bool Load(const std::string& rootFolder, const std::string& path, std::string* outName = nullptr);

    // Writes the loaded text in the form that the target's extension selects: "gse" encoded, "gs"
    // plain (case ignored). Other extensions, and a file with nothing loaded, are refused, as is the file the
    // text was loaded from, whatever name leads to it (a second name, a link): it would be written over.
    // The file is written as Platform::OutputFile writes a file the user names.
    bool SaveAs(const std::string& rootFolder, const std::string& targetPath) const;

    bool IsLoaded() const { return loaded_; }
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    const std::string& LastError() const { return error_; }
    // The file the last Load read (unknown after SetText).
    const Platform::FileIdentity& Identity() const { return identity_; }

private:
    std::string text_;
    std::string loadedFrom_;
    Platform::FileIdentity identity_;
    bool loaded_ = false;
    mutable std::string error_;
};
