// The download-station commands on a folder of generated packages, through the real tool and daemon in a
// temporary installation root:
//   dlsparse        one batch file with one "dlsparse" line per package (install, status, validation,
//                   description lines, the asset's own archive and its JPEG thumbnail from a TGA)
//   installcdp      the same packages installed and nothing else: the floor the parse stands on
//   dlsparsefolder  the packages' asset folders exported (install, archive, thumbnail, SQL, delete)
//   ... installed   the same with every asset installed by the user first: each installed copy held aside and put
//                   back around the run's own, with the dated backups folders counted before and after
// Usage: bench_dls [packages=300]
// The root is made in the system's temporary folder, on a real disk where /tmp is one, so that what the commands put on
// disk counts. VELMAR_BENCH_STAGE names another build's stage folder, whose executables are run instead.
#include "tests/e2e/E2EHarness.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "engine/Bitmap.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Asset i: a small scenery asset with a 64 x 64 TGA thumbnail and a dependency on the asset before it.
bool WriteAssetFolder(const std::string& folder, int i)
{
    fs::create_directories(folder);
    std::string config = "kuid <kuid:800000:" + std::to_string(i + 1) + ">\nkind \"scenery\"\nusername \"Bench Hut " +
                         std::to_string(i) +
                         "\"\ncategory-class \"BD\"\ncategory-region \"DE\"\ncategory-era "
                         "\"1950\"\nvelmar-build 3.7\ndescription \"A generated asset, number " +
                         std::to_string(i) +
                         ".\"\nthumbnails {\n 0 {\n  image \"thumb.tga\"\n  width 64\n  height 64\n"
                         " }\n}\n";
    if (i > 0) config += "kuid-table {\n 0 <kuid:800000:" + std::to_string(i) + ">\n}\n";
    std::FILE* f = std::fopen((folder + "/config.txt").c_str(), "wb");
    if (!f) return false;
    std::fwrite(config.data(), 1, config.size(), f);
    std::fclose(f);
    Orvo::Bitmap image(64, 64, Orvo::Bitmap::FormatRGB24);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64 * 3; ++x) image.Row(y)[x] = uint8_t(x * 3 + y * 5 + i);
    return image.Save(folder + "/thumb.tga");
}

bool WritePackage(const std::string& folder, const std::string& path)
{
    TDBTagRef entry;
    Orvo::String reason;
    ContentArchive archive;
    return MakeArchiveEntryFromFolder(entry, folder, true, reason) && archive.AddAsset(reason, entry) &&
           archive.Save(reason, path);
}

void Report(const char* what, int count, double seconds, const e2e::RunResult& r)
{
    std::printf("%-15s %5d packages  %8.2f s  %8.1f packages/s  exit %d\n", what, count, seconds,
                double(count) / seconds, r.exitCode);
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    e2e::InstallRoot root;
    if (const char* stage = std::getenv("VELMAR_BENCH_STAGE"); stage && *stage)
    {
        std::error_code ec;
        fs::remove_all(root.Path("bin"), ec);
        fs::copy(std::string(stage) + "/bin", root.Path("bin"), fs::copy_options::recursive, ec);
        if (ec)
        {
            std::fprintf(stderr, "cannot lay out the executables of %s: %s\n", stage, ec.message().c_str());
            return 1;
        }
        std::printf("stage %s\n", stage);
    }
    if (!root.StartDaemon())
    {
        std::fprintf(stderr, "the daemon did not start\n");
        return 1;
    }
    fs::create_directories(root.Path("work/packages"));
    std::string parseLines, installLines;
    for (int i = 0; i < count; ++i)
    {
        const std::string name = "p" + std::to_string(i);
        const std::string folder = root.Path("work/assets/" + name);
        if (!WriteAssetFolder(folder, i) || !WritePackage(folder, root.Path("work/packages/" + name + ".cdp")))
        {
            std::fprintf(stderr, "cannot generate package %d\n", i);
            return 1;
        }
        parseLines += "dlsparse \"packages/" + name + ".cdp\"\n";
        installLines += "installcdp \"packages/" + name + ".cdp\"\n";
    }
    root.WriteFile("work/parse.txt", parseLines);
    root.WriteFile("work/install.txt", installLines);
    const e2e::RunOptions in = e2e::RunOptions::In(root.Path("work"));
    e2e::RunOptions slow = in;
    slow.timeoutMs = 3600 * 1000;

    auto start = Clock::now();
    e2e::RunResult install = root.Run({"@install.txt"}, slow);
    Report("installcdp", count, Seconds(start), install);
    root.Run({"dlsdeleteall"}, in);

    start = Clock::now();
    e2e::RunResult parse = root.Run({"@parse.txt"}, slow);
    Report("dlsparse", count, Seconds(start), parse);
    root.Run({"dlsdeleteall"}, in);

    start = Clock::now();
    e2e::RunResult folder = root.Run({"dlsparsefolder", "assets"}, slow);
    Report("dlsparsefolder", count, Seconds(start), folder);

    // The user has every asset installed: the run holds each copy aside and puts it back; its own copies make no
    // backup.
    root.Run({"installfrompath", "assets"}, slow);
    auto datedBackups = [&] {
        int n = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(root.Path("UserData/backups"), ec))
            n += e.path().filename() != "uncommitted";
        return n;
    };
    const int backupsBefore = datedBackups();
    start = Clock::now();
    e2e::RunResult held = root.Run({"dlsparsefolder", "assets"}, slow);
    Report("... installed", count, Seconds(start), held);
    std::printf("dated backup folders: %d before the run over installed assets, %d after\n", backupsBefore,
                datedBackups());

    int jpegs = 0;
    for (const auto& e : fs::directory_iterator(root.Path("work/packages"))) jpegs += e.path().extension() == ".jpg";
    std::printf("thumbnails written by dlsparse: %d of %d\n", jpegs, count);
    return install.timedOut || parse.timedOut || folder.timedOut || held.timedOut ? 1 : 0;
}
