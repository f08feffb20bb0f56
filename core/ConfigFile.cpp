#include "core/ConfigFile.h"

#include "core/SoupText.h"

#include "core/LogPrintf.h"

#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/RegularFile.h"

#include <string>

namespace {

// Packages are binary soups holding whole archives; the header's 32-bit body size bounds them.
constexpr uint64_t kMaxPackageFileSize = (uint64_t(1) << 32) + kSoupBinaryHeaderSize;

std::string_view ExtensionOf(std::string_view path)
{
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

}  // namespace

ConfigFileForm ConfigFileFormFor(std::string_view path, std::string_view format)
{
    std::string_view f = format.empty() ? ExtensionOf(path) : format;
    if (!f.empty() && f[0] == '.') f.remove_prefix(1);
    if (Orvo::EqualsNoCase(f, "txt")) return ConfigFileForm::kText;
    if (Orvo::EqualsNoCase(f, "chump") || Orvo::EqualsNoCase(f, "cdp") || Orvo::EqualsNoCase(f, "cdp2"))
        return ConfigFileForm::kBinary;
    return ConfigFileForm::kUnknown;
}

std::string ConfigFilePath(std::string_view base, std::string_view path)
{
    if (base.empty() || path.empty() || path[0] == '/' || path[0] == '\\') return std::string(path);
    // A path that names its own substitution ("name:rest") stays as it is.
    size_t colon = path.find(':');
    if (colon != std::string_view::npos && path.find_first_of("/\\") > colon) return std::string(path);
    std::string full(base);
    if (Orvo::File::HasSubst(base))
        full.push_back(':');
    else if (full.back() != '/' && full.back() != '\\')
        full.push_back('/');
    full.append(path);
    return full;
}

ConfigFileResult ParseConfigData(TDBTagRef& out, std::string_view bytes, ConfigFileForm form, const char* name)
{
    out.Release();
    switch (form)
    {
    case ConfigFileForm::kText:
        return ReadSoupText(bytes, name, out) ? ConfigFileResult::kOK : ConfigFileResult::kSyntaxError;
    case ConfigFileForm::kBinary:
        switch (ReadSoupBinary(bytes.data(), bytes.size(), out))
        {
        case SoupBinaryResult::kOK: return ConfigFileResult::kOK;
        case SoupBinaryResult::kNotValid: return ConfigFileResult::kNotValid;
        case SoupBinaryResult::kDamaged: return ConfigFileResult::kDamaged;
        case SoupBinaryResult::kNewerVersion: return ConfigFileResult::kNewerVersion;
        }
        return ConfigFileResult::kDamaged;
    default: return ConfigFileResult::kCannotRead;
    }
}

bool SerializeConfigData(const TDBTagRef& tree, ConfigFileForm form, std::string& out)
{
    switch (form)
    {
    case ConfigFileForm::kText:
    {
        const size_t start = out.size();
        if (WriteSoupText(tree, out)) return true;
        out.resize(start);
        return false;
    }
    case ConfigFileForm::kBinary: return WriteSoupBinary(tree, out);
    default: return false;
    }
}

ConfigFileResult LoadConfigFileEx(TDBTagRef& out, std::string_view base, std::string_view path, std::string_view format,
                                  Platform::FileIdentity* read)
{
    out.Release();
    const std::string full = ConfigFilePath(base, path);
    // The bound is checked before anything is read; the read is bounded too, for a file that grows meanwhile.
    std::string_view kind = format.empty() ? ExtensionOf(path) : format;
    if (!kind.empty() && kind[0] == '.') kind.remove_prefix(1);
    const bool package = Orvo::EqualsNoCase(kind, "cdp") || Orvo::EqualsNoCase(kind, "cdp2");
    const uint64_t bound = package ? kMaxPackageFileSize : Orvo::kMaxConfigFileBytes;
    // Only a regular file is read, opened without waiting: a FIFO or a device named as a configuration would
    // otherwise hold the reader for ever.
    std::string real;
    if (!Orvo::File::Resolve(full, real)) return ConfigFileResult::kCannotRead;
    std::string bytes;
    switch (Platform::ReadRegularFile(real, bound, bytes, read))
    {
    case Platform::RegularFileStatus::kOK: break;
    case Platform::RegularFileStatus::kTooLarge:
        LogPrintf("LoadConfigFile> %s", Orvo::ConfigFileTooLargeText(full).c_str());
        return ConfigFileResult::kTooLarge;
    case Platform::RegularFileStatus::kNotRegular: return ConfigFileResult::kNotRegular;
    case Platform::RegularFileStatus::kMissing:
    case Platform::RegularFileStatus::kUnreadable: return ConfigFileResult::kCannotRead;
    }
    // The form is looked at once the file is read: a FIFO or a device is said to be one whatever its name.
    const ConfigFileForm form = ConfigFileFormFor(path, format);
    if (form == ConfigFileForm::kUnknown) return ConfigFileResult::kCannotRead;
    Orvo::NoteConfigLoad(bytes.size());
    return ParseConfigData(out, bytes, form, full.c_str());
}

bool LoadConfigFile(TDBTagRef& out, std::string_view base, std::string_view path, std::string_view format)
{
    return LoadConfigFileEx(out, base, path, format) == ConfigFileResult::kOK;
}

bool SaveConfigFile(const TDBTagRef& tree, std::string_view base, std::string_view path, std::string_view format)
{
    ConfigFileForm form = ConfigFileFormFor(path, format);
    std::string bytes;
    if (!SerializeConfigData(tree, form, bytes)) return false;
    // Written beside the target and moved into place, so a failed save never leaves half a file where the
    // old configuration was; made with the mode any file the engine writes gets.
    return Orvo::File::WriteFileReplacing(ConfigFilePath(base, path), bytes, 0666);
}
