// Textures compiled as assets are installed and committed, against a real daemon and a command host played
// here: the copies one request compiles in one job, what the job says, a host that cannot be had, the host's
// own requests, a kill after the compile; and the texture targets a package export refuses.
#include "DaemonHarness.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADFrameIO.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace {

const KUID kTextured(55, 1, 0);
const KUID kSubTextured(55, 2, 0);
const KUID kPlain(55, 3, 0);

// The command host's reply: one result of its log, then the job's answer (u32).
// The command host's reply to a texture-convert job: one result, then its answer.
VADBytes HostReply(uint32_t kind, const std::string& text, uint32_t answer)
{
    VADHostReply reply;
    reply.command = VAD_CMDHOST_TEXTURECONVERT;
    reply.results.push_back(VADResultNotification{kind, 0, "", KUID::Null(), text, {}});
    reply.answer = answer;
    return VADEncode(reply);
}

// What a texture-convert job does to the descriptions below its folder: "x.texture" beside each.
void CompileBelow(const std::string& folder)
{
    for (const auto& e : fs::recursive_directory_iterator(folder))
    {
        const std::string name = e.path().string();
        if (name.size() > 12 && name.compare(name.size() - 12, 12, ".texture.txt") == 0)
            WriteFile(name.substr(0, name.size() - 4), "compiled");
    }
}

std::vector<std::string> StagingLeft(const std::string& cache)
{
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(cache))
        if (e.path().extension() == ".staging") left.push_back(e.path().filename().string());
    return left;
}

class DaemonTexturesTest : public DaemonTest
{
protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        WriteAssetFolder(inst.Path("src/textured"), kTextured, "Textured");
        WriteFile(inst.Path("src/textured/a.texture.txt"), "Primary=a.png\n");
        WriteFile(inst.Path("src/textured/a.png"), "picture");
        WriteAssetFolder(inst.Path("src/sub"), kSubTextured, "Sub");
        fs::create_directories(inst.Path("src/sub/deep"));
        WriteFile(inst.Path("src/sub/deep/b.texture.txt"), "Primary=b.png\n");
        WriteAssetFolder(inst.Path("src/plain"), kPlain, "Plain");
        StartAndOpen();
    }
    void TearDown() override
    {
        DaemonTest::TearDown();
        if (hostThread.joinable()) hostThread.join();
    }

    // A command host that answers `jobs` jobs through `answer`.
    void StartHost(std::function<VADBytes(const VADJob&)> answer, int jobs = 1)
    {
        ASSERT_TRUE(host.Connect(inst));
        ASSERT_TRUE(host.SendFrame(VAD_REQ_REGISTER_COMMAND_HOST, 0, {}));
        int32_t status;
        VADBytes body;
        ASSERT_TRUE(host.Call(VAD_REQ_KEEPALIVE, {}, status, body));
        hostThread = std::thread([this, answer, jobs] {
            VADFrameHeader h;
            VADBytes p;
            int left = jobs;
            while (left > 0 && VADReceiveFrame(host.Socket(), h, p, 20000) == VADFrameRead::kOk)
            {
                if (h.code != VAD_NOTIFY_JOB) continue;
                VADJob job;
                if (!VADDecode(p, job)) return;
                host.SendFrame(VAD_REQ_JOB_REPLY, 0, answer(job));
                --left;
            }
        });
    }

    RawClient::Reply InstallFolders(const std::vector<std::string>& folders, uint32_t options = 0)
    {
        RawClient asker;
        EXPECT_TRUE(asker.Connect(inst));
        VADPathListRequest req;
        for (const std::string& f : folders) req.paths.push_back(inst.Path(f));
        req.value = options;
        return asker.Ask(VAD_REQ_INSTALL_FROM_FOLDERS, VADEncode(req));
    }
    std::string Local(const KUID& k, const std::string& file) const
    {
        return inst.Path("UserData/local/" + k.ToSpacedString() + "/" + file);
    }

    RawClient host;
    std::thread hostThread;
};

TEST_F(DaemonTexturesTest, OneJobCompilesTheCopiesOfARequestAndItsFindingsAreWarnings)
{
    std::vector<VADJob> jobs;
    std::vector<std::string> copies;
    StartHost([&](const VADJob& job) {
        jobs.push_back(job);
        for (const auto& e : fs::directory_iterator(job.path)) copies.push_back(e.path().filename().string());
        CompileBelow(job.path);
        return HostReply(kResultError, "'" + job.path + "/1/deep/b.texture.txt' could not be loaded", 0);
    });
    RawClient::Reply r = InstallFolders({"src/textured", "src/sub", "src/plain"});
    hostThread.join();
    ASSERT_EQ(r.status, kVADStatusOK);
    VADKuidListReply installed;
    ASSERT_TRUE(VADDecode(r.body, installed));
    EXPECT_EQ(installed.kuids, (std::vector<KUID>{kTextured, kSubTextured, kPlain}));

    // One job, over a private folder in the cache holding a copy of each folder with descriptions.
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].command, static_cast<uint32_t>(VAD_CMDHOST_TEXTURECONVERT));
    EXPECT_EQ(jobs[0].source, "cache");
    EXPECT_EQ(jobs[0].targets, "Velmar;DXTC");
    EXPECT_EQ(fs::path(jobs[0].path).parent_path(), fs::path(inst.Path("UserData/cache")));
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(StagingLeft(inst.Path("UserData/cache")), std::vector<std::string>{});

    // The installed copies hold what the job compiled; the folders installed from do not.
    EXPECT_EQ(ReadFile(Local(kTextured, "a.texture")), "compiled");
    EXPECT_EQ(ReadFile(Local(kSubTextured, "deep/b.texture")), "compiled");
    EXPECT_EQ(ReadFile(Local(kTextured, "a.png")), "picture");
    EXPECT_FALSE(fs::exists(inst.Path("src/textured/a.texture")));
    EXPECT_FALSE(fs::exists(Local(kPlain, "a.texture")));

    // The host's error is a warning about the asset it names, its path the folder installed from.
    std::vector<std::pair<uint32_t, std::string>> seen;
    for (const VADResultNotification& n : r.results)
        if (n.kind == kResultWarning) seen.push_back({n.hasSource ? n.source.contentId : 0, n.text});
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, std::string>>{
                        {2, "'" + inst.Path("src/sub") + "/deep/b.texture.txt' could not be loaded"},
                        {2, "Asset $(ASSET_KUID) is installed with textures that could not be compiled."}}));
}

// The job could not write a compiled texture, and the copy it compiled is then not installed (its configuration
// was changed meanwhile): the asset's one verdict is that it was not installed, never that it is installed with
// uncompiled textures; and the file the job could not write is named where it was being written.
TEST_F(DaemonTexturesTest, ACompiledCopyThatIsNotInstalledGetsOneVerdict)
{
    std::string output;
    StartHost([&](const VADJob& job) {
        output = job.path + "/0/a.texture";
        WriteAssetFolder(job.path + "/0", KUID(55, 9, 0), "Other");
        return HostReply(kResultError, "Unable to write output file '" + output + "'", 0);
    });
    RawClient::Reply r = InstallFolders({"src/textured"});
    hostThread.join();
    ASSERT_EQ(r.status, kVADStatusOK);
    VADKuidListReply installed;
    ASSERT_TRUE(VADDecode(r.body, installed));
    EXPECT_EQ(installed.kuids, std::vector<KUID>{KUID::Null()});
    std::vector<std::pair<uint32_t, std::string>> seen;
    for (const VADResultNotification& n : r.results) seen.push_back({n.kind, n.text});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0],
              (std::pair<uint32_t, std::string>{kResultWarning, "Unable to write output file '" + output + "'"}));
    EXPECT_EQ(seen[1].first, static_cast<uint32_t>(kResultError));
    EXPECT_EQ(seen[1].second, "$vad_failed_install");
    EXPECT_FALSE(fs::exists(Local(kTextured, "")));
}

TEST_F(DaemonTexturesTest, WithoutAHostTheFolderIsInstalledAsItIsWithAWarning)
{
    // No command host registers, and none can be started (this installation has no tool).
    RawClient::Reply r = InstallFolders({"src/textured"});
    ASSERT_EQ(r.status, kVADStatusOK);
    EXPECT_TRUE(fs::exists(Local(kTextured, "a.texture.txt")));
    EXPECT_FALSE(fs::exists(Local(kTextured, "a.texture")));
    ASSERT_FALSE(r.results.empty());
    EXPECT_EQ(r.results[0].kind, static_cast<uint32_t>(kResultWarning));
    EXPECT_EQ(r.results[0].source, kTextured);
    EXPECT_EQ(r.results[0].text.rfind("The textures of asset $(ASSET_KUID) were not compiled: ", 0), 0u)
        << r.results[0].text;
    EXPECT_EQ(r.results.back().kind, static_cast<uint32_t>(kResultSuccess));
    EXPECT_EQ(StagingLeft(inst.Path("UserData/cache")), std::vector<std::string>{});

    // Folders whose textures the asker compiled are installed as they are, without a word.
    r = InstallFolders({"src/sub"}, kVADInstallTexturesCompiled);
    ASSERT_EQ(r.status, kVADStatusOK);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, static_cast<uint32_t>(kResultSuccess));

    // A description a conversion left aside has its name back in the copy installed, said so; the folder stays.
    WriteFile(inst.Path("src/sub/deep/c.convert-tex.txt"), "Primary=c.png\n");
    r = InstallFolders({"src/sub"});
    ASSERT_EQ(r.status, kVADStatusOK);
    EXPECT_EQ(ReadFile(Local(kSubTextured, "deep/c.texture.txt")), "Primary=c.png\n");
    EXPECT_FALSE(fs::exists(Local(kSubTextured, "deep/c.convert-tex.txt")));
    EXPECT_TRUE(fs::exists(inst.Path("src/sub/deep/c.convert-tex.txt")));
    ASSERT_EQ(r.results.size(), 3u);
    EXPECT_EQ(r.results[1].text.rfind("The texture description '$(FILE_NAME)', left under that name", 0), 0u);
    const std::string params(r.results[1].params.begin(), r.results[1].params.end());
    EXPECT_NE(params.find(inst.Path("src/sub/deep/c.convert-tex.txt")), std::string::npos);
}

TEST_F(DaemonTexturesTest, ACommitCompilesTheEditFolderUnlessTheCommitterDid)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/plain"), nullptr).IsNull());
    for (const bool committerCompiled : {false, true})
    {
        SCOPED_TRACE(committerCompiled);
        VADEditHandle handle;
        ASSERT_TRUE(client.OpenAssetForEdit(handle, kPlain, 1, nullptr));
        Orvo::PString source;
        Orvo::File::Path folder;
        ASSERT_TRUE(client.GetEditFolder(handle, source, folder));
        fs::remove(folder.str() + "/c.texture");
        WriteFile(folder.str() + "/c.texture.txt", "Primary=c.png\n");
        int jobs = 0;
        if (!committerCompiled)
            StartHost([&](const VADJob& job) {
                ++jobs;
                CompileBelow(job.path);
                return HostReply(kResultMessage, "converted", 2);
            });
        RawClient asker;
        ASSERT_TRUE(asker.Connect(inst));
        RawClient::Reply r = asker.Ask(
            VAD_REQ_COMMIT,
            VADEncode(VADHandleOptionRequest{handle.GetId(), committerCompiled ? kVADCommitTexturesCompiled : 0u, 0}));
        if (hostThread.joinable()) hostThread.join();
        ASSERT_EQ(r.status, kVADStatusOK);
        EXPECT_EQ(jobs, committerCompiled ? 0 : 1);
        EXPECT_EQ(fs::exists(Local(kPlain, "c.texture")), !committerCompiled);
        EXPECT_EQ(StagingLeft(inst.Path("UserData/cache")), std::vector<std::string>{});
    }
}

TEST_F(DaemonTexturesTest, TheHostsOwnInstallIsNotHandedBackToIt)
{
    // The host installs while it runs a job: a job for that install would wait on the host itself.
    StartHost([](const VADJob&) { return HostReply(kResultMessage, "", 2); }, 0);
    int32_t status = 0;
    VADBytes body;
    std::vector<VADResultNotification> results;
    ASSERT_TRUE(host.Call(VAD_REQ_INSTALL_FROM_FOLDERS, VADEncode(VADPathListRequest{{inst.Path("src/textured")}, 0}),
                          status, body, &results));
    ASSERT_EQ(status, kVADStatusOK);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, static_cast<uint32_t>(kResultSuccess));
    EXPECT_FALSE(fs::exists(Local(kTextured, "a.texture")));
}

TEST_F(DaemonTexturesTest, AKillAfterTheCompileLeavesTheOldCopyAndNoStaging)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/plain"), nullptr).IsNull());
    // A new version of the installed asset, with a texture.
    WriteAssetFolder(inst.Path("src/plain2"), kPlain, "Plain, second version");
    WriteFile(inst.Path("src/plain2/c.texture.txt"), "Primary=c.png\n");
    RestartAndOpen({"-crashat=compiled"});
    StartHost([](const VADJob& job) {
        CompileBelow(job.path);
        return HostReply(kResultMessage, "converted", 2);
    });
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    asker.SendFrame(VAD_REQ_INSTALL_FROM_FOLDER, 1, VADEncode(VADPathOptionRequest{inst.Path("src/plain2"), 0, 0}));
    ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
    hostThread.join();
    host = RawClient();
    StartAndOpen();
    EXPECT_NE(ReadFile(Local(kPlain, "config.txt")).find("\"Plain\""), std::string::npos);
    EXPECT_FALSE(fs::exists(Local(kPlain, "c.texture.txt")));
    EXPECT_EQ(StagingLeft(inst.Path("UserData/cache")), std::vector<std::string>{});
}

TEST_F(DaemonTexturesTest, PackageTargetsThatCannotBeServedAreRefusedBeforeAnyWork)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/plain"), nullptr).IsNull());
    int jobs = 0;
    StartHost(
        [&](const VADJob&) {
            ++jobs;
            return HostReply(kResultMessage, "", 2);
        },
        0);
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    for (const std::vector<std::string>& targets :
         {std::vector<std::string>{"atc", "pvrtc"}, std::vector<std::string>{"ios", "dxtc", "atc"}})
    {
        VADExportPackageRequest req;
        req.targets = targets;
        req.packagePath = "both";
        req.kuids = {kPlain};
        RawClient::Reply r = asker.Ask(VAD_REQ_EXPORT_PACKAGE, VADEncode(req));
        ASSERT_TRUE(r.answered);
        EXPECT_EQ(r.status, kVADStatusFailed);
        ASSERT_EQ(r.results.size(), 1u);
        EXPECT_EQ(r.results[0].kind, static_cast<uint32_t>(kResultError));
        EXPECT_EQ(r.results[0].text.rfind("The texture targets \"atc\" and ", 0), 0u) << r.results[0].text;
        EXPECT_FALSE(fs::exists(inst.Path("UserData/packages/both.export-partial")));
    }
    EXPECT_EQ(jobs, 0);
}

}  // namespace
