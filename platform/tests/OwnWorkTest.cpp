// The register of a process's own work and the sweep after the process: the register's lines read from hand-made
// bytes (a line cut short is not there, anything else that does not read refuses the register), and a sweep that
// removes or gives back only what a record proves, of a register that is whole, owner-only and within its bounds,
// and of a process that has ended; then what a real process recorded before it was killed.
#include "platform/FileWriting.h"
#include "platform/Interruption.h"
#include "platform/OwnFolders.h"
#include "platform/OwnWorkRecords.h"
#include "platform/OwnWorkSweep.h"
#include "platform/TemporaryFolder.h"

#include "EndedProcess.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace Platform;

using PlatformTest::OwnWorkLine;
using PlatformTest::ReadFile;
using PlatformTest::WriteEndedRegister;
using PlatformTest::WriteFile;

// The path of the one register in `registers` (empty where there is not exactly one).
std::string TheRegister(const std::string& registers)
{
    std::error_code ec;
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(registers, ec)) found.push_back(e.path().string());
    return found.size() == 1 ? found[0] : std::string();
}

// The exit status of the child `child`: what it passed to _exit, or -1.
int ExitOf(pid_t child)
{
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OwnWork, ARegisterReadsOnlyWholeLinesOfItsOwnForm)
{
    const std::string header = kOwnWorkHeader;
    std::vector<OwnWorkRecord> records;
    const std::string bytes = header + "+ 1 file 5 6 /a/b\n+ 2 tree 5 7 /a/c\\20d\\0a\n- 1\n" +
                              "+ 3 aside 5 8 /a/.old\\5c /a/own\n+ 4 file 5 9 /a/cut";
    ASSERT_TRUE(ReadOwnWorkRecords(bytes, records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, OwnWorkKind::kTree);
    EXPECT_EQ(records[0].path, "/a/c d\n");
    EXPECT_EQ(records[0].inode, 7u);
    EXPECT_EQ(records[1].kind, OwnWorkKind::kAside);
    EXPECT_EQ(records[1].path, "/a/.old\\");
    EXPECT_EQ(records[1].own, "/a/own");

    // What a record line writes reads back as it was.
    OwnWorkRecord odd{9, OwnWorkKind::kFile, 1, 2, "/x/a b\tc\\d\n\x7f\xc3\xa9", {}};
    ASSERT_TRUE(ReadOwnWorkRecords(header + OwnWorkRecordLine(odd), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, odd.path);
    EXPECT_EQ(OwnWorkRecordLine({1, OwnWorkKind::kFile, 1, 2, "relative", {}}), "");
    EXPECT_EQ(OwnWorkRecordLine({1, OwnWorkKind::kFile, 1, 2, "/" + std::string(kMaxOwnWorkPath, 'a'), {}}), "");

    const std::string refused[] = {
        "own-work 2\n+ 1 file 5 6 /a/b\n",                   // another form
        header + "+ 1 file 5 6 a/b\n",                       // a path that is not absolute
        header + "+ 1 file 5 6 /a/b c\n",                    // a word too many
        header + "+ 1 link 5 6 /a/b\n",                      // no such kind
        header + "+ 1 file 5 6 /a/\\2\n",                    // an escape cut short
        header + "+ 1 file 5 6 /a/\\41\n",                   // an escape of a byte written as it is
        header + "+ 1 file 5 06 /a/b\n",                     // a number not written so
        header + "+ 1 file 5 6 /a/b\n+ 1 file 5 7 /a/c\n",   // a note twice
        header + std::string(kMaxOwnWorkBytes, 'x') + "\n",  // past the bound
    };
    for (const std::string& r : refused)
    {
        std::string why;
        EXPECT_FALSE(ReadOwnWorkRecords(r, records, &why)) << r.substr(0, 40);
        EXPECT_TRUE(records.empty());
        EXPECT_FALSE(why.empty());
    }
}

TEST(OwnWork, TheSweepDoesOnlyWhatASoundRegisterOfAnEndedProcessProves)
{
    const PlatformTest::TempDir dir;
    const std::string base = dir.path(), registers = base + "/own-work";
    ASSERT_EQ(::mkdir(registers.c_str(), 0700), 0);

    WriteFile(base + "/made.part-1-1", "made");
    WriteFile(base + "/work/inner/file", "work");
    WriteFile(base + "/users.part-1-2", "the user's");  // recorded with another file's inode
    WriteFile(base + "/other", "other");
    WriteFile(base + "/.old-pack/config.txt", "earlier copy");   // given back as pack
    WriteFile(base + "/.old-taken/config.txt", "earlier copy");  // its name is taken
    WriteFile(base + "/taken/config.txt", "new copy");
    WriteFile(base + "/kept-by-a-bad-register", "x");
    // Job files and staging folders in a cache (kept or not): only the one recorded goes, whatever the others' names.
    const std::vector<std::pair<std::string, bool>> cache = {
        {"install-4242-1.crak", true},     {"install-4242-2.staging", false},
        {"export-4242-3.crak", true},      {"install-99-1.crak", true},
        {"install-4242-1.crak.txt", true}, {"textures-4242-1.staging", true},
        {"install-x-1.staging", true},     {"notes.txt", true}};
    for (const auto& [name, kept] : cache)
        name.ends_with(".staging") ? (void)fs::create_directories(base + "/c/" + name + "/0")
                                   : WriteFile(base + "/c/" + name, "x");
    const std::string ended = WriteEndedRegister(
        registers, OwnWorkLine(1, OwnWorkKind::kFile, base + "/made.part-1-1") +
                       OwnWorkLine(2, OwnWorkKind::kTree, base + "/work") +
                       OwnWorkLine(3, OwnWorkKind::kFile, base + "/users.part-1-2", {}, base + "/other") +
                       OwnWorkLine(4, OwnWorkKind::kFile, base + "/gone-already") +
                       OwnWorkLine(5, OwnWorkKind::kAside, base + "/.old-pack", base + "/pack") +
                       OwnWorkLine(6, OwnWorkKind::kAside, base + "/.old-taken", base + "/taken") +
                       OwnWorkLine(7, OwnWorkKind::kTree, base + "/c/install-4242-2.staging"));

    // Registers that are not looked at: of a running process, of another mode, past the bound, of another owner.
    const std::string bad = OwnWorkLine(1, OwnWorkKind::kFile, base + "/kept-by-a-bad-register");
    const std::string running = OwnWorkRegisterNameOf(getpid());
    WriteFile(registers + "/" + running, kOwnWorkHeader + bad, 0600);
    const std::string ended2 = WriteEndedRegister(registers, bad, 0644);
    const std::string ended3 = WriteEndedRegister(registers, bad);
    ASSERT_EQ(::truncate((registers + "/" + ended3).c_str(), kMaxOwnWorkBytes + 1), 0);
    std::string ended4;
    if (geteuid() == 0)
    {
        ended4 = WriteEndedRegister(registers, bad);
        ASSERT_EQ(::chown((registers + "/" + ended4).c_str(), 65534, 65534), 0);
    }
    WriteFile(registers + "/not-a-register", kOwnWorkHeader + bad, 0600);

    const std::vector<std::string> done = SweepOwnWorkOfEndedProcesses(registers);
    EXPECT_FALSE(fs::exists(base + "/made.part-1-1") || fs::exists(base + "/work")) << testing::PrintToString(done);
    EXPECT_EQ(PlatformTest::ReadFile(base + "/users.part-1-2"), "the user's");
    EXPECT_EQ(PlatformTest::ReadFile(base + "/pack/config.txt"), "earlier copy");
    EXPECT_EQ(PlatformTest::ReadFile(base + "/.old-taken/config.txt"), "earlier copy");
    EXPECT_EQ(PlatformTest::ReadFile(base + "/taken/config.txt"), "new copy");
    EXPECT_TRUE(fs::exists(base + "/kept-by-a-bad-register"));
    EXPECT_FALSE(fs::exists(registers + "/" + ended));
    for (const std::string& left : {running, ended2, ended3, ended4, std::string("not-a-register")})
        EXPECT_TRUE(left.empty() || fs::exists(registers + "/" + left)) << left;
    EXPECT_EQ(std::count_if(done.begin(), done.end(),
                            [&](const std::string& line) { return line.find(base + "/c/") != line.npos; }),
              1)
        << testing::PrintToString(done);
    for (const auto& [name, kept] : cache) EXPECT_EQ(fs::exists(base + "/c/" + name), kept) << name;

    // A folder of registers that others may enter is not swept at all.
    WriteFile(registers + "/" + ended, kOwnWorkHeader + OwnWorkLine(1, OwnWorkKind::kFile, base + "/other"), 0600);
    ASSERT_EQ(::chmod(registers.c_str(), 0755), 0);
    EXPECT_EQ(SweepOwnWorkOfEndedProcesses(registers).size(), 1u);
    EXPECT_TRUE(fs::exists(base + "/other") && fs::exists(registers + "/" + ended));
}

// A process that keeps a register and is killed (it ends without removing anything): what it made goes at the sweep,
// a file it replaced whole stays as written, and a user's file named as its temporary stays.
TEST(OwnWork, WhatAKilledProcessRecordedGoesAndNothingElse)
{
    const PlatformTest::TempDir dir;
    const std::string base = dir.path(), registers = base + "/cache/own-work";
    const pid_t child = fork();
    if (child == 0)
    {
        KeepRegisterOfOwnWork(registers);
        static TemporaryFolder work;  // never removed: the process ends first
        const int fd = ::open((base + "/scratch.part-" + std::to_string(getpid()) + "-9").c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        {
            const TemporariesLock held;
            NoteTemporary(held, AT_FDCWD, base + "/scratch.part-" + std::to_string(getpid()) + "-9", false, fd);
        }
        bool ok = fd >= 0 && work.Make(base + "/work") && WriteFileReplacing(base + "/work/inside", "x");
        // Many files replaced while the folder stays noted: the register is written anew, small, along the way.
        for (int i = 0; ok && i < 3000; ++i) ok = WriteFileReplacing(base + "/written", i < 2999 ? "part" : "whole");
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    WriteFile(base + "/notes.part-" + std::to_string(child) + "-1", "the user's");
    ASSERT_TRUE(fs::exists(base + "/work/inside") &&
                fs::exists(base + "/scratch.part-" + std::to_string(child) + "-9"));
    struct stat st;
    ASSERT_EQ(::stat(registers.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(std::distance(fs::directory_iterator(registers), fs::directory_iterator()), 1);
    const fs::path the = fs::directory_iterator(registers)->path();
    EXPECT_EQ(OwnWorkRegisterProcess(the.filename().string()), child);
    ASSERT_EQ(::stat(the.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_LT(st.st_size, 300 * 1024);

    SweepOwnWorkOfEndedProcesses(registers);
    EXPECT_FALSE(fs::exists(base + "/work") || fs::exists(base + "/scratch.part-" + std::to_string(child) + "-9"));
    EXPECT_EQ(PlatformTest::ReadFile(base + "/written"), "whole");
    EXPECT_EQ(PlatformTest::ReadFile(base + "/notes.part-" + std::to_string(child) + "-1"), "the user's");
    EXPECT_TRUE(fs::is_empty(registers));
}

// In a batch, the line saying that a folder put in place or removed needs nothing more waits: it goes out with the
// next record, in the same write, or when the batch ends. A kill before it is written leaves a record of what is no
// longer there, which the sweep passes by; a folder of the user's made under that name since stays.
TEST(OwnWork, InABatchWhatWentIsForgottenLateAndOnlyWhatIsProvenGoes)
{
    const PlatformTest::TempDir dir;
    const std::string base = dir.path(), registers = base + "/own-work";
    const pid_t child = fork();
    if (child == 0)
    {
        KeepRegisterOfOwnWork(registers);
        int failed = 0;
        std::string made[4];
        {
            const OwnWorkBatch batch;
            if (!MakeOwnFolder(base + "/a", made[0]) || !PutOwnFolderInPlace(made[0], base + "/placed")) failed |= 1;
            const std::string before = ReadFile(TheRegister(registers));
            if (before.find("\n- 1\n") != std::string::npos) failed |= 2;
            if (!MakeOwnFolder(base + "/b", made[1])) failed |= 1;
            const std::string after = ReadFile(TheRegister(registers));
            if (after.rfind(before + "- 1\n+ 2 tree ", 0) != 0 || !after.ends_with("/b\n")) failed |= 4;
            if (!RemoveOwnFolder(made[1]) || ReadFile(TheRegister(registers)) != after) failed |= 8;
        }
        if (!ReadFile(TheRegister(registers)).ends_with("\n- 2\n")) failed |= 16;
        const OwnWorkBatch batch;
        if (!MakeOwnFolder(base + "/c", made[2]) || !MakeOwnFolder(base + "/d", made[3]) ||
            !PutOwnFolderInPlace(made[3], base + "/d-placed") || ::mkdir((base + "/d").c_str(), 0755) != 0)
            failed |= 1;
        _exit(failed);  // as if killed: the line of d waits, unwritten
    }
    ASSERT_EQ(ExitOf(child), 0) << "failed checks: bits of the child";
    std::vector<OwnWorkRecord> standing;
    ASSERT_TRUE(ReadOwnWorkRecords(ReadFile(TheRegister(registers)), standing));
    ASSERT_EQ(standing.size(), 2u);
    EXPECT_EQ(standing[1].path, base + "/d");

    SweepOwnWorkOfEndedProcesses(registers);
    EXPECT_FALSE(fs::exists(base + "/c"));
    for (const char* kept : {"/placed", "/d", "/d-placed"}) EXPECT_TRUE(fs::is_directory(base + kept)) << kept;
    EXPECT_TRUE(fs::is_empty(registers));
}

// A child forked without exec from a process that keeps a register makes what it makes as its own, but never writes
// into its parent's register.
TEST(OwnWork, AChildForkedWithoutExecNeverWritesItsParentsRegister)
{
    const PlatformTest::TempDir dir;
    const std::string base = dir.path(), registers = base + "/own-work";
    const pid_t child = fork();
    if (child == 0)
    {
        KeepRegisterOfOwnWork(registers);
        static TemporaryFolder work, more;
        if (!work.Make(base + "/work")) _exit(1);
        const std::string before = ReadFile(TheRegister(registers));
        const pid_t grandchild = fork();
        if (grandchild == 0) _exit(more.Make(base + "/more") && WriteFileReplacing(base + "/more/file", "x") ? 0 : 1);
        const int made = ExitOf(grandchild);
        _exit(made != 0 ? 2 : ReadFile(TheRegister(registers)) != before ? 4 : 0);
    }
    EXPECT_EQ(ExitOf(child), 0) << "failed checks: 1, 2 what was to be made was not; 4 the register changed";
}

}  // namespace
