// Scanning and checking speed of the script compiler on a large generated source.
//   gscompiler_bench [megabytes]   (default 48)
#include "script/compiler/GSCompilerMain.h"
#include "script/compiler/GSDiagnostics.h"
#include "script/compiler/GSScanner.h"
#include "script/compiler/GSSourceCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A plausible mix: classes, methods, comments, strings, numbers and nested brackets.
std::string MakeSource(size_t bytes)
{
    std::string s;
    s.reserve(bytes + 4096);
    unsigned n = 0;
    while (s.size() < bytes)
    {
        ++n;
        s += "// Generated class number " + std::to_string(n) + " of the benchmark source.\n";
        s += "class Vehicle" + std::to_string(n) + " isclass GameObject\n{\n";
        s += "  /* Speed limits in metres per second,\n     checked on every tick. */\n";
        s += "  float maxSpeed = " + std::to_string(n % 97) + ".25;\n";
        s += "  int flags = 0x" + std::to_string(1000 + n % 9000) + ";\n";
        s += "  string name = \"vehicle \\\"" + std::to_string(n) + "\\\" on track\";\n";
        s += "  void Update(float dt)\n  {\n";
        s += "    if (speed[index] >= maxSpeed && !IsStopped()) { speed[index] -= dt * 1.5e-1; }\n";
        s += "    for (int i = 0; i < count; ++i) { total += values[i] * (weights[i] + 2); }\n";
        s += "    PostMessage(me, \"Vehicle\", \"Tick\", 0.0);\n  }\n};\n\n";
    }
    return s;
}

double BestSeconds(int runs, const std::function<void()>& f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
    {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
    }
    return best;
}

void Report(const char* what, size_t bytes, double seconds, const std::string& extra)
{
    std::printf("%-34s %8.1f MB/s  (%.3f s)  %s\n", what, bytes / 1e6 / seconds, seconds, extra.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 48;
    if (mb == 0 || mb > 120) mb = 48;
    const std::string src = MakeSource(mb << 20);
    std::printf("source: %.1f MB generated\n", src.size() / 1e6);

    size_t tokens = 0;
    double t = BestSeconds(3, [&] {
        GSScanner scanner(src);
        tokens = 0;
        for (GSToken tok = scanner.Next(); tok.kind != GSTokenKind::End; tok = scanner.Next()) ++tokens;
    });
    Report("scanner only", src.size(), t, std::to_string(tokens) + " tokens");

    size_t errors = 0;
    t = BestSeconds(3, [&] {
        GSDiagnostics diag;
        CheckGSSource("bench.gs", src, diag, false);
        errors = diag.Count();
    });
    Report("scan + structure check", src.size(), t, std::to_string(errors) + " errors");

    t = BestSeconds(3, [&] {
        GSDiagnostics diag;
        GSSourceCheckResult r = CheckGSSource("bench.gs", src, diag, true);
        tokens = r.tokens.size();
    });
    Report("scan + check, tokens kept", src.size(), t, std::to_string(tokens) + " tokens");

    // The whole command: load the file, check it, write the library.
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("gscompiler-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string file = (dir / "bench.gs").string();
    std::ofstream(file, std::ios::binary) << src;
    int result = 0;
    t = BestSeconds(3, [&] {
        const char* args[] = {"VelmarUtil", "", "-s", file.c_str()};
        std::ostringstream console;
        result = GSCompilerMain(4, args, console);
    });
    std::uintmax_t libSize = std::filesystem::file_size(dir / "bench.gsl");
    Report("compile command (file to library)", src.size(), t,
           std::to_string(result) + " errors, library " + std::to_string(libSize / 1000000) + " MB");
    std::filesystem::remove_all(dir);
    return result == 0 && errors == 0 ? 0 : 1;
}
