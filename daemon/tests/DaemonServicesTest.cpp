// The command-host broker, archive entries and the download-station mirror against a real daemon.
#include "DaemonHarness.h"

#include "platform/Process.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADFrameIO.h"
#include "core/TFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

const KUID kSample(123456, 1001, 0);

// The command host's reply to a job of `command` (VADHostReply): one result, then the job's answer as given.
VADBytes HostReply(uint32_t command, uint32_t kind, const std::string& text, const VADBytes& answer)
{
    const std::vector<VADResultNotification> results = {{kind, 0, "", KUID::Null(), text, {}}};
    VADWriter w;
    w.U32(command);
    VADPutField(w, results);
    w.Raw(answer.data(), answer.size());
    return w.Take();
}

class DaemonServicesTest : public DaemonTest
{
protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        WriteAssetFolder(inst.Path("UserData/local/kuid 123456 1001"), kSample, "Sample", "kind \"scenery\"\n", 3, 50);
        StartAndOpen();
    }
    void TearDown() override
    {
        DaemonTest::TearDown();
        if (hostThread.joinable()) hostThread.join();
    }

    // Asks a validation of the sample through a connection of its own.
    RawClient::Reply ValidateSample()
    {
        RawClient asker;
        EXPECT_TRUE(asker.Connect(inst));
        return asker.Ask(VAD_REQ_VALIDATE,
                         VADEncode(VADValidateRequest{kSample, "local", inst.Path("UserData/local/kuid 123456 1001")}));
    }

    // Packs the sample, as the daemon hands out its entry, into "pkg.cdp".
    void SaveSamplePackage()
    {
        TDBTagRef entry;
        ASSERT_TRUE(client.GetAssetArchiveEntry(entry, kSample, nullptr, 3));
        ContentArchive archive;
        Orvo::String result;
        ASSERT_TRUE(archive.AddAsset(result, entry));
        ASSERT_TRUE(archive.Save(result, Orvo::File::Path(inst.Path("pkg.cdp"))));
    }

    // A stand-in tool in bin/ that runs this shell script.
    void WriteTool(const std::string& script)
    {
        WriteFile(inst.Path("bin/VelmarUtil"), "#!/bin/sh\n" + script);
        fs::permissions(inst.Path("bin/VelmarUtil"), fs::perms::owner_all);
    }

    // A command host that answers `jobs` jobs through `answer`.
    void StartHost(std::function<VADBytes(const VADJob&)> answer, int jobs = 1)
    {
        ASSERT_TRUE(host.Connect(inst));
        ASSERT_TRUE(host.SendFrame(VAD_REQ_REGISTER_COMMAND_HOST, 0, {}));
        // Registration is asynchronous, and one connection's frames are handled in order: the answer to a
        // keep-alive on the same connection shows it has been handled.
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

    RawClient host;
    std::thread hostThread;
};

TEST_F(DaemonServicesTest, ValidationRunsOnTheCommandHostAndItsVerdictIsKept)
{
    VADJob seen;
    StartHost([&](const VADJob& job) {
        seen = job;
        return HostReply(job.command, 3, "$tet_bad_thing", {0, 0, 0, 0});
    });
    RawClient::Reply r = ValidateSample();
    hostThread.join();
    ASSERT_TRUE(r.answered);
    ASSERT_EQ(r.status, kVADStatusOK);
    EXPECT_EQ(seen.command, static_cast<uint32_t>(VAD_CMDHOST_VALIDATE));
    EXPECT_EQ(seen.path, inst.Path("UserData/local/kuid 123456 1001"));
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, 3u);
    EXPECT_EQ(r.results[0].text, "$tet_bad_thing");
    VADBoolReply passed;
    ASSERT_TRUE(VADDecode(r.body, passed));
    EXPECT_EQ(passed.value, 0);
    EXPECT_TRUE(client.IsAssetFaulty(kSample).ValueOr(true));

    // Paths outside the source's folder never reach the host.
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    for (const std::string& outside : {std::string("../../bin"), inst.Path("bin"), inst.Path("UserData/local")})
    {
        r = asker.Ask(VAD_REQ_VALIDATE, VADEncode(VADValidateRequest{kSample, "local", outside}));
        ASSERT_TRUE(r.answered);
        EXPECT_LT(r.status, 0) << outside;
    }

    // A verdict is kept for the asset whose active copy the folder is: not for another asset named with it.
    host = RawClient();
    StartHost([&](const VADJob& job) { return HostReply(job.command, 1, "checked", {1, 0, 0, 0}); });
    r = asker.Ask(VAD_REQ_VALIDATE, VADEncode(VADValidateRequest{KUID(123456, 1002, 0), "local",
                                                                 inst.Path("UserData/local/kuid 123456 1001")}));
    hostThread.join();
    ASSERT_EQ(r.status, kVADStatusOK);
    ASSERT_TRUE(VADDecode(r.body, passed));
    EXPECT_EQ(passed.value, 1);
    EXPECT_TRUE(client.IsAssetFaulty(kSample).ValueOr(false)) << "the sample's own verdict stands";
}

// A verdict the store cannot keep fails the validation with a reason: the asker must not hear "done" while
// the asset's record says nothing of it.
TEST_F(DaemonServicesTest, AVerdictTheStoreCannotKeepFailsTheValidation)
{
    sqlite3* writer = nullptr;
    StartHost([&](const VADJob& job) {
        // Another writer holds the store as the verdict comes back: the daemon's write waits out its busy
        // time and fails.
        EXPECT_EQ(sqlite3_open(inst.Path("assets.tdx").c_str(), &writer), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
        return HostReply(job.command, 1, "checked", {1, 0, 0, 0});
    });
    RawClient::Reply r = ValidateSample();
    hostThread.join();
    sqlite3_exec(writer, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_FALSE(r.results.empty());
    EXPECT_EQ(r.results.back().kind, 3u);
}

TEST_F(DaemonServicesTest, WithoutAHostOrAToolToStartTheJobFailsWithAReason)
{
    RawClient::Reply r = ValidateSample();
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_NE(r.results[0].text.find("could not be started"), std::string::npos);
}

TEST_F(DaemonServicesTest, TheDaemonStartsTheToolAsItsCommandHostAndGivesUpWhenItDoesNotRegister)
{
    // A stand-in tool that notes its arguments and never registers.
    WriteTool("echo \"$@\" > \"$(dirname \"$0\")/../args.txt\"\nsleep 3\n");
    RestartAndOpen({"-hostwait=300"});

    RawClient::Reply r = ValidateSample();
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_NE(r.results[0].text.find("no command host registered within 300 ms"), std::string::npos);
    EXPECT_EQ(ReadFile(inst.Path("args.txt")), "vadcommandhost -nostartvaddaemon\n");
}

TEST_F(DaemonServicesTest, AStartedHostThatEndsAtOnceFailsTheJobWithoutWaitingOut)
{
    // A stand-in tool that ends at once; the daemon keeps its full start wait of 30 s.
    WriteTool("exit 3\n");
    RawClient::Reply r = ValidateSample();
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_NE(r.results[0].text.find("ended (exit code 3) before it registered"), std::string::npos)
        << r.results[0].text;

    // The next job starts a host again rather than remembering the failure.
    WriteTool("exit 4\n");
    r = ValidateSample();
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_NE(r.results[0].text.find("exit code 4"), std::string::npos) << r.results[0].text;
}

// A package install starts the command host as soon as it sees a package, before checking it, and the job waits
// for that host rather than starting a second; a file that is no package starts none.
TEST_F(DaemonServicesTest, APackageInstallStartsItsHostAheadOnce)
{
    ASSERT_NO_FATAL_FAILURE(SaveSamplePackage());
    WriteFile(inst.Path("junk.cdp"), "not a package");
    // A stand-in tool that notes each start and ends without registering.
    WriteTool("echo started >> \"$(dirname \"$0\")/../starts.txt\"\nsleep 1\nexit 6\n");
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    auto install = [&](const std::string& file) {
        return asker.Ask(VAD_REQ_INSTALL_ARCHIVE, VADEncode(VADPathOptionRequest{inst.Path(file), 2, 0}));
    };
    RawClient::Reply r = install("junk.cdp");
    EXPECT_LT(r.status, 0);
    EXPECT_FALSE(fs::exists(inst.Path("starts.txt")));

    // Nor does a pipe standing at the name, which is not waited on either.
    ASSERT_EQ(::mkfifo(inst.Path("pipe.cdp").c_str(), 0600), 0);
    r = install("pipe.cdp");
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    EXPECT_FALSE(fs::exists(inst.Path("starts.txt")));

    r = install("pkg.cdp");
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    bool said = false;
    for (const auto& note : r.results)
        said = said || note.text.find("ended (exit code 6) before it registered") != std::string::npos;
    EXPECT_TRUE(said);
    EXPECT_EQ(ReadFile(inst.Path("starts.txt")), "started\n");
}

TEST_F(DaemonServicesTest, ArchiveEntriesAndArchiveInstallThroughTheHost)
{
    TDBTagRef entry;
    ASSERT_TRUE(client.GetAssetArchiveEntry(entry, kSample, nullptr, 3));
    EXPECT_EQ(entry.GetChildKUID("kuid"), kSample);
    // The config's tags keep their order ahead of the archive keys.
    std::vector<std::string> names;
    for (size_t i = 0; i < entry.GetChildCount(); ++i) names.emplace_back(entry.GetChildName(i).c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"kuid", "username", "kind", "files", "compression", "dsid"}));
    EXPECT_TRUE(CheckArchiveEntryDSID(entry));
    EXPECT_EQ(GetArchiveEntryFiles(entry).GetChildContainer("data").GetChildCount(), 3u);

    ContentArchive archive;
    Orvo::String result;
    ASSERT_TRUE(archive.AddAsset(result, entry));
    ASSERT_TRUE(archive.Save(result, Orvo::File::Path(inst.Path("pkg.cdp"))));

    ArchiveJobContents handed;
    uint32_t jobCommand = 99;
    StartHost([&](const VADJob& job) {
        jobCommand = job.command;
        Orvo::String reason;
        ReadArchiveJobFile(Orvo::File::Path(job.path), job.archiveId, handed, reason);
        VADWriter answer;
        answer.KuidList(handed.kuids);
        return HostReply(job.command, 4, "$vad_installed", answer.Take());
    });
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    auto install = [&](const std::string& file) {
        return asker.Ask(VAD_REQ_INSTALL_ARCHIVE, VADEncode(VADPathOptionRequest{inst.Path(file), 2, 0}));
    };
    RawClient::Reply r = install("pkg.cdp");
    hostThread.join();
    ASSERT_TRUE(r.answered);
    ASSERT_EQ(r.status, kVADStatusOK);
    EXPECT_EQ(jobCommand, static_cast<uint32_t>(VAD_CMDHOST_ARCHIVE_INSTALL));
    ASSERT_EQ(handed.kuids, std::vector<KUID>{kSample});
    EXPECT_TRUE(CheckArchiveEntryDSID(handed.entries[0]));
    VADBoolReply all;
    ASSERT_TRUE(VADDecode(r.body, all));
    EXPECT_EQ(all.value, 1);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].text, "$vad_installed");

    // A file that is no archive is refused before any job.
    WriteFile(inst.Path("junk.cdp"), "not a package");
    r = install("junk.cdp");
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.results[0].text, "$vad_unreadable_cdp");
    EXPECT_EQ(r.results[1].kind, 3u);
    EXPECT_EQ(r.results[1].text, "Content could not be read, as the file is not a valid CDP");

    // A cut archive is damaged, and the reason says so.
    std::string bytes = ReadFile(inst.Path("pkg.cdp"));
    WriteFile(inst.Path("cut.cdp"), bytes.substr(0, bytes.size() - 9));
    r = install("cut.cdp");
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.results[1].text, "Content could not be read, as the CDP file is damaged");
}

// A package install and a delete of the same asset do not interleave: while the install runs the delete is
// refused with a reason, and the install is whole. A package whose assets were not all installed says so with
// an error. An asset open for editing is refused before any job: its edit is its user's work, kept as it is.
TEST_F(DaemonServicesTest, APackageInstallIsNotLostToADeleteNorLosesAnEdit)
{
    ASSERT_NO_FATAL_FAILURE(SaveSamplePackage());

    RawClient::Reply deleted;
    for (bool installs : {true, false})
    {
        StartHost([&](const VADJob& job) {
            RawClient other;
            EXPECT_TRUE(other.Connect(inst));
            deleted = other.Ask(VAD_REQ_DELETE, VADEncode(VADKuidFlagRequest{kSample, 1}));
            VADWriter answer;
            answer.KuidList(installs ? std::vector<KUID>{kSample} : std::vector<KUID>{});
            return HostReply(job.command, 4, "$vad_installed", answer.Take());
        });
        RawClient asker;
        ASSERT_TRUE(asker.Connect(inst));
        RawClient::Reply r =
            asker.Ask(VAD_REQ_INSTALL_ARCHIVE, VADEncode(VADPathOptionRequest{inst.Path("pkg.cdp"), 2, 0}));
        hostThread.join();
        host = RawClient();
        ASSERT_EQ(r.status, kVADStatusOK);
        EXPECT_LT(deleted.status, 0);
        ASSERT_EQ(deleted.results.size(), 1u);
        EXPECT_NE(deleted.results[0].text.find("being installed"), std::string::npos);
        VADAssetInfo info;
        EXPECT_TRUE(client.GetAssetInfo(kSample, info));
        ASSERT_FALSE(r.results.empty());
        EXPECT_EQ(r.results.back().kind, installs ? 4u : 3u);
    }

    {
        VADEditHandle h;
        ASSERT_TRUE(client.OpenAssetForEdit(h, kSample, 1));
    }
    WriteFile(inst.Path("UserData/editing/kuid 123456 1001/draft.txt"), "draft");
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    RawClient::Reply r =
        asker.Ask(VAD_REQ_INSTALL_ARCHIVE, VADEncode(VADPathOptionRequest{inst.Path("pkg.cdp"), 2, 0}));
    ASSERT_EQ(r.status, kVADStatusOK);
    // The refusal naming the asset and the count of what was not installed; no job went to a host.
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.results[0].kind, 3u);
    EXPECT_EQ(r.results[0].text, "$vad_prompt_openforedit_log");
    EXPECT_EQ(r.results[0].source, kSample);
    EXPECT_EQ(r.results[1].kind, 3u);
    EXPECT_EQ(ReadFile(inst.Path("UserData/editing/kuid 123456 1001/draft.txt")), "draft");
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsOpenForEdit());
}

// The host may stage the package's assets that the database knows nothing of in a folder the daemon makes
// for the job (its owner's only) and removes afterwards; the assets it knows are not among them.
TEST_F(DaemonServicesTest, NewAssetsOfAPackageAreOfferedAStagingFolderThatGoesAfterTheJob)
{
    const KUID fresh(123456, 1002, 0);
    TDBTagRef known, unknown;
    ASSERT_TRUE(client.GetAssetArchiveEntry(known, kSample, nullptr, 3));
    ASSERT_TRUE(client.GetAssetArchiveEntry(unknown, kSample, nullptr, 3));
    unknown.SetChildKUID("kuid", fresh);
    ContentArchive archive;
    Orvo::String result;
    ASSERT_TRUE(archive.AddAsset(result, known));
    ASSERT_TRUE(archive.AddAsset(result, unknown));
    ASSERT_TRUE(archive.Save(result, Orvo::File::Path(inst.Path("pkg.cdp"))));

    VADJob seen;
    fs::perms perms = fs::perms::unknown;
    StartHost([&](const VADJob& job) {
        seen = job;
        perms = fs::status(job.staging).permissions();
        VADWriter answer;
        answer.KuidList({});
        return HostReply(job.command, 4, "nothing", answer.Take());
    });
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    RawClient::Reply r =
        asker.Ask(VAD_REQ_INSTALL_ARCHIVE, VADEncode(VADPathOptionRequest{inst.Path("pkg.cdp"), 2, 0}));
    hostThread.join();
    ASSERT_EQ(r.status, kVADStatusOK);
    EXPECT_EQ(seen.kuids, (std::vector<KUID>{kSample, fresh}));
    EXPECT_EQ(seen.unknown, std::vector<KUID>{fresh});
    EXPECT_EQ(fs::path(seen.staging).parent_path(), fs::path(inst.Path("UserData/cache")));
    EXPECT_EQ(perms, fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(seen.staging));
}

TEST_F(DaemonServicesTest, ExportPackageConvertsEachCopyAndSavesTheArchive)
{
    std::vector<VADJob> jobs;
    StartHost(
        [&](const VADJob& job) {
            jobs.push_back(job);
            VADWriter answer;
            if (job.command == VAD_CMDHOST_TEXTURECONVERT)
                answer.U32(2);
            else if (job.command == VAD_CMDHOST_ARCHIVE_SAVETODISK)
            {
                // The host writes the job file from the assets' entries.
                ArchiveJobContents contents;
                for (const KUID& k : job.kuids)
                {
                    TDBTagRef entry;
                    Orvo::String reason;
                    MakeArchiveEntryFromFolder(
                        entry, Orvo::File::Path(inst.Path("UserData/local/" + k.ToSpacedString())), false, reason);
                    contents.kuids.push_back(k);
                    contents.entries.push_back(entry);
                }
                TFile f(job.path, TFile::kWrite);
                WriteArchiveJobHeader(f, job.archiveId);
                WriteArchiveJobBody(f, contents);
                FinishArchiveJobHeader(f);
                answer.U32(1);
            }
            return HostReply(job.command, 1, "done", answer.Take());
        },
        2);
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    VADExportPackageRequest req;
    req.targets = {"dxt", "etc"};
    req.packagePath = "/anywhere/../mypack.cdp";
    req.dependencies = {"base-pack"};
    req.kuids = {kSample};
    RawClient::Reply r = asker.Ask(VAD_REQ_EXPORT_PACKAGE, VADEncode(req));
    hostThread.join();
    ASSERT_TRUE(r.answered);
    ASSERT_EQ(r.status, kVADStatusOK);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].command, static_cast<uint32_t>(VAD_CMDHOST_TEXTURECONVERT));
    EXPECT_EQ(jobs[0].targets, "dxt;etc");
    // The package is made aside and put in place whole once it is complete.
    EXPECT_EQ(jobs[0].path, inst.Path("UserData/packages/mypack.export-partial/kuid 123456 1001"));
    EXPECT_FALSE(fs::exists(inst.Path("UserData/packages/mypack.export-partial")));
    EXPECT_EQ(jobs[1].command, static_cast<uint32_t>(VAD_CMDHOST_ARCHIVE_SAVETODISK));
    EXPECT_EQ(r.results.size(), 2u);

    ContentArchive archive;
    Orvo::String result;
    ASSERT_TRUE(archive.Load(result, "", inst.Path("UserData/packages/mypack/mypack.cdp"))) << result.c_str();
    ASSERT_EQ(archive.GetAssetCount(), 1u);
    EXPECT_EQ(archive.GetAssetAt(0).GetChildKUID("kuid"), kSample);
    EXPECT_NE(ReadFile(inst.Path("UserData/packages/mypack/package.txt")).find("base-pack"), std::string::npos);
    EXPECT_TRUE(
        fs::exists(inst.Path("UserData/local/kuid 123456 1001/config.txt")));  // the installed copy is untouched

    // A name that is no plain name is refused.
    req.packagePath = "..";
    r = asker.Ask(VAD_REQ_EXPORT_PACKAGE, VADEncode(req));
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
}

TEST_F(DaemonServicesTest, ExportPackageFailsWhenTexturesAreNotAllConverted)
{
    // 0: a texture failed; 1: the conversion stopped early; a reply without the answer at all, which is no
    // reply to the job (its results are not taken either: the reason is the daemon's).
    for (const VADBytes& answer : {VADBytes{0, 0, 0, 0}, VADBytes{1, 0, 0, 0}, VADBytes{}})
    {
        std::vector<VADJob> jobs;
        StartHost([&](const VADJob& job) {
            jobs.push_back(job);
            return HostReply(job.command, 3, "a texture failed", answer);
        });
        RawClient asker;
        ASSERT_TRUE(asker.Connect(inst));
        VADExportPackageRequest req;
        req.targets = {"dxt"};
        req.packagePath = "failing";
        req.kuids = {kSample};
        RawClient::Reply r = asker.Ask(VAD_REQ_EXPORT_PACKAGE, VADEncode(req));
        hostThread.join();
        host = RawClient();
        ASSERT_TRUE(r.answered);
        EXPECT_LT(r.status, 0);
        ASSERT_EQ(jobs.size(), 1u) << "no archive is saved after a failed conversion";
        EXPECT_FALSE(fs::exists(inst.Path("UserData/packages/failing/failing.cdp")));
        if (answer.empty())
        {
            ASSERT_EQ(r.results.size(), 1u);
            EXPECT_EQ(r.results[0].kind, 3u);
            EXPECT_NE(r.results[0].text.find("answer could not be read"), std::string::npos) << r.results[0].text;
            continue;
        }
        ASSERT_EQ(r.results.size(), 2u);
        EXPECT_EQ(r.results[0].text, "a texture failed");
        EXPECT_EQ(r.results[1].kind, 3u);
        EXPECT_EQ(r.results[1].source, kSample);
    }
}

TEST_F(DaemonServicesTest, APackageNameTooLongForTheFileSystemIsAnErrorNotTheEnd)
{
    RawClient asker;
    ASSERT_TRUE(asker.Connect(inst));
    VADExportPackageRequest req;
    req.packagePath = "/somewhere/" + std::string(300, 'p') + ".cdp";
    req.kuids = {kSample};
    RawClient::Reply r = asker.Ask(VAD_REQ_EXPORT_PACKAGE, VADEncode(req));
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_FALSE(r.results.empty());
    EXPECT_EQ(r.results[0].kind, 3u);
    EXPECT_EQ(asker.Ask(VAD_REQ_KEEPALIVE, {}).status, kVADStatusOK);
}

TEST_F(DaemonServicesTest, FolderCheckRefusesUnsafeNamesAndForeignPaths)
{
    const Orvo::File::Path sample(inst.Path("UserData/local/kuid 123456 1001"));
    EXPECT_TRUE(client.CheckAssetFolder("local", sample, nullptr).ValueOr(false));
    WriteFile(inst.Path("UserData/local/kuid 123456 1001/bad..name"), "x");
    EXPECT_FALSE(client.CheckAssetFolder("local", sample, nullptr).ValueOr(false));
    EXPECT_FALSE(client.CheckAssetFolder("local", Orvo::File::Path("/etc"), nullptr).ValueOr(false));
    EXPECT_FALSE(client.CheckAssetFolder("nowhere", Orvo::File::Path("x"), nullptr).ValueOr(false));
}

TEST_F(DaemonServicesTest, DownloadStationMirrorAndAnalytics)
{
    std::string mirror = inst.Path("mirror");
    WriteFile(mirror + "/index.txt", "assets {\n  0 {\n    kuid <kuid2:123456:1001:2>\n    package \"v2.cdp\"\n  }\n"
                                     "  1 {\n    kuid <kuid2:123456:1001:1>\n    package \"v1.cdp\"\n  }\n}\n");
    WriteFile(mirror + "/packages/v2.cdp", "package bytes");
    TDBTagRef internet = TDBTagRef::NewContainer();
    internet.SetChildString("dls-mirror", mirror);
    ASSERT_TRUE(client.SetSettingsGroup("internet", internet));

    EXPECT_EQ(client.GetDownloadStationLatestKUID(kSample).ValueOr(KUID::Null()), KUID(123456, 1001, 2));
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsOnDownloadStation());
    EXPECT_TRUE(client.GetDownloadStationLatestKUID(KUID(5, 5, 0)).ValueOr(KUID::Null()).IsNull());

    VADRequestId id;
    VADRequestReply reply;
    ASSERT_TRUE(connection.BeginWebRequest(VAD_REQ_RESOLVE_PACKAGE, VADEncode(VADKuidRequest{kSample}), id));
    ASSERT_TRUE(connection.WaitWebRequest(id, reply, 10000));
    EXPECT_EQ(reply.result[0], 0u);
    EXPECT_EQ(reply.path.str(), mirror + "/packages/v2.cdp");

    VADWriter dl;
    dl.String(mirror + "/packages/v2.cdp");
    dl.String(inst.Path("UserData/cache/dl"));
    ASSERT_TRUE(connection.BeginWebRequest(VAD_REQ_DOWNLOAD, dl.Take(), id));
    ASSERT_TRUE(connection.WaitWebRequest(id, reply, 10000));
    EXPECT_EQ(reply.result[0], 0u);
    EXPECT_EQ(ReadFile(inst.Path("UserData/cache/dl/v2.cdp")), "package bytes");

    // Nothing but the mirror's own package files is served (no link out of it, nothing beside them),
    // nothing is written outside the user data, and names too long for the file system are refused.
    WriteFile(mirror + "/secret.txt", "not a package");
    std::filesystem::create_symlink(inst.Path("bin/VADDaemon"), mirror + "/packages/link.cdp");
    const std::string tooLong(300, 'n');
    for (auto [from, to] :
         {std::pair<std::string, std::string>{inst.Path("bin/VADDaemon"), inst.Path("UserData/cache")},
          {mirror + "/packages/link.cdp", inst.Path("UserData/cache")},
          {mirror + "/packages/../secret.txt", inst.Path("UserData/cache")},
          {mirror + "/index.txt", inst.Path("UserData/cache")},
          {mirror + "/packages/" + tooLong, inst.Path("UserData/cache")},
          {mirror + "/packages/v2.cdp", inst.Path("UserData/cache/" + tooLong)},
          {mirror + "/packages/v2.cdp", inst.Path("bin")},
          {mirror + "/packages/v2.cdp", inst.Path("UserData/local/kuid 123456 1001")}})
    {
        VADWriter w;
        w.String(from);
        w.String(to);
        ASSERT_TRUE(connection.BeginWebRequest(VAD_REQ_DOWNLOAD, w.Take(), id));
        ASSERT_TRUE(connection.WaitWebRequest(id, reply, 10000));
        EXPECT_NE(reply.result[0], 0u);
        std::error_code ec;
        EXPECT_FALSE(std::filesystem::exists(to + "/" + std::filesystem::path(from).filename().string(), ec)) << to;
    }
    // A mirror set to the root of the file system serves none of its files.
    internet.SetChildString("dls-mirror", "/");
    ASSERT_TRUE(client.SetSettingsGroup("internet", internet));
    VADWriter passwd;
    passwd.String("/etc/passwd");
    passwd.String(inst.Path("UserData/cache"));
    ASSERT_TRUE(connection.BeginWebRequest(VAD_REQ_DOWNLOAD, passwd.Take(), id));
    ASSERT_TRUE(connection.WaitWebRequest(id, reply, 10000));
    EXPECT_NE(reply.result[0], 0u);
    EXPECT_FALSE(std::filesystem::exists(inst.Path("UserData/cache/passwd")));

    // An index naming a package too long for the file system: a plain "no package", the daemon goes on.
    internet.SetChildString("dls-mirror", mirror);
    ASSERT_TRUE(client.SetSettingsGroup("internet", internet));
    WriteFile(mirror + "/index.txt",
              "assets {\n  0 {\n    kuid <kuid2:123456:1001:3>\n    package \"" + tooLong + ".cdp\"\n  }\n}\n");
    ASSERT_TRUE(connection.BeginWebRequest(VAD_REQ_RESOLVE_PACKAGE, VADEncode(VADKuidRequest{kSample}), id));
    ASSERT_TRUE(connection.WaitWebRequest(id, reply, 10000));
    EXPECT_NE(reply.result[0], 0u);
    EXPECT_TRUE(Platform::IsProcessAlive(inst.DaemonPid()));

    ASSERT_TRUE(client.SendAnalyticsHit("patch-success", "from:1 to:2\nmin:3"));
    EXPECT_EQ(client.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);  // a round trip: the hit has been handled
    std::string log = ReadFile(inst.Path("UserData/cache/analytics.log"));
    EXPECT_NE(log.find("\tpatch-success\tfrom:1 to:2 min:3\n"), std::string::npos);
}

}  // namespace
