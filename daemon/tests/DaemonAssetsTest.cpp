// Assets through the client library against a real daemon: install, query, info, edit across processes,
// commit with backups, revert, create, delete and repair.
#include "DaemonHarness.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADFrameIO.h"
#include "core/ConfigFile.h"
#include "daemon/FolderOps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const KUID kSample(123456, 1001, 0);

std::vector<KUID> ToVector(const ChunkedList<KUID>& list)
{
    std::vector<KUID> out;
    for (const KUID& k : list) out.push_back(k);
    return out;
}
const KUID kBuiltin(-3, 200, 127);

class DaemonAssetsTest : public DaemonTest
{
protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        WriteAssetFolder(inst.Path("builtin/core/loco"), kBuiltin, "Built-in Loco",
                         "kind \"traincar\"\ncategory-class \"TR;LOC\"\n");
        WriteAssetFolder(inst.Path("source/sample"), kSample, "Sample Coach",
                         "kind \"traincar\"\ncategory-class \"TV\"\ncategory-region \"GB\"\n"
                         "velmar-build 4.6\nauthor \"Sam Ple\"\n"
                         "kuid-table {\n  0 <kuid:-3:200>\n  1 <kuid:77:5>\n}\n",
                         2, 100);
        StartAndOpen();
    }
    std::vector<KUID> Query(const VADFilterElementGroup& g)
    {
        ChunkedList<KUID> list;
        (void)client.QueryAssets(g, list);  // a failed query leaves the list empty, which the tests see
        return ToVector(list);
    }
    std::vector<KUID> QueryCategory(const std::string& pattern)
    {
        VADFilterElementGroup g;
        g.Add(new VADFilterElementString(VAD_FIELD_CATEGORY_LIST, pattern));
        return Query(g);
    }
    // Runs fn in a child process with its own daemon connection; true when it succeeded.
    bool InChildProcess(const std::function<bool()>& fn)
    {
        connection.Close();
        pid_t pid = fork();
        if (pid == 0) _exit(Open() && fn() ? 0 : 1);
        int st = 0;
        waitpid(pid, &st, 0);
        return Open() && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    }
};

TEST_F(DaemonAssetsTest, InstallQueryAndInfo)
{
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    auto install = [&](const std::string& folder) {
        return raw.Ask(VAD_REQ_INSTALL_FROM_FOLDER, VADEncode(VADPathOptionRequest{inst.Path(folder), 0, 0}));
    };
    RawClient::Reply r = install("source/sample");
    ASSERT_TRUE(r.answered);
    ASSERT_EQ(r.status, kVADStatusOK);
    VADKuidReply installed;
    ASSERT_TRUE(VADDecode(r.body, installed));
    EXPECT_EQ(installed.kuid, kSample);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, 4u);
    EXPECT_EQ(r.results[0].text, "$vad_installed");
    EXPECT_EQ(ReadFile(inst.Path("UserData/local/kuid 123456 1001/data/file1.bin")), std::string(100, 'x'));

    EXPECT_EQ(QueryCategory("TV;GB"), std::vector<KUID>{kSample});
    EXPECT_EQ(QueryCategory("TR;LOC|TV"), (std::vector<KUID>{kSample, kBuiltin}));  // unsigned KUID order
    EXPECT_EQ(QueryCategory("TR;-LOC"), std::vector<KUID>{});
    VADFilterElementGroup builtinOnly;
    builtinOnly.Add(new VADFilterElementBool(VAD_FIELD_BUILTIN));
    EXPECT_EQ(Query(builtinOnly), std::vector<KUID>{kBuiltin});
    VADFilterElementGroup notBuiltin(builtinOnly);
    notBuiltin.SetNegated(true);
    EXPECT_EQ(Query(notBuiltin), std::vector<KUID>{kSample});

    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsValid());
    EXPECT_TRUE(info.IsInstalled());
    EXPECT_FALSE(info.IsBuiltin());
    EXPECT_EQ(info.username, "Sample Coach");
    EXPECT_EQ(std::string(info.kind.c_str()), "traincar");
    EXPECT_NEAR(info.build, 4.6f, 1e-4);
    EXPECT_TRUE(info.flags2 & VAD_INFO2_MISSING_DEPENDENCIES);  // <kuid:77:5> is not there
    EXPECT_TRUE(client.AssetHasMissingDependencies(kSample, true).ValueOr(true));
    ChunkedList<KUID> deps;
    ASSERT_TRUE(client.GetAssetDependencies(kSample, deps));
    EXPECT_EQ(ToVector(deps), (std::vector<KUID>{kBuiltin, KUID(77, 5, 0)}));
    ASSERT_TRUE(client.GetAssetInfo(kBuiltin, info));
    EXPECT_TRUE(info.IsBuiltin());
    EXPECT_FALSE(client.GetAssetInfo(KUID(1, 2, 0), info));

    TDBTagRef config;
    ASSERT_TRUE(client.GetAssetConfig(config, kSample, 0));
    EXPECT_EQ(std::string(config.GetChildString("username").View()), "Sample Coach");
    Orvo::PString author;
    EXPECT_TRUE(client.GetAuthorName(123456, author));
    EXPECT_EQ(std::string(author.c_str()), "Sam Ple");
    EXPECT_TRUE(client.IsValidKUIDUserId(123456).ValueOr(false));
    EXPECT_FALSE(client.IsValidKUIDUserId(999999).ValueOr(false));
    EXPECT_EQ(std::string(client.ListBuilds().ValueOr(Orvo::String()).c_str()), "0.0,4.6");

    // Keywords and favourites persist in the store.
    EXPECT_TRUE(client.SetAssetKeywords(kSample, "red coach"));
    EXPECT_EQ(std::string(client.GetAssetKeywords(kSample).ValueOr(Orvo::String()).c_str()), "red coach");

    // An unreadable folder is refused with the key the tool knows.
    fs::create_directories(inst.Path("source/empty"));
    r = install("source/empty");
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].text, "$vad_unable_read_config_at");
    // So are the daemon's own folders.
    r = install("UserData/local/kuid 123456 1001");
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
}

TEST_F(DaemonAssetsTest, ConfigurationsInAnyCaseInstallAndBrokenOnesSayWhere)
{
    // A configuration file named in another case is the folder's configuration.
    const KUID upper(123456, 1003, 0);
    fs::create_directories(inst.Path("source/upper"));
    WriteFile(inst.Path("source/upper/CONFIG.TXT"), "kuid " + upper.ToString() + "\nusername \"Upper\"\n");
    ASSERT_EQ(InstalledKUID(client, inst.Path("source/upper"), nullptr), upper);
    EXPECT_TRUE(fs::exists(inst.Path("UserData/local/kuid 123456 1003/CONFIG.TXT")));

    auto lastText = [](const ResultsLog& log) {
        std::vector<ResultsLog::Result> r = log.GetResults();
        return r.empty() ? std::string() : std::string(r.back().text.View());
    };
    // A syntax error is reported with its file and line, not as a missing configuration.
    WriteFile(inst.Path("source/broken/config.txt"), "kuid <kuid:123456:1004>\nusername \"Broken\"\ntags {\n");
    ResultsLog install;
    EXPECT_TRUE(InstalledKUID(client, inst.Path("source/broken"), &install).IsNull());
    EXPECT_EQ(install.ErrorCount(), 1u);
    EXPECT_NE(lastText(install).find("'" + inst.Path("source/broken/config.txt") + "' line 3"), std::string::npos)
        << lastText(install);

    // So is one in a configuration being committed; the edit stays open.
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    VADEditHandle h;
    ASSERT_TRUE(client.OpenAssetForEdit(h, kSample, 1));
    std::string edited = inst.Path("UserData/editing/kuid 123456 1001/config.txt");
    WriteFile(edited, "kuid <kuid:123456:1001>\nusername \"Renamed\n");
    ResultsLog commit;
    EXPECT_FALSE(client.CommitAsset(h, 0, &commit));
    EXPECT_NE(lastText(commit).find("'" + edited + "' line 2"), std::string::npos) << lastText(commit);
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    EXPECT_EQ(info.username, "Sample Coach");
}

TEST_F(DaemonAssetsTest, DescriptionThumbnailObsoletesAndFavourite)
{
    WriteAssetFolder(inst.Path("source/newer"), KUID(123456, 1002, 0), "Newer Coach",
                     "description \"A coach of the fifties.\"\nthumbnails {\n  0 {\n    image \"pics/t.jpg\"\n  }\n}\n"
                     "obsolete-table {\n  0 <kuid:123456:1001>\n}\n");
    WriteFile(inst.Path("source/newer/pics/t.jpg"), "jpeg");
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/newer"), nullptr).IsNull());
    const KUID newer(123456, 1002, 0);

    EXPECT_EQ(std::string(client.GetAssetDescription(newer).ValueOr(Orvo::String()).c_str()),
              "A coach of the fifties.");
    EXPECT_EQ(std::string(client.GetAssetDescription(KUID(1, 2, 0)).ValueOr(Orvo::String()).c_str()), "");
    Orvo::PString name;
    Orvo::File::Path path;
    Orvo::String text;
    ASSERT_TRUE(client.GetAssetThumbnail(newer, 240, name, path, text));
    EXPECT_EQ(std::string(name.c_str()), "t.jpg");
    EXPECT_EQ(ReadFile(path.str()), "jpeg");
    EXPECT_FALSE(client.GetAssetThumbnail(kSample, 240, name, path, text)) << "no thumbnail file";
    EXPECT_TRUE(path.IsEmpty());

    std::set<KUID> obsoleted;
    ASSERT_TRUE(client.GetAssetObsoletes(newer, obsoleted));
    EXPECT_EQ(obsoleted, std::set<KUID>{kSample});
    VADFilterElementGroup obsolete;
    obsolete.Add(new VADFilterElementBool(VAD_FIELD_OBSOLETE));
    EXPECT_EQ(Query(obsolete), std::vector<KUID>{kSample});

    // Favourites are sent without reply and then confirmed: the call says what the daemon made of the mark.
    EXPECT_TRUE(client.SetAssetFavorite(kSample, 1));
    EXPECT_EQ(client.SetAssetFavorite(KUID(1, 2, 0), 1).Code(), kVADStatusNotFound);  // an asset it does not know
    EXPECT_EQ(client.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
    EXPECT_TRUE(connection.Connected());
}

// Keywords and marks sent without reply, all waiting on the link at once: carried out in the order sent (a request
// of another kind among them handled in its turn), and each one's outcome told by the confirm by its ordinal.
TEST_F(DaemonAssetsTest, MarksWaitingTogetherAreCarriedOutInOrderEachWithItsOutcome)
{
    ASSERT_EQ(InstalledKUID(client, inst.Path("source/sample"), nullptr), kSample);
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    VADBytes frames;
    auto add = [&](uint32_t code, uint32_t id, const VADBytes& payload) {
        const VADBytes f = VADEncodeFrame(code, id, payload);
        frames.insert(frames.end(), f.begin(), f.end());
    };
    add(VAD_REQ_SET_KEYWORDS, 0, VADEncode(VADKuidTextRequest{kSample, "first"}));         // 1
    add(VAD_REQ_SET_KEYWORDS, 0, VADEncode(VADKuidTextRequest{KUID(1, 2, 0), "nobody"}));  // 2: not known
    add(VAD_REQ_SET_KEYWORDS, 0, VADBytes{1, 2, 3});                                       // 3: no such payload
    add(VAD_REQ_FAVOURITE, 0, VADEncode(VADKuidFlagRequest{kSample, 1}));                  // 4
    add(VAD_REQ_GET_KEYWORDS, 7, VADEncode(VADKuidRequest{kSample}));
    add(VAD_REQ_SET_KEYWORDS, 0, VADEncode(VADKuidTextRequest{kSample, "second"}));  // 5
    add(VAD_REQ_CONFIRM_SENT, 8, VADEncode(VADConfirmSentRequest{2}));
    ASSERT_TRUE(raw.SendRaw(frames.data(), frames.size()));
    auto answer = [&](uint32_t code, uint32_t id, VADBytes& body) {
        for (;;)
        {
            VADFrameHeader h;
            VADBytes p;
            int32_t status = kVADStatusFailed;
            if (VADReceiveFrame(raw.Socket(), h, p, 60000) != VADFrameRead::kOk) return false;
            if (h.code == (code | kVADReplyBit) && h.transaction == id)
                return VADDecodeReplyPayload(p, status, body) && status == kVADStatusOK;
        }
    };
    VADBytes body;
    VADTextReply text;
    ASSERT_TRUE(answer(VAD_REQ_GET_KEYWORDS, 7, body) && VADDecode(body, text));
    EXPECT_EQ(text.text, "first");
    VADConfirmSentReply confirmed;
    ASSERT_TRUE(answer(VAD_REQ_CONFIRM_SENT, 8, body) && VADDecode(body, confirmed));
    EXPECT_EQ(confirmed.handled, 5u);
    EXPECT_EQ(confirmed.failed,
              (std::vector<std::pair<uint64_t, int32_t>>{{2, kVADStatusNotFound}, {3, kVADStatusBadPayload}}));
    EXPECT_EQ(client.GetAssetKeywords(kSample).ValueOr(Orvo::String()).str(), "second");
}

TEST_F(DaemonAssetsTest, GeneratedKUIDsFollowTheHintAndSkipTakenContentIds)
{
    KUID first = NewKUID(client);
    ASSERT_FALSE(first.IsNull());
    // A version 2 of the next content id is installed: that content id is taken too.
    KUID taken(first.userId, first.contentId + 1, 2);
    WriteAssetFolder(inst.Path("source/taken"), taken, "Taken");
    ASSERT_EQ(InstalledKUID(client, inst.Path("source/taken"), nullptr), taken);
    EXPECT_EQ(NewKUID(client), KUID(first.userId, first.contentId + 2, 0));

    ASSERT_TRUE(client.SetNextContentID(5000));
    EXPECT_EQ(NewKUID(client), KUID(first.userId, 5000, 0));
    EXPECT_EQ(NewKUID(client), KUID(first.userId, 5001, 0));

    // With every content id taken the answer is an error that says so, not a made-up KUID.
    ASSERT_TRUE(client.SetNextContentID(INT32_MAX));
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    RawClient::Reply r = raw.Ask(VAD_REQ_GENERATE_KUID, {});
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, 3u);
}

TEST_F(DaemonAssetsTest, EditOpenedInOneProcessIsCommittedInAnother)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    std::string editFolder = inst.Path("UserData/editing/kuid 123456 1001");

    ASSERT_TRUE(InChildProcess([&] {
        VADEditHandle h;
        if (!client.OpenAssetForEdit(h, kSample, 1)) return false;
        Orvo::PString name;
        Orvo::File::Path folder;
        if (!client.GetEditFolder(h, name, folder) || folder.str() != editFolder) return false;
        WriteFile(editFolder + "/config.txt", "kuid <kuid:123456:1001>\nusername \"Renamed Coach\"\n");
        return true;
    }));
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    EXPECT_EQ(info.username, "Sample Coach");  // the installed copy is unchanged until the commit

    VADEditHandle h;
    ASSERT_TRUE(client.OpenAssetForEdit(h, kSample, 0));  // finds the open edit
    uint8_t out = 0;
    ASSERT_TRUE(client.CommitAsset(h, 0, nullptr, &out));
    EXPECT_EQ(out, 1);
    h.Release();

    EXPECT_NE(ReadFile(inst.Path("UserData/local/kuid 123456 1001/config.txt")).find("Renamed Coach"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(editFolder));
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_FALSE(info.IsOpenForEdit());
    EXPECT_EQ(info.username, "Renamed Coach");
    std::vector<std::string> backups = ListBackupFolders(inst.Path("UserData/backups"));
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(
        ReadFile(inst.Path("UserData/backups/" + backups[0] + "/kuid 123456 1001/config.txt")).find("Sample Coach"),
        std::string::npos);
}

TEST_F(DaemonAssetsTest, RevertDiscardsAndEditsSurviveARestart)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    VADEditHandle h;
    ASSERT_TRUE(client.OpenAssetForEdit(h, kSample, 1));
    WriteFile(inst.Path("UserData/editing/kuid 123456 1001/config.txt"), "kuid <kuid:123456:1001>\nusername \"X\"\n");
    h.Release();

    // A new daemon finds the edit still open.
    RestartAndOpen();
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_TRUE(info.IsOpenForEdit());

    ASSERT_TRUE(client.RevertAssetByKUID(kSample, nullptr, 0));
    ASSERT_TRUE(client.GetAssetInfo(kSample, info));
    EXPECT_FALSE(info.IsOpenForEdit());
    EXPECT_EQ(info.username, "Sample Coach");
    EXPECT_FALSE(fs::exists(inst.Path("UserData/editing/kuid 123456 1001")));
}

TEST_F(DaemonAssetsTest, CreateAndCommitMakesANewAsset)
{
    KUID k = NewKUID(client);
    ASSERT_FALSE(k.IsNull());
    KUID next = NewKUID(client);
    EXPECT_EQ(next.userId, k.userId);
    EXPECT_EQ(next.contentId, k.contentId + 1);
    EXPECT_TRUE(client.IsValidKUIDUserId(k.userId).ValueOr(false));  // the local user

    VADEditHandle h;
    ASSERT_TRUE(client.CreateAsset(h, k, "Fresh Asset", 0));
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(k, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    EXPECT_FALSE(info.IsInstalled());
    Orvo::PString name;
    Orvo::File::Path folder;
    ASSERT_TRUE(client.GetEditFolder(h, name, folder));
    WriteFile(folder.str() + "/config.txt", "kuid " + k.ToString() + "\nusername \"Fresh Asset\"\nkind \"scenery\"\n");
    ASSERT_TRUE(client.CommitAsset(h));
    ASSERT_TRUE(client.GetAssetInfo(k, info));
    EXPECT_TRUE(info.IsInstalled());
    EXPECT_EQ(std::string(info.kind.c_str()), "scenery");
    EXPECT_TRUE(fs::exists(inst.Path("UserData/local/" + k.ToSpacedString() + "/config.txt")));

    // Creating it again is refused; so is a commit of a handle that is gone.
    VADEditHandle again;
    EXPECT_FALSE(client.CreateAsset(again, k, "Again", 0));
    EXPECT_FALSE(client.CommitAsset(h));
}

TEST_F(DaemonAssetsTest, DeleteRemovesTheAssetButNotABuiltInOne)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    ASSERT_TRUE(client.DeleteAsset(kSample, 0));
    EXPECT_FALSE(fs::exists(inst.Path("UserData/local/kuid 123456 1001")));
    VADAssetInfo info;
    EXPECT_FALSE(client.GetAssetInfo(kSample, info));
    EXPECT_EQ(ListBackupFolders(inst.Path("UserData/backups")).size(), 1u);

    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    RawClient::Reply r = raw.Ask(VAD_REQ_DELETE, VADEncode(VADKuidFlagRequest{kBuiltin, 0}));
    ASSERT_TRUE(r.answered);
    EXPECT_LT(r.status, 0);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, 3u);
    EXPECT_TRUE(fs::exists(inst.Path("builtin/core/loco/config.txt")));
    EXPECT_TRUE(client.GetAssetInfo(kBuiltin, info));
}

// Deleting an asset open for editing keeps the uncommitted edit folder in a backup and says where.
TEST_F(DaemonAssetsTest, DeleteKeepsAnUncommittedEditInTheBackup)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    {
        VADEditHandle h;
        ASSERT_TRUE(client.OpenAssetForEdit(h, kSample, 1));
    }
    WriteFile(inst.Path("UserData/editing/kuid 123456 1001/work.txt"), "hours of work");
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    RawClient::Reply r = raw.Ask(VAD_REQ_DELETE, VADEncode(VADKuidFlagRequest{kSample, 1}));
    ASSERT_EQ(r.status, kVADStatusOK);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].kind, 2u);
    TDBTagRef params;
    ASSERT_TRUE(VADTreeFromBytes(r.results[0].params, params));
    std::string kept(params.GetChildString("file_path").View());
    EXPECT_EQ(ReadFile(kept + "/work.txt"), "hours of work");
    EXPECT_FALSE(fs::exists(inst.Path("UserData/editing/kuid 123456 1001")));
}

TEST_F(DaemonAssetsTest, RepairDropsRecordsOfVanishedFoldersAndAddsNewOnes)
{
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    fs::remove_all(inst.Path("UserData/local/kuid 123456 1001"));
    WriteAssetFolder(inst.Path("UserData/local/by hand"), KUID(55, 6, 0), "By Hand");
    static std::vector<std::string> progress;
    progress.clear();
    connection.SetProgressHook([](const char* line) { progress.push_back(line); });
    ASSERT_TRUE(client.RepairDatabase(100));
    VADAssetInfo info;
    EXPECT_FALSE(client.GetAssetInfo(kSample, info));
    ASSERT_TRUE(client.GetAssetInfo(KUID(55, 6, 0), info));
    EXPECT_EQ(info.username, "By Hand");
    connection.SetProgressHook(nullptr);
    // Installing the same asset replaces the copy made by hand rather than keeping both.
    WriteAssetFolder(inst.Path("source/again"), KUID(55, 6, 0), "Installed");
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/again"), nullptr).IsNull());
    EXPECT_FALSE(fs::exists(inst.Path("UserData/local/by hand")));
    ASSERT_TRUE(client.RepairDatabase(100));
    ASSERT_TRUE(client.GetAssetInfo(KUID(55, 6, 0), info));
    EXPECT_EQ(info.username, "Installed");
    ASSERT_FALSE(progress.empty());
    EXPECT_NE(progress.back().find("repair: 2 assets, 1 added"), std::string::npos) << progress.back();

    // The asynchronous request repairs too (requests on one link are served in order).
    fs::remove_all(inst.Path("UserData/local/kuid 55 6"));
    ASSERT_TRUE(client.RequestRepairDatabase(100));
    EXPECT_FALSE(client.GetAssetInfo(KUID(55, 6, 0), info));
}

TEST_F(DaemonAssetsTest, SettingsGroupsAndBackupLimit)
{
    TDBTagRef group = TDBTagRef::NewContainer();
    group.SetChildString("username", "someone");
    ASSERT_TRUE(client.SetSettingsGroup("internet", group));
    Orvo::PString value;
    ASSERT_TRUE(client.GetSettingString(value, "internet", "username"));
    EXPECT_EQ(std::string(value.c_str()), "someone");
    TDBTagRef back;
    ASSERT_TRUE(client.GetSettingsGroup("internet", back));
    EXPECT_EQ(std::string(back.GetChildString("username").View()), "someone");

    // At most "developer"/"max_backup_folders" dated folders are kept.
    ASSERT_TRUE(client.SetSettingInt("developer", "max_backup_folders", 2));
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    for (const char* stamp : {"20200101-000000", "20210101-000000", "20220101-000000"})
        fs::create_directories(inst.Path(std::string("UserData/backups/") + stamp));
    ASSERT_FALSE(InstalledKUID(client, inst.Path("source/sample"), nullptr).IsNull());
    std::vector<std::string> left = ListBackupFolders(inst.Path("UserData/backups"));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], "20220101-000000");

    // A limit that is no number is refused, never taken as 0 (which would thin every backup away).
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    for (const char* bad : {"abc", "", "12x"})
    {
        TDBTagRef dev = TDBTagRef::NewContainer();
        dev.SetChildString("max_backup_folders", bad);
        VADSetSettingsGroupRequest req{"developer", {}};
        ASSERT_TRUE(VADTreeToBytes(dev, req.tree));
        RawClient::Reply r = raw.Ask(VAD_REQ_SET_SETTINGS_GROUP, VADEncode(req));
        EXPECT_LT(r.status, 0) << bad;
        ASSERT_EQ(r.results.size(), 1u) << bad;
        EXPECT_EQ(r.results[0].kind, 3u);
    }
    ASSERT_TRUE(client.GetSettingsGroup("developer", back));
    EXPECT_EQ(back.GetChildInt("max_backup_folders"), 2);
}

// The settings file sets what no command sets (the download-station mirror); lines it cannot take are
// named in the log and change nothing.
TEST_F(DaemonAssetsTest, TheSettingsFileIsAppliedAtStart)
{
    WriteFile(inst.Path("UserData/settings/settings.txt"),
              "internet\n{\n  dls-mirror \"" + inst.Path("mirror") +
                  "\"\n}\ndeveloper\n{\n  max_backup_folders \"abc\"\n  other 1.5\n}\nstray \"x\"\n");
    RestartAndOpen();
    Orvo::PString mirror;
    ASSERT_TRUE(client.GetSettingString(mirror, "internet", "dls-mirror"));
    EXPECT_EQ(std::string(mirror.View()), inst.Path("mirror"));
    TDBTagRef dev;
    ASSERT_TRUE(client.GetSettingsGroup("developer", dev));
    EXPECT_FALSE(dev.HasChild("max_backup_folders"));
    EXPECT_FALSE(dev.HasChild("other"));
    std::string log = ReadFile(inst.Path("UserData/settings/vaddaemon.log"));
    for (const char* named : {"\"max_backup_folders\" left out", "\"other\" left out", "'stray' left out"})
        EXPECT_NE(log.find(named), std::string::npos) << named;
}

}  // namespace

// User ids are looked up in the store too: many connections asking at once must each get the right answer
// (the store's one connection is used by one request at a time).
TEST_F(DaemonAssetsTest, UserIdsAskedOnManyConnectionsAtOnce)
{
    ASSERT_EQ(InstalledKUID(client, inst.Path("source/sample"), nullptr), kSample);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            RawClient raw;
            if (!raw.Connect(inst))
            {
                ++wrong;
                return;
            }
            for (int i = 0; i < 150; ++i)
            {
                // Known from a record, unknown (asked of the store's authors and settings), known again.
                const int32_t id = i % 3 == 1 ? 500000 + t * 1000 + i : kSample.userId;
                RawClient::Reply r = raw.Ask(VAD_REQ_USER_ID_VALID, VADEncode(VADValueRequest{id}));
                VADBoolReply answer;
                if (!r.answered || r.status != 0 || !VADDecode(r.body, answer) ||
                    (answer.value != 0) != (id == kSample.userId))
                    ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A scan of many folders (read on all processors, stored on a thread of its own): every record as its folder
// says, a KUID in two folders indexed from the one under its own name, and the same records after a restart
// that reads them back from the store.
TEST_F(DaemonAssetsTest, AScanOfManyFoldersStoresEveryRecordOnce)
{
    constexpr int kCount = 300;
    for (int i = 0; i < kCount; ++i)
        WriteAssetFolder(inst.Path("UserData/local/kuid 77 " + std::to_string(i)), KUID(77, i, 0),
                         "Scanned " + std::to_string(i),
                         "kuid-table {\n  0 <kuid:77:" + std::to_string(i + 1) + ">\n}\n");
    // The same asset once more under another name: the folder named for the KUID stays the indexed one.
    WriteAssetFolder(inst.Path("UserData/local/a copy"), KUID(77, 5, 0), "A copy");
    RestartAndOpen();
    auto check = [&] {
        VADFilterElementGroup all;  // no condition: every asset
        std::set<KUID> found;
        for (const KUID& k : Query(all))
            if (k.userId == 77) found.insert(k);
        EXPECT_EQ(found.size(), size_t(kCount));
        for (int i : {0, 5, 63, 64, 299})
        {
            VADAssetInfo info;
            ASSERT_TRUE(client.GetAssetInfo(KUID(77, i, 0), info));
            EXPECT_EQ(info.username, "Scanned " + std::to_string(i));
            ChunkedList<KUID> deps;
            ASSERT_TRUE(client.GetAssetDependencies(KUID(77, i, 0), deps));
            EXPECT_EQ(ToVector(deps), std::vector<KUID>{KUID(77, i + 1, 0)});
        }
    };
    check();
    RestartAndOpen();
    check();
}
