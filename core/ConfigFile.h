#pragma once
// Loading and saving configuration trees in either file form.
//
// The format name, or else the path's extension, chooses the form: "txt" the text form; "chump", "cdp"
// and "cdp2" the binary form. `base` (empty for none) names where a relative path lives: a substitution
// name of the engine's file table ("name:path") when one of that name exists, else a folder.
#include "core/SoupBinary.h"
#include "core/TDBTagRef.h"

#include "platform/FileIdentity.h"

#include <string>
#include <string_view>

enum class [[nodiscard]] ConfigFileResult{
    kOK = 0,
    kCannotRead,    // missing or unreadable file, or an unknown form
    kSyntaxError,   // text form that does not parse (the parser has logged the file and line)
    kNotValid,      // binary form: no "ACS$" header
    kDamaged,       // binary form: sizes or chunks that do not hold together
    kNewerVersion,  // binary form: made by a newer version
    kCannotWrite,
    kTooLarge,    // larger than Orvo::kMaxConfigFileBytes (a package's own bound is larger): not read
    kNotRegular,  // a folder, FIFO, device or socket, refused unread (to most callers a kCannotRead)
};

enum class ConfigFileForm
{
    kUnknown,
    kText,
    kBinary,
};

// The form a format name (or, when it is empty, the path's extension) selects.
ConfigFileForm ConfigFileFormFor(std::string_view path, std::string_view format);
// base + path as the file system should see it.
std::string ConfigFilePath(std::string_view base, std::string_view path);

// Configuration files are bounded by Orvo::kMaxConfigFileBytes (engine/ConfigFileBound.h); packages (the
// format or extension "cdp" or "cdp2") by what the binary form's header can hold.
// Returns false and leaves a null tree when the file cannot be read.
[[nodiscard]] bool LoadConfigFile(TDBTagRef& out, std::string_view base, std::string_view path,
                                  std::string_view format = {});
// The same, telling why it failed (for kTooLarge, Orvo::ConfigFileTooLargeText says it to the user). `read`,
// when given, gets the file read, for a command that must not write over it.
ConfigFileResult LoadConfigFileEx(TDBTagRef& out, std::string_view base, std::string_view path,
                                  std::string_view format = {}, Platform::FileIdentity* read = nullptr);
// False when the file cannot be written (or the tree cannot be put in the chosen form). Written beside the path
// and renamed into place (Orvo::File::WriteFileReplacing): for the program's own files; a file a user names as a
// command's output is put in form with SerializeConfigData and written through Platform::OutputFile.
[[nodiscard]] bool SaveConfigFile(const TDBTagRef& tree, std::string_view base, std::string_view path,
                                  std::string_view format = {});

// Reading and writing file images in memory.
ConfigFileResult ParseConfigData(TDBTagRef& out, std::string_view bytes, ConfigFileForm form, const char* name);
[[nodiscard]] bool SerializeConfigData(const TDBTagRef& tree, ConfigFileForm form, std::string& out);
