// Signals whose default ends a process, sent as an output with a second name (written in place) starts to change:
// the tool ends by that very signal once the output is whole, with no temporary left and every description back
// under its own name. A file-size limit (`ulimit -f`) met by an output keeps its old bytes, as a full disk does.
#include "E2EFixture.h"
#include "SignalAtEvent.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

constexpr char kEditing[] = "UserData/editing/kuid 900451 1/", kDescription[] = "Primary=big.tga\nCompression=none\n";

std::vector<std::string> Archive(int assets)
{
    std::vector<std::string> args{"createcdp", "arc.cdp"};
    for (int id = 1; id <= assets; ++id) args.push_back("<kuid:900450:" + std::to_string(id) + ">");
    return args;
}

using EndingSignalsE2E = DaemonRootTest;

TEST_F(EndingSignalsE2E, ASignalThatEndsTheToolEndsItByThatSignalOnceAnOutputWrittenInPlaceIsWhole)
{
    for (int id = 1; id <= 4; ++id)
    {
        const std::string folder = "work/a" + std::to_string(id) + "/";
        root_.WriteFile(folder + "config.txt",
                        "kuid <kuid:900450:" + std::to_string(id) + ">\nkind \"scenery\"\nusername \"A\"\n");
        root_.WriteFile(folder + "data.bin", std::string(64 << 10, char('a' + id)));
        ASSERT_EQ(Run({"installfrompath", "a" + std::to_string(id)}).exitCode, 0);
    }
    std::string script = "class B\n{\n";
    for (int i = 0; i < 2000; ++i)
        script += "  void f" + std::to_string(i) + "() { int x = " + std::to_string(i) + "; }\n";
    root_.WriteFile("work/big.gs", script + "};\n");
    root_.WriteFile("work/big/config.txt",
                    "kuid <kuid:900451:1>\nkind \"texture\"\nusername \"B\"\ntexture \"big.texture\"\n");
    ASSERT_TRUE(WritePicture(root_.Path("work/big/big.tga")));
    root_.WriteFile("work/big/big.texture.txt", kDescription);
    ASSERT_TRUE(Run({"installfrompath", "big"}).exitCode == 0 && Run({"edit", "<kuid:900451:1>"}).exitCode == 0);

    const std::vector<std::string> convert{"compresstexture", root_.Path(kEditing)};
    const std::string texture = kEditing + std::string("big.texture");
    const std::string archiveTooLarge = "archive file: " + root_.Path("work/arc.cdp") + " (File too large)";
    const struct
    {
        std::vector<std::string> args;
        std::string output;
        int signal;                  // 0: none, the limit is met
        uint64_t fileSizeLimit = 0;  // below the new bytes where no signal is sent
        bool secondName = true;
        std::string says = {};
        size_t whole = 0;  // not 0: the new bytes, more than this many, are there (a texture without compression)
    } rows[] = {
        {Archive(4), "work/arc.cdp", SIGUSR1},
        {{"compile", "big.gs", "-obig.gsl"}, "work/big.gsl", SIGALRM},
        {convert, texture, SIGXCPU},
        {convert, texture, SIGTERM, 0, true, "", 4 << 20},
        {Archive(3), "work/arc.cdp", SIGRTMIN + 1},
        {Archive(2), "work/arc.cdp", SIGXFSZ, uint64_t(64) << 20},  // sent from outside, a limit in force
        {Archive(4), "work/arc.cdp", 0, 96 << 10, true, archiveTooLarge},
        {Archive(4), "work/arc.cdp", 0, 96 << 10, false, archiveTooLarge},
        {{"compile", "big.gs", "-obig.gsl"}, "work/big.gsl", 0, 96 << 10, true, "library 'big.gsl': File too large"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.args[0] + ", signal " + std::to_string(row.signal) + (row.secondName ? "" : ", replaced"));
        const std::string old(row.signal != 0 ? 8 << 20 : 8 << 10, 'o'), second = root_.Path(row.output + ".2");
        std::filesystem::remove(second);
        root_.WriteFile(row.output, old);
        if (row.secondName) std::filesystem::create_hard_link(root_.Path(row.output), second);
        RunOptions options = RunOptions::In(root_.Path("work"));
        options.fileSizeLimit = row.fileSizeLimit;
        bool sent = row.signal == 0;
        RunResult r = sent ? root_.Run(row.args, options) : RunResult{};
        // Held at its first write and sent the signal then; run again where it had ended before (a loaded machine
        // may run a short command to its end before it is held).
        for (int attempt = 0; attempt < 10 && !sent; ++attempt)
        {
            root_.WriteFile(row.output, old);
            r = SignalWhen(root_, row.args, options, root_.Path(row.output), IN_MODIFY, "", row.signal, sent, 0, true);
        }
        EXPECT_EQ(r.exitCode, row.signal != 0 ? 128 + row.signal : 255) << r.out << r.err;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
        const std::string got = root_.ReadFile(row.output);
        EXPECT_TRUE(!row.secondName || ReadWholeFile(second) == got) << "not one file under both names";
        for (const char* folder : {"work", kEditing})  // no temporary, no description aside
            EXPECT_EQ(Leftovers(root_.Path(folder)), std::vector<std::string>{}) << folder;
        EXPECT_EQ(root_.ReadFile(kEditing + std::string("big.texture.txt")), kDescription);
        // The old bytes (where allowed), or the new ones that the same command run to its end writes.
        EXPECT_TRUE((got == old && row.whole == 0) ||
                    (row.signal != 0 && Run(row.args).exitCode == 0 && got == root_.ReadFile(row.output)));
        EXPECT_GT(got.size(), row.whole);
    }
}

}  // namespace
}  // namespace e2e
