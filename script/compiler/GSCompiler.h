#pragma once
// One compile: the source and everything it includes are loaded, checked, and packed into a library.
#include "script/compiler/GSDiagnostics.h"
#include "script/compiler/GSLibraryFile.h"
#include "script/compiler/GSSourceCheck.h"

#include "platform/FileIdentity.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

class GSCompiler
{
public:
    static constexpr size_t kMaxIncludeDepth = 32;
    static constexpr size_t kMaxTotalSource = size_t(256) << 20;

    explicit GSCompiler(GSDiagnostics& diag);
    ~GSCompiler();

    // Include names are looked up beside the file that includes them, then in these folders in order.
    void SetIncludePaths(std::vector<std::string> paths) { includePaths_ = std::move(paths); }

    // Loads and checks `sourcePath` and, depth first, the files it includes. A file included again
    // (not in a cycle) is taken once. True when no error was found.
    bool Compile(const std::string& sourcePath);

    // The files the last Compile read (the source also when it could not be read), so that no output is
    // written over one of them, whatever name leads to it.
    const std::vector<Platform::FileIdentity>& ReadFiles() const { return read_; }

    // The library of the last successful Compile.
    std::string LibraryBytes() const;

    // Where the library goes: `outputFile` (-o) inside `outputFolder` (-p) when both are given and the
    // file is relative; either alone; else the source's name with the extension "gsl" beside it.
    static std::string LibraryPath(const std::string& sourcePath, const std::string& outputFolder,
                                   const std::string& outputFile);

private:
    struct Unit;
    bool CompileUnit(const std::filesystem::path& path, const std::string& display, std::vector<Unit*>& stack,
                     const std::string& fromFile, uint32_t fromLine);
    bool Resolve(const std::string& name, const Unit& from, std::filesystem::path* found, std::string* display) const;

    GSDiagnostics& diag_;
    std::vector<std::string> includePaths_;
    std::vector<std::unique_ptr<Unit>> units_;  // in library order: includes first, the source last
    std::set<std::filesystem::path> done_;
    std::vector<Platform::FileIdentity> read_;  // the files read, and the source named
    size_t totalSource_ = 0;
};
