#include "script/compiler/GSCompilerMain.h"

#include "script/compiler/GSCompiler.h"
#include "script/compiler/GSDiagnostics.h"

#include "platform/OutputFile.h"

#include <cctype>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// Errors about the command line itself have no source file; they are reported under this name.
const char kCommandLine[] = "compile";

struct CompileArgs
{
    bool documentation = false;
    bool silent = false;
    std::string logPath;
    std::string outputFolder;
    std::string outputFile;
    std::vector<std::string> includePaths;
    std::string source;
};

void ParseArgs(int argc, const char* const* argv, CompileArgs& args, GSDiagnostics& diag)
{
    for (int i = 2; i < argc; ++i)
    {
        if (!argv[i] || !argv[i][0]) continue;
        std::string a = argv[i];
        if (a[0] != '-' || a.size() < 2)
        {
            if (!args.source.empty())
                diag.Error(kCommandLine, 0, "more than one source file given ('" + a + "')");
            else
                args.source = a;
            continue;
        }
        char opt = static_cast<char>(std::tolower(static_cast<unsigned char>(a[1])));
        std::string value = a.substr(2);
        switch (opt)
        {
        case 'd':
        case 's':
            if (!value.empty())
            {
                diag.Error(kCommandLine, 0, "unknown option '" + a + "'");
                break;
            }
            (opt == 'd' ? args.documentation : args.silent) = true;
            break;
        case 'b':
        case 'p':
        case 'o':
        case 'i':
            if (value.empty())
            {
                diag.Error(kCommandLine, 0, std::string("option -") + opt + " needs a path written right after it");
                break;
            }
            if (opt == 'b')
                args.logPath = value;
            else if (opt == 'p')
                args.outputFolder = value;
            else if (opt == 'o')
                args.outputFile = value;
            else
                args.includePaths.push_back(value);
            break;
        default: diag.Error(kCommandLine, 0, "unknown option '" + a + "'");
        }
    }
}

// An output of the compile: written unless the name leads to one of the files the compile read, whatever name
// that is (checked again on the file opened, so that no name swapped meanwhile leads the write onto a source).
enum class Written
{
    kWritten,
    kSource,  // the name is that of a source: nothing was written
    kFailed,  // `why` says why
};

Written WriteOutput(const GSCompiler& compiler, const std::string& path, std::string_view bytes, std::string& why)
{
    if (compiler.IsSourceFile(path)) return Written::kSource;
    Platform::OutputFile out;
    if (!out.Open(path))
    {
        why = out.Reason();
        return Written::kFailed;
    }
    if (compiler.IsSourceFile(out.Existing())) return Written::kSource;
    if (out.Commit(bytes)) return Written::kWritten;
    why = out.Reason();
    return Written::kFailed;
}

// Writes the library, making the output folder when it does not exist yet.
void WriteLibrary(const GSCompiler& compiler, const std::string& path, const std::string& source, GSDiagnostics& diag)
{
    if (compiler.IsSourceFile(path))
    {
        diag.Error(source, 0, "the library would overwrite the source file '" + path + "'");
        return;
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    std::string why;
    switch (WriteOutput(compiler, path, compiler.LibraryBytes(), why))
    {
    case Written::kWritten: break;
    case Written::kSource: diag.Error(source, 0, "the library would overwrite the source file '" + path + "'"); break;
    case Written::kFailed: diag.Error(source, 0, "cannot write library '" + path + "': " + why); break;
    }
}

}  // namespace

int GSCompilerMain(int argc, const char* const* argv) { return GSCompilerMain(argc, argv, std::cout); }

int GSCompilerMain(int argc, const char* const* argv, std::ostream& console)
{
    CompileArgs args;
    GSDiagnostics diag;
    ParseArgs(argc, argv, args, diag);

    if (args.documentation) console << GSCompilerDocumentation();

    std::vector<std::string> lines;
    std::string library;
    GSCompiler compiler(diag);
    if (!args.source.empty())
    {
        lines.push_back("Compiling " + args.source);
        if (diag.Count() == 0)
        {
            compiler.SetIncludePaths(args.includePaths);
            if (compiler.Compile(args.source))
            {
                library = GSCompiler::LibraryPath(args.source, args.outputFolder, args.outputFile);
                WriteLibrary(compiler, library, args.source, diag);
            }
        }
    }
    else if (!args.documentation)
    {
        diag.Error(kCommandLine, 0, "no source file given");
    }

    if (!args.logPath.empty())
    {
        // The log is written after the compile so that it holds the complete outcome.
        std::vector<std::string> body = lines;
        for (std::string& l : diag.Lines()) body.push_back(std::move(l));
        if (diag.Count() == 0 && !library.empty()) body.push_back("Wrote " + library);
        body.push_back(std::to_string(diag.Count()) + " error(s)");
        std::string text;
        for (const std::string& l : body) text += l + "\n";
        std::string why;
        switch (WriteOutput(compiler, args.logPath, text, why))
        {
        case Written::kWritten: break;
        case Written::kSource:
            diag.Error(kCommandLine, 0, "the build log would overwrite the source file '" + args.logPath + "'");
            break;
        case Written::kFailed:
            diag.Error(kCommandLine, 0, "cannot write build log '" + args.logPath + "': " + why);
            break;
        }
    }

    if (!args.silent)
    {
        for (const std::string& l : lines) console << l << "\n";
        for (const std::string& l : diag.Lines()) console << l << "\n";
        if (diag.Count() == 0 && !library.empty()) console << "Wrote " << library << "\n";
        if (!args.source.empty() || diag.Count() > 0) console << diag.Count() << " error(s)\n";
    }
    console.flush();
    return static_cast<int>(diag.Count());
}
