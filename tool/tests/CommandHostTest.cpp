// The command host's job decoding and replies, its keep-alive timing and its console control flags,
// without a daemon: every job that needs none is answered in full here.
#include "CommandTestSupport.h"
#include "ToolTestRoot.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "core/ChunkedList.h"
#include "core/TBuffer.h"
#include "core/TFile.h"
#include "platform/ConsoleControl.h"
#include "tool/ArchiveInstall.h"
#include "tool/CommandHost.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

struct Reply
{
    ResultsLog log;      // the job's results
    VADHostReply reply;  // as it came
    bool empty = false;
};

// Runs one job through the callback and reads its reply, the job's results into `log`.
void RunJob(TBuffer& job, Reply& out)
{
    job.Seek(0);
    TBuffer reply;
    VADClient noDaemon;
    CommandHostCallback(noDaemon, job, reply);
    out.empty = reply.Size() == 0;
    if (out.empty) return;
    ASSERT_TRUE(VADDecode(reply.Bytes(), out.reply));
    for (const VADResultNotification& r : out.reply.results) out.log.PostResult(r.kind, r.text);
}

// An archive job: the command, the archive id, the file, then the KUID list; an install job then names no
// staging folder and no assets to stage.
void WriteArchiveJob(TBuffer& b, uint32_t command, uint32_t id, const std::string& file, const std::vector<KUID>& kuids)
{
    b.WriteUInt32(command);
    b.WriteUInt32(id);
    b.WriteString(file);
    b.WriteUInt32(uint32_t(kuids.size()));
    for (const KUID& k : kuids) b.WriteKUID(k);
    if (command != VAD_CMDHOST_ARCHIVE_INSTALL) return;
    b.WriteString("");
    b.WriteUInt32(0);
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t WordAt(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + i]);
    return v;
}

TEST(CommandHostTest, ValidateJobAnswersWithAClearError)
{
    TBuffer validate;
    validate.WriteUInt32(VAD_CMDHOST_VALIDATE);
    validate.WriteString("local");
    validate.WriteString("/nowhere/asset");
    Reply v;
    RunJob(validate, v);
    ASSERT_FALSE(v.empty);
    EXPECT_EQ(v.log.ErrorCount(), 1u);
    EXPECT_EQ(v.reply.command, uint32_t(VAD_CMDHOST_VALIDATE));
    EXPECT_EQ(v.reply.answer, 0u);
}

TEST(CommandHostTest, UnreadableAndUnknownJobsGetNoReplyContent)
{
    // Not even an id; a path whose string length has nothing after it; an unknown id.
    TBuffer jobs[3];
    jobs[1].WriteUInt32(VAD_CMDHOST_VALIDATE);
    jobs[1].WriteUInt32(50);
    jobs[2].WriteUInt32(77);
    for (TBuffer& job : jobs)
    {
        Reply r;
        RunJob(job, r);
        EXPECT_TRUE(r.empty);
    }

    // A KUID count the job cannot hold is refused before anything is read or written.
    ToolTestRoot();
    const std::string target = GetUserDataPath().str() + "/cache/huge.crak";
    TBuffer huge;
    huge.WriteUInt32(VAD_CMDHOST_ARCHIVE_SAVETODISK);
    huge.WriteUInt32(1);
    huge.WriteString(target);
    huge.WriteUInt32(0xFFFFFFFFu);
    huge.WriteKUID(KUID(1, 2, 0));
    Reply d;
    RunJob(huge, d);
    EXPECT_TRUE(d.empty);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(CommandHostTest, SaveWithoutAssetsWritesTheHeaderAndItsLength)
{
    ToolTestRoot();
    const std::string target = GetUserDataPath().str() + "/cache/empty.crak";
    TBuffer job;
    WriteArchiveJob(job, VAD_CMDHOST_ARCHIVE_SAVETODISK, 0x1234, target, {});
    Reply r;
    RunJob(job, r);
    EXPECT_EQ(r.log.GetResultCount(), 0u);
    EXPECT_EQ(r.reply.answer, 1u);

    const std::string bytes = FileBytes(target);
    ASSERT_EQ(bytes.size(), 24u);  // the header and a count of 0
    EXPECT_EQ(bytes.substr(0, 4), "crak");
    EXPECT_EQ(WordAt(bytes, 4), 1u);
    EXPECT_EQ(WordAt(bytes, 8), kArchiveJobFloatBits);
    EXPECT_EQ(WordAt(bytes, 12), 24u);
    EXPECT_EQ(WordAt(bytes, 16), 0x1234u);
    EXPECT_EQ(WordAt(bytes, 20), 0u);
}

TEST(CommandHostTest, SaveRefusesPathsOutsideTheUserData)
{
    ToolTestRoot();
    TempFolder elsewhere;
    const std::string userData = GetUserDataPath().str();
    for (const std::string& target : {elsewhere.Sub("x.crak"), userData + "/../x.crak",
                                      userData + "/cache/../../x.crak", userData, std::string("x.crak")})
    {
        TBuffer job;
        WriteArchiveJob(job, VAD_CMDHOST_ARCHIVE_SAVETODISK, 1, target, {});
        Reply r;
        RunJob(job, r);
        EXPECT_EQ(r.log.ErrorCount(), 1u) << target;
        EXPECT_EQ(r.reply.answer, 0u) << target;
    }
    EXPECT_FALSE(std::filesystem::exists(elsewhere.Sub("x.crak")));
    EXPECT_FALSE(std::filesystem::exists(ToolTestRoot() + "/x.crak"));
}

TEST(CommandHostTest, InstallOfAnotherArchiveLeavesTheListAsItWas)
{
    ToolTestRoot();
    const std::string file = GetUserDataPath().str() + "/cache/other.crak";
    {
        TFile out;
        ASSERT_TRUE(out.Open(file, TFile::kWrite));
        ArchiveJobContents contents;
        contents.kuids.push_back(KUID(5, 6, 0));
        contents.entries.push_back(TDBTagRef());
        ASSERT_TRUE(WriteArchiveJobHeader(out, 7) && WriteArchiveJobBody(out, contents) && FinishArchiveJobHeader(out));
    }
    TBuffer job;
    WriteArchiveJob(job, VAD_CMDHOST_ARCHIVE_INSTALL, 8, file, {KUID(5, 6, 0), KUID(9, 9, 1)});  // the file says 7
    Reply r;
    RunJob(job, r);
    ASSERT_EQ(r.log.ErrorCount(), 1u);
    EXPECT_NE(r.log.GetResults()[0].text.str().find("belongs to archive 7, not 8"), std::string::npos)
        << r.log.GetResults()[0].text.str();
    EXPECT_EQ(r.reply.installed, (std::vector<KUID>{KUID(5, 6, 0), KUID(9, 9, 1)}));
}

TEST(CommandHostTest, KeepAliveOnlyAfterMoreThanFiveSeconds)
{
    EXPECT_FALSE(KeepAliveDue(1000, 1000));
    EXPECT_FALSE(KeepAliveDue(6000, 1000));
    EXPECT_TRUE(KeepAliveDue(6001, 1000));
    EXPECT_FALSE(KeepAliveDue(500, 1000));  // a clock that went back is no reason to send
}

TEST(CommandHostTest, ConsoleEventsStopTheHostAndCloseWaitsForIt)
{
    VADConnection connection;
    {
        CommandHost host(connection);
        EXPECT_FALSE(host.StopRequested());
        EXPECT_TRUE(host.OnConsoleEvent(Platform::kConsoleCtrlC, SIGINT));
        EXPECT_TRUE(host.StopRequested());
    }

    // A close while the host is busy returns only once the loop has ended.
    CommandHost host(connection);
    host.BeginServing();
    std::atomic<bool> returned{false};
    std::thread closing([&] {
        host.OnConsoleEvent(Platform::kConsoleClose, SIGHUP);
        returned = true;
    });
    while (!host.StopRequested()) std::this_thread::yield();
    EXPECT_FALSE(returned.load());
    host.EndServing();
    closing.join();
    EXPECT_TRUE(returned.load());
}

TEST(CommandHostTest, WithoutDaemonTheHostEndsAtOnceAndGivesTheSignalsBack)
{
    VADConnection connection;
    CommandHost host(connection);
    host.Run();
    EXPECT_FALSE(connection.HasCommandHostCallback());
    EXPECT_FALSE(Platform::ConsoleHandlerInstalled());
    struct sigaction now
    {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
