#include "FakeDaemon.h"
#include "TestSupport.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"

#include <gtest/gtest.h>

namespace {

using VADRequestsTest = ClientTest;

int CountFrames(FakeDaemon& d, uint32_t code)
{
    int n = 0;
    for (const auto& f : d.Received())
        if (f.header.code == code) ++n;
    return n;
}

// A small daemon that knows one asset, <kuid:10:20>, open as handle 5.
void SmallDaemon(FakeDaemon& d, const FakeDaemon::Frame& f)
{
    const KUID known(10, 20);
    switch (f.header.code)
    {
    case VAD_REQ_INFO:
    {
        VADKuidValueRequest req;
        if (!VADDecode(f.payload, req) || req.kuid != known) return d.Reply(f, kVADStatusNotFound);
        VADAssetInfo info;
        info.kuid = known;
        info.username = (req.value & VAD_DETAIL_NAME) ? "Coach" : "";
        info.region = (req.value & VAD_DETAIL_CATEGORY) ? "UK" : "";
        info.era = (req.value & VAD_DETAIL_CATEGORY) ? "1950s" : "";
        info.flags = VAD_INFO_INSTALLED;
        info.build = 3.5f;
        info.valid = 1;
        VADWriter w;
        VADEncodeAssetInfo(w, info);
        return d.Reply(f, 0, w.Take());
    }
    case VAD_REQ_FAULTY:
    case VAD_REQ_MISSING_DEPENDENCIES: return d.Reply(f, 0, VADEncode(VADBoolReply{0}));
    case VAD_REQ_DEPENDENCIES:
    case VAD_REQ_OBSOLETES: return d.Reply(f, 0, VADEncode(VADKuidListReply{{KUID(3, 4), KUID(1, 2)}}));
    case VAD_REQ_OPEN_FOR_EDIT:
    {
        VADKuidFlagRequest req;
        VADDecode(f.payload, req);
        if (req.kuid != known) return d.Reply(f, kVADStatusNotFound);
        return d.Reply(f, 0, VADEncode(VADValueReply{5}));
    }
    case VAD_REQ_EDIT_FOLDER:
        return d.Reply(f, 0, VADEncode(VADEditFolderReply{"editing", "/root/UserData/editing/kuid 10 20"}));
    case VAD_REQ_COMMIT: return d.Reply(f, 0, VADEncode(VADBoolReply{1}));
    case VAD_REQ_QUERY:
    {
        VADQueryRequest q;
        if (!VADDecode(f.payload, q)) return d.Reply(f, kVADStatusBadPayload);
        return d.Reply(f, 0, VADEncode(VADKuidListReply{{known}}));
    }
    case VAD_REQ_GET_SETTINGS_GROUP:
    {
        TDBTagRef tree = TDBTagRef::NewContainer();
        tree.SetChildString("language", "UK");
        VADTreeReply rep;
        VADTreeToBytes(tree, rep.tree);
        return d.Reply(f, 0, VADEncode(rep));
    }
    case VAD_REQ_SET_SETTINGS_GROUP:
    {
        VADSetSettingsGroupRequest req;
        TDBTagRef tree;
        if (!VADDecode(f.payload, req) || !VADTreeFromBytes(req.tree, tree)) return d.Reply(f, kVADStatusBadPayload);
        return d.Reply(f, tree.GetChildString("username").str() == "kim" ? 0 : kVADStatusFailed);
    }
    case VAD_REQ_GENERATE_KUID: return d.Reply(f, 0, VADEncode(VADKuidReply{KUID(7, 1000)}));
    case VAD_REQ_EXPORT_PACKAGE:
    {
        VADExportPackageRequest req;
        if (!VADDecode(f.payload, req)) return d.Reply(f, kVADStatusBadPayload);
        return d.Reply(f, req.kuids.size() == 1 && req.dependencies.size() == 2 ? 0 : kVADStatusFailed);
    }
    case VAD_REQ_DATABASE_STATUS: return d.Reply(f, 0, VADEncode(VADValueReply{0}));
    default:
        if (f.header.transaction != 0) d.Reply(f, kVADStatusUnknownRequest);
    }
}

// The library connected to the small daemon.
class SmallDaemonTest : public ClientTest
{
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        ASSERT_TRUE(Open());
    }
    FakeDaemon daemon{connection_, SmallDaemon};
};

}  // namespace

TEST_F(VADRequestsTest, DocumentedAnswersWithoutADaemon)
{
    ASSERT_FALSE(connection_.Connected());
    const KUID k(1, 2);
    VADAssetInfo info;
    info.valid = 1;
    EXPECT_FALSE(client_.GetAssetInfo(k, info));
    EXPECT_FALSE(info.IsValid()) << "a failed request leaves the empty record";
    EXPECT_TRUE(client_.AssetHasMissingDependencies(k, false).ValueOr(true));
    EXPECT_TRUE(client_.IsAssetFaulty(k).ValueOr(true));
    EXPECT_TRUE(client_.GetAssetName(k).ValueOr(Orvo::String()).empty());
    EXPECT_TRUE(client_.GetAssetDescription(k).ValueOr(Orvo::String()).empty());
    EXPECT_TRUE(client_.ListBuilds().ValueOr(Orvo::String()).empty());
    EXPECT_TRUE(NewKUID(client_).IsNull());
    EXPECT_NE(client_.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
    EXPECT_FALSE(client_.IsReady().ValueOr(false));
    TDBTagRef tree = TDBTagRef::NewContainer();
    EXPECT_FALSE(client_.GetAssetConfig(tree, k, 0));
    EXPECT_TRUE(tree.IsNull());
    ChunkedList<KUID> list;
    EXPECT_FALSE(client_.QueryAssets(VADFilterElementGroup(), list));
    EXPECT_EQ(list.Count(), 0u);
    VADEditHandle h;
    EXPECT_FALSE(client_.OpenAssetForEdit(h, k, 1));
    EXPECT_FALSE(h.IsValid());
    KUID installed(1, 1);
    EXPECT_FALSE(client_.InstallFromFolder(installed, Orvo::File::Path("/x"), nullptr, 6));
    EXPECT_TRUE(installed.IsNull());
    uint8_t out = 9;
    EXPECT_FALSE(client_.InstallArchive(Orvo::File::Path("/x.cdp"), nullptr, 2, &out, 0));
    EXPECT_EQ(out, 0) << "the out byte is cleared first";
    Orvo::PString name("old");
    EXPECT_FALSE(client_.GetSettingString(name, "internet", "language"));
    EXPECT_TRUE(name.empty());
    EXPECT_FALSE(client_.IsValidKUIDUserId(-2).ValueOr(false));
    EXPECT_TRUE(client_.IsValidKUIDUserId(-1).ValueOr(false));
    EXPECT_FALSE(client_.IsValidKUIDUserId(5).ValueOr(false));
}

TEST_F(SmallDaemonTest, RecordsListsAndFlagsThroughTheDaemon)
{
    const KUID k(10, 20);
    VADAssetInfo info;
    ASSERT_TRUE(client_.GetAssetInfo(k, info));
    EXPECT_TRUE(info.IsInstalled());
    EXPECT_FLOAT_EQ(info.build, 3.5f);
    EXPECT_EQ(client_.GetAssetName(k).ValueOr(Orvo::String()).str(), "Coach");
    EXPECT_EQ(client_.GetAssetCategoryRegion(k).ValueOr(Orvo::String()).str(), "UK");
    EXPECT_EQ(client_.GetAssetCategoryEra(k).ValueOr(Orvo::String()).str(), "1950s");
    EXPECT_FALSE(client_.GetAssetInfo(KUID(1, 1), info));
    EXPECT_FALSE(client_.AssetHasMissingDependencies(k, true).ValueOr(true));
    EXPECT_FALSE(client_.IsAssetFaulty(k).ValueOr(true));

    ChunkedList<KUID> deps;
    deps.Add(KUID(9, 9));
    ASSERT_TRUE(client_.GetAssetDependencies(k, deps));
    ASSERT_EQ(deps.Count(), 3u) << "appended in reply order";
    EXPECT_EQ(*deps.At(1), KUID(3, 4));
    std::set<KUID> obs;
    ASSERT_TRUE(client_.GetAssetObsoletes(k, obs));
    EXPECT_EQ(*obs.begin(), KUID(1, 2));

    VADFilterElementGroup g;
    g.Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
    ChunkedList<KUID> found;
    ASSERT_TRUE(client_.QueryAssets(g, found));
    EXPECT_EQ(found.Count(), 1u);
    EXPECT_EQ(NewKUID(client_), KUID(7, 1000));
    EXPECT_EQ(client_.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
}

TEST_F(SmallDaemonTest, EditHandlesAreCountedAndTheLastReleaseClosesThem)
{
    VADEditHandle h;
    ASSERT_TRUE(client_.OpenAssetForEdit(h, KUID(10, 20), 1));
    EXPECT_EQ(h.GetId(), 5u);
    Orvo::PString name;
    Orvo::File::Path folder;
    ASSERT_TRUE(client_.GetEditFolder(h, name, folder));
    EXPECT_TRUE(name == "editing");
    EXPECT_EQ(folder.str(), "/root/UserData/editing/kuid 10 20");
    uint8_t out = 0;
    EXPECT_TRUE(client_.CommitAsset(h, 6, nullptr, &out));
    EXPECT_EQ(out, 1);

    {
        VADEditHandle copy = h;
        EXPECT_EQ(h.GetRefCount(), 2);
        copy.Release();
        EXPECT_FALSE(copy.IsValid());
    }
    EXPECT_EQ(h.GetRefCount(), 1);
    EXPECT_EQ(CountFrames(daemon, VAD_REQ_RELEASE_EDIT_HANDLE), 0);
    h.Release();
    h.Release();  // a second release of the same copy does nothing
    RoundTrip();
    EXPECT_EQ(CountFrames(daemon, VAD_REQ_RELEASE_EDIT_HANDLE), 1);
    FakeDaemon::Frame f;
    VADHandleRequest req;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_RELEASE_EDIT_HANDLE, req, &f));
    EXPECT_EQ(req.handle, 5u);
    EXPECT_EQ(f.header.transaction, 0u) << "sent asynchronously";

    VADEditHandle unknown;
    EXPECT_FALSE(client_.OpenAssetForEdit(unknown, KUID(1, 1), 0));
    EXPECT_FALSE(unknown.IsValid());
}

TEST_F(SmallDaemonTest, SettingsGroupsTravelAsTrees)
{
    TDBTagRef group;
    ASSERT_TRUE(client_.GetSettingsGroup("internet", group));
    EXPECT_EQ(group.GetChildString("language").str(), "UK");
    group.SetChildString("username", "kim");
    EXPECT_TRUE(client_.SetSettingsGroup("internet", group));
    group.SetChildString("username", "someone else");
    EXPECT_FALSE(client_.SetSettingsGroup("internet", group));
}

TEST_F(SmallDaemonTest, AsynchronousRequestsCarryTheirPayloads)
{
    EXPECT_TRUE(client_.SetAssetKeywords(KUID(10, 20), "steam;coach"));
    EXPECT_TRUE(client_.SetSettingInt("developer", "max_backup_folders", 30));
    EXPECT_TRUE(client_.RequestRepairDatabase(50));
    RoundTrip();
    EXPECT_EQ(CountFrames(daemon, VAD_REQ_FLAG_REPAIR), 1);
    VADKuidTextRequest kw;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_SET_KEYWORDS, kw));
    EXPECT_EQ(kw.text, "steam;coach");
    VADSetSettingIntRequest si;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_SET_SETTING_INT, si));
    EXPECT_EQ(si.key, "max_backup_folders");
    EXPECT_EQ(si.value, 30);
}

TEST_F(SmallDaemonTest, ExportPackageSendsTargetsNamesAndKUIDsInOrder)
{
    PStringArray targets;
    targets.Add(Orvo::PString("dxtc"));
    targets.Add(Orvo::PString("etc1"));
    ChunkedList<KUID> kuids;
    kuids.Add(KUID(10, 20));
    EXPECT_TRUE(client_.ExportPackage(targets, Orvo::File::Path("/r/UserData/packages/pkg"), {"base", "extra"}, kuids,
                                      nullptr));
    VADExportPackageRequest req;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_EXPORT_PACKAGE, req));
    EXPECT_EQ(req.targets, (std::vector<std::string>{"dxtc", "etc1"}));
    EXPECT_EQ(req.dependencies, (std::vector<std::string>{"base", "extra"}));
    EXPECT_EQ(req.packagePath, "/r/UserData/packages/pkg");
    EXPECT_FALSE(client_.ExportPackage(targets, Orvo::File::Path("/p"), {"base"}, kuids, nullptr));
}
