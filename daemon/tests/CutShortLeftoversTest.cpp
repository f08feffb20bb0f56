// What a start removes of the work killed commands left under UserData/: only what is surely the program's own,
// and only once the process named in it is gone.
#include "DaemonHarness.h"

#include "daemon/CutShortLeftovers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A process id that no process has any more.
int GonePid()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(CutShortLeftovers, TemporaryNamesAreTakenOnlyExactly)
{
    const struct
    {
        const char* name;
        int pid;
        const char* base;
    } cases[] = {
        {"big.texture.part-4242-7", 4242, "big.texture"},
        {"a.part-b.part-12-3", 12, "a.part-b"},
        {".part-12-3", 0, ""},  // no name before it
        {"x.part-12", 0, ""},
        {"x.part-12-", 0, ""},
        {"x.part--3", 0, ""},
        {"x.part-12-3a", 0, ""},
        {"x.part-1a-3", 0, ""},
        {"x.part-12-3.txt", 0, ""},
        {"x.part-12345678901-3", 0, ""},
    };
    for (const auto& c : cases)
    {
        std::string base;
        EXPECT_EQ(TemporaryNameProcess(c.name, &base), c.pid) << c.name;
        EXPECT_EQ(base, c.base) << c.name;
    }
}

TEST(CutShortLeftovers, AStartRemovesOnlyWhatSurelyIsTheProgramsOwn)
{
    TempDir d;
    const DaemonRoot root(d.path());
    ASSERT_TRUE(root.MakeFolders());
    const std::string gone = std::to_string(GonePid()), live = std::to_string(getpid());
    const std::string packages = root.UserData("packages");
    const auto write = [](const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "x";
    };
    // path below UserData, kept?
    const std::vector<std::pair<std::string, bool>> entries = {
        {"packages/p.export-partial/.vadexport-partial", false},
        {"packages/q.export-partial/kuid 1 2/config.txt", true},  // no mark: a package of that name, or a user's
        {"packages/q.export-partial/q.export-partial.cdp.part-" + gone + "-1", false},
        {"packages/q/q.cdp.part-" + gone + "-1", false},
        {"packages/q/package.txt.part-" + gone + "-2", false},
        {"packages/q/package.txt.part-" + live + "-2", true},  // its process runs
        {"packages/q/notes.txt.part-" + gone + "-3", true},    // no output of the export
        {"packages/q/.vadnew-kuid 1 2-" + gone + "-4/config.txt", false},
        {"packages/q/.vadold-kuid 1 3-" + gone + "-5/config.txt", false},  // back as "kuid 1 3"
        {"packages/q/kuid 1 4/config.txt", true},
        {"packages/q/.vadold-kuid 1 4-" + gone + "-6/mine.txt", true},  // "kuid 1 4" is taken
        {"settings/settings.txt.part-" + gone + "-1", false},
        {"dls-parse/new/scenery/a.cdp.part-" + gone + "-1", false},
        {"cache/analytics.log.part-" + gone + "-1", false},
        {"cache/orvo_texturecompress_" + gone + "_abcdef/in.png", false},
        {"cache/orvo_texturecompress_" + live + "_abcdef/in.png", true},
        {"editing/kuid 1 2/big.texture.part-" + gone + "-1", true},  // a user's folder: left to the commit
    };
    for (const auto& [path, kept] : entries) write(root.UserData(path));
    fs::create_directories(root.UserData("packages/empty.export-partial"));
    EXPECT_FALSE(CleanupCutShortWork(root).empty());
    for (const auto& [path, kept] : entries) EXPECT_EQ(fs::exists(root.UserData(path)), kept) << path;
    EXPECT_FALSE(fs::exists(root.UserData("packages/p.export-partial")));
    EXPECT_FALSE(fs::exists(root.UserData("packages/empty.export-partial")));
    EXPECT_FALSE(fs::exists(root.UserData("cache/orvo_texturecompress_" + gone + "_abcdef")));
    EXPECT_TRUE(fs::exists(root.UserData("packages/q/kuid 1 3/config.txt")));
}

}  // namespace
