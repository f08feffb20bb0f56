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
// Why an output of the process is refused while the compile runs, when it is a file the compile reads.
const char kSourceWhy[] = "it is a source file of the compile";
// How many named sources are looked into for their includes when the arguments failed (each is bounded as a
// compile is); the named sources themselves are kept from the outputs however many there are.
constexpr size_t kMaxSourcesLookedInto = 16;

struct CompileArgs
{
    bool documentation = false;
    bool silent = false;
    std::string logPath;
    std::string outputFolder;
    std::string outputFile;
    std::vector<std::string> includePaths;
    std::string source;
    std::vector<std::string> otherSources;  // names given where a source goes after the first: an error
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
            {
                diag.Error(kCommandLine, 0, "more than one source file given ('" + a + "')");
                args.otherSources.push_back(a);
            }
            else
            {
                args.source = a;
            }
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

// The files this command reads are known from its arguments, whether or not the rest of them make sense: every
// name given where a source goes is kept from the outputs at once. The compile keeps what it reads as it runs;
// when the arguments failed nothing is compiled, but what each named source would read (its includes) is still
// looked up, its errors not reported, so that the log of the failure is written over none of them either.
void KeepNamedSources(const CompileArgs& args, bool argumentsFailed, Platform::KeptInputs& inputs)
{
    std::vector<std::string> named = args.otherSources;
    if (!args.source.empty()) named.insert(named.begin(), args.source);
    for (const std::string& source : named) inputs.Add(Platform::FileIdentity::OfPath(source), kSourceWhy);
    if (!argumentsFailed) return;
    for (size_t i = 0; i < named.size() && i < kMaxSourcesLookedInto; ++i)
    {
        GSDiagnostics unreported;
        GSCompiler lookup(unreported);
        lookup.SetIncludePaths(args.includePaths);
        (void)lookup.Compile(named[i]);
        for (const Platform::FileIdentity& file : lookup.ReadFiles()) inputs.Add(file, kSourceWhy);
    }
}

// Opens an output of the compile (`what`: "library", "build log"), refused when the file its name leads to, by
// any name, is one the compile reads: decided on the file opened, whichever way it is then written, before
// anything is written. Empty when open, else the error.
std::string OpenOutput(const Platform::KeptInputs& inputs, const std::string& what, const std::string& path,
                       Platform::OutputFile& out)
{
    if (out.Open(path)) return {};
    if (inputs.Holds(out.Existing())) return "the " + what + " would overwrite the source file '" + path + "'";
    return "cannot write " + what + " '" + path + "': " + out.Reason();
}

std::string CommitOutput(const std::string& what, const std::string& path, Platform::OutputFile& out,
                         std::string_view bytes)
{
    return out.Commit(bytes) ? std::string() : "cannot write " + what + " '" + path + "': " + out.Reason();
}

}  // namespace

int GSCompilerMain(int argc, const char* const* argv) { return GSCompilerMain(argc, argv, std::cout); }

int GSCompilerMain(int argc, const char* const* argv, std::ostream& console)
{
    CompileArgs args;
    GSDiagnostics diag;
    ParseArgs(argc, argv, args, diag);

    if (args.documentation) console << GSCompilerDocumentation();
    Platform::KeptInputs inputs;
    KeepNamedSources(args, diag.Count() != 0, inputs);

    std::vector<std::string> lines;
    std::string library;
    GSCompiler compiler(diag);
    // Both outputs are opened, and checked against the sources and each other, before either is written.
    Platform::OutputFile libraryFile, logFile;
    bool libraryOpen = false;
    if (!args.source.empty())
    {
        lines.push_back("Compiling " + args.source);
        if (diag.Count() == 0)
        {
            compiler.SetIncludePaths(args.includePaths);
            const bool compiled = compiler.Compile(args.source);
            for (const Platform::FileIdentity& file : compiler.ReadFiles()) inputs.Add(file, kSourceWhy);
            if (compiled)
            {
                // The output folder is made when it does not exist yet.
                library = GSCompiler::LibraryPath(args.source, args.outputFolder, args.outputFile);
                std::error_code ec;
                const std::filesystem::path folder = std::filesystem::path(library).parent_path();
                if (!folder.empty()) std::filesystem::create_directories(folder, ec);
                const std::string error = OpenOutput(inputs, "library", library, libraryFile);
                if (!error.empty()) diag.Error(args.source, 0, error);
                libraryOpen = error.empty();
            }
        }
    }
    else if (!args.documentation)
    {
        diag.Error(kCommandLine, 0, "no source file given");
    }
    std::string logError;
    if (!args.logPath.empty())
    {
        logError = OpenOutput(inputs, "build log", args.logPath, logFile);
        if (logError.empty() && libraryOpen && logFile.IsSameOutputAs(libraryFile))
        {
            // Neither is written: the compile fails, and the file keeps what it held.
            logFile.Abandon();
            libraryFile.Abandon();
            libraryOpen = false;
            logError = "the build log would overwrite the library '" + library + "'";
        }
    }
    if (libraryOpen)
    {
        if (const std::string error = CommitOutput("library", library, libraryFile, compiler.LibraryBytes());
            !error.empty())
            diag.Error(args.source, 0, error);
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
        if (logError.empty()) logError = CommitOutput("build log", args.logPath, logFile, text);
        if (!logError.empty()) diag.Error(kCommandLine, 0, logError);
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
