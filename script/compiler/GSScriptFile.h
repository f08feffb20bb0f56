#pragma once
// A script source file: plain (".gs") or encoded (".gse", see GSEncodedSource.h).
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
    // plain (case ignored). Other extensions, and a file with nothing loaded, are refused.
    // The file is replaced whole or not at all.
    bool SaveAs(const std::string& rootFolder, const std::string& targetPath) const;

    bool IsLoaded() const { return loaded_; }
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    const std::string& LastError() const { return error_; }

private:
    std::string text_;
    bool loaded_ = false;
    mutable std::string error_;
};
