#include "script/compiler/GSScriptFile.h"

#include "script/compiler/GSEncodedSource.h"
#include "script/compiler/GSFileIO.h"

#include "engine/TextCase.h"
#include "platform/OutputFile.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string JoinRoot(const std::string& root, const std::string& path)
{
    if (root.empty() || path.empty() || path[0] == '/') return path;
    return (fs::path(root) / path).string();
}

std::string LowerExtension(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    Orvo::LowerInPlace(ext);
    return ext;
}

}  // namespace

GSScriptFile::GSScriptFile() = default;
GSScriptFile::~GSScriptFile() = default;

void GSScriptFile::SetText(std::string text)
{
    text_ = std::move(text);
    loaded_ = true;
    loadedFrom_.clear();
    identity_ = Platform::FileIdentity{};
}

bool GSScriptFile::Load(const std::string& rootFolder, const std::string& path, std::string* outName)
{
    loaded_ = false;
    text_.clear();
    loadedFrom_.clear();
    identity_ = Platform::FileIdentity{};
    std::string full = JoinRoot(rootFolder, path);
    std::string data;
    // An encoded file carries a 16-byte header on top of the text.
    if (!ReadWholeFile(full, kMaxSourceSize + 16, &data, &error_, &identity_)) return false;
    if (LowerExtension(full) == "gse")
    {
        std::string text;
        if (!DecodeGseSource(data, &text, &error_)) return false;
        data = std::move(text);
    }
    if (data.size() > kMaxSourceSize)
    {
        error_ = "larger than " + std::to_string(kMaxSourceSize >> 20) + " MiB";
        return false;
    }
    text_ = std::move(data);
    loaded_ = true;
    loadedFrom_ = full;
    error_.clear();
    if (outName) *outName = fs::path(full).stem().string();
    return true;
}

bool GSScriptFile::SaveAs(const std::string& rootFolder, const std::string& targetPath) const
{
    if (!loaded_)
    {
        error_ = "no script loaded";
        return false;
    }
    std::string ext = LowerExtension(targetPath);
    if (ext != "gs" && ext != "gse")
    {
        error_ = "a script file must have the extension gs or gse";
        return false;
    }
    std::string full = JoinRoot(rootFolder, targetPath);
    Platform::OutputFile out;
    if (!out.Open(full))
    {
        error_ = out.Reason();
        return false;
    }
    if (out.IsOutput(identity_))
    {
        error_ = "it would overwrite the source file '" + loadedFrom_ + "'";
        return false;
    }
    if (out.Commit(ext == "gse" ? EncodeGseSource(text_) : text_)) return true;
    error_ = out.Reason();
    return false;
}
