// An installed copy held aside while a run installs its own copy of the asset, in process: the record kept of it
// is read back only whole and of its own form; what the user has installed is never replaced, and a put back that
// fails keeps it where it is held until the next start puts it back.
#include "DaemonHarness.h"
#include "assetdb/VADPayloads.h"
#include "daemon/AssetDatabase.h"
#include "daemon/FolderOps.h"
#include "daemon/HoldRecord.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// A record file written byte by byte, as its form says (HoldRecord.h).
struct RecordBytes
{
    uint32_t version = 1;
    std::string source = "local";
    std::string folder = "UserData/local/kuid 900710 1";
    uint8_t favourite = 1;
    uint32_t dependencies = 1;

    std::string Bytes() const
    {
        std::string b = "VHLD";
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
        };
        auto text = [&](const std::string& s) {
            u32(uint32_t(s.size() + 1));
            b += s;
            b.push_back('\0');
        };
        u32(version);
        for (uint32_t word : {1u, 900710u}) u32(word);  // <kuid:900710:1>: content id, version << 25 | user id
        for (const char* s : {source.c_str(), folder.c_str(), "", "Mine", "scenery", "BD", "", ""}) text(s);
        const float build = 3.5f;
        uint32_t bits;
        std::memcpy(&bits, &build, 4);
        u32(bits);
        b.push_back(char(0x02));  // flags
        u32(900710);              // author id
        for (const char* s : {"Me", "Mine, described", "oak;mine"}) text(s);
        b.push_back(char(favourite));
        for (uint32_t word : {12u, 0u, 1000u, 0u, 2000u, 0u}) u32(word);  // size, install and modified time
        u32(0);                                                           // validation: failed
        text("1000:12");
        u32(dependencies);
        for (uint32_t word : {7u, 900710u, 0u}) u32(word);  // <kuid:900710:7>, and no obsoletes
        return b;
    }
};

TEST(DaemonHoldRecord, OnlyAWholeRecordOfItsOwnFormIsRead)
{
    const std::string bytes = RecordBytes().Bytes();
    AssetRecord r;
    std::string why;
    ASSERT_TRUE(DecodeHoldRecord(bytes, r, &why)) << why;
    EXPECT_EQ(r.kuid, KUID(900710, 1));
    EXPECT_EQ(r.keywords, "oak;mine");
    EXPECT_EQ(r.installTime, 1000u);
    EXPECT_EQ(r.validation, kValidationFailed);
    EXPECT_EQ(r.dependencies, std::vector<KUID>{KUID(900710, 7)});
    EXPECT_EQ(EncodeHoldRecord(r), bytes);

    // Cut short anywhere, or with more after it, it is no record.
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(DecodeHoldRecord(bytes.substr(0, n), r)) << n;
    EXPECT_FALSE(DecodeHoldRecord(bytes + '\0', r, &why));
    EXPECT_EQ(why, "its length does not match its fields");
    // Another version, a count larger than the bytes after it, values no record has.
    RecordBytes other;
    other.version = 2;
    EXPECT_FALSE(DecodeHoldRecord(other.Bytes(), r, &why));
    EXPECT_EQ(why, "it is a record of version 2, not 1");
    other = RecordBytes();
    other.dependencies = 0x40000000;
    EXPECT_FALSE(DecodeHoldRecord(other.Bytes(), r));
    for (auto change : std::vector<void (*)(RecordBytes&)>{
             [](RecordBytes& b) { b.source = "remote"; }, [](RecordBytes& b) { b.folder = "UserData/local/../../etc"; },
             [](RecordBytes& b) { b.folder = "builtin/pack/a"; }, [](RecordBytes& b) { b.favourite = 2; }})
    {
        other = RecordBytes();
        change(other);
        EXPECT_FALSE(DecodeHoldRecord(other.Bytes(), r, &why));
        EXPECT_EQ(why, "its values are not those of an asset's record");
    }
    EXPECT_FALSE(DecodeHoldRecord("VHLX" + bytes.substr(4), r));
}

const KUID kAsset(900710, 1, 0);
constexpr uintptr_t kRun = 0x4242;

// The user installed kAsset and set its keywords; the folder "copy" holds another copy of it. A hold is refused
// while the asset is open for editing, and held by one run at a time, which alone installs it meanwhile; a put back that fails keeps the copy where
// it is held; the install of a run never replaces an installed copy.
TEST(DaemonHold, NothingOfTheUsersIsReplacedAndAFailedPutBackKeepsItWhereItIsHeld)
{
    TempDir root;
    const std::string mine = root.path() + "/work/mine", copy = root.path() + "/work/copy";
    WriteAssetFolder(mine, kAsset, "Mine", "", 2, 10);
    WriteAssetFolder(copy, kAsset, "Their copy", "", 1, 5);
    AssetDatabase db{DaemonRoot(root.path())};
    ASSERT_TRUE(db.Open(nullptr));
    ASSERT_TRUE(db.Reconcile(false));
    KUID installed;
    ASSERT_EQ(db.InstallFromFolder(mine, installed, nullptr), DbStatus::kOK);
    ASSERT_EQ(db.SetKeywords(kAsset, "oak;mine"), DbStatus::kOK);
    AssetRecord before, now;
    ASSERT_TRUE(db.GetRecord(kAsset, before));
    const std::string held = HeldCopyFolder(db.Root(), kAsset);

    uint32_t handle = 0, what = 0;
    std::string at;
    DaemonResults results;
    ASSERT_EQ(db.OpenForEdit(kAsset, true, handle, nullptr), DbStatus::kOK);
    EXPECT_EQ(db.HoldInstalled(kAsset, kRun, what, at, &results), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "it is open for editing"));
    EXPECT_FALSE(fs::exists(held));
    ASSERT_EQ(db.Revert(handle, nullptr), DbStatus::kOK);

    ASSERT_EQ(db.HoldInstalled(kAsset, kRun, what, at, nullptr), DbStatus::kOK);
    EXPECT_EQ(what, kVADHeldFolder);
    EXPECT_EQ(at, held);
    EXPECT_FALSE(db.Exists(kAsset));
    struct stat st;
    ASSERT_EQ(::stat(HoldFolder(db.Root()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((HoldFolder(db.Root()) + "/" + HoldRecordName(kAsset)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    results.clear();
    EXPECT_EQ(db.HoldInstalled(kAsset, 0x77, what, at, &results), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "held aside by a run that has not put it back yet"));
    EXPECT_EQ(db.PutBackHeld(kAsset, 0x77, nullptr), DbStatus::kNotFound);

    // Nobody but the run installs, creates or edits it while it is held: the put back would delete that copy.
    results.clear();
    EXPECT_EQ(db.InstallFromFolder(copy, installed, &results, {}, kVADInstallNotOverLocalCopy, 0x77),
              DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "its installed copy is held aside while dlsparsefolder exports another copy of it"));
    EXPECT_EQ(db.Create(kAsset, "Made meanwhile", handle, nullptr), DbStatus::kFailed);

    // The run's copy cannot be deleted (nothing reaches the disk): the user's stays held, and the next start
    // deletes the run's copy and puts the user's back.
    ASSERT_EQ(db.InstallFromFolder(copy, installed, nullptr, {}, kVADInstallNotOverLocalCopy, kRun), DbStatus::kOK);
    EXPECT_EQ(db.OpenForEdit(kAsset, true, handle, nullptr), DbStatus::kFailed);
    db.SetDiskSyncForTests([] { return false; });
    results.clear();
    EXPECT_EQ(db.PutBackHeld(kAsset, kRun, &results), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "the copy installed since it was held aside could not be deleted"));
    EXPECT_TRUE(fs::exists(held + "/data/file1.bin"));
    db.Close();
    AssetDatabase again{DaemonRoot(root.path())};
    ASSERT_TRUE(again.Open(nullptr));
    ASSERT_TRUE(again.Reconcile(false));
    ASSERT_TRUE(again.GetRecord(kAsset, now));
    EXPECT_EQ(EncodeHoldRecord(now), EncodeHoldRecord(before));
    EXPECT_TRUE(fs::exists(again.Root().LocalFolder(kAsset) + "/data/file1.bin"));
    EXPECT_TRUE(fs::is_empty(HoldFolder(again.Root())));

    results.clear();
    EXPECT_EQ(again.InstallFromFolder(copy, installed, &results, {}, kVADInstallNotOverLocalCopy), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "a copy of it is installed, and this install does not replace one"));
    ASSERT_TRUE(again.GetRecord(kAsset, now));
    EXPECT_EQ(EncodeHoldRecord(now), EncodeHoldRecord(before));
}

}  // namespace

namespace {

// A run's own copy is known as such by a daemon started after the one that installed it, as long as it is the copy
// installed: its delete then makes no backup. One read again at start as another copy (its configuration changed by
// hand) is the user's: a delete of the run's own copy only leaves it, saying so, and its delete makes a backup.
TEST(DaemonHold, ARunsOwnCopyIsKnownAfterARestartWhileItIsTheCopyInstalled)
{
    TempDir root;
    const std::string copy = root.path() + "/work/copy", backups = root.path() + "/UserData/backups";
    WriteAssetFolder(copy, kAsset, "Their copy", "", 1, 5);
    auto dated = [&] {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(backups)) n += e.path().filename() != "uncommitted";
        return n;
    };
    for (const bool changed : {false, true})
    {
        SCOPED_TRACE(changed ? "changed by hand" : "as installed");
        {
            AssetDatabase db{DaemonRoot(root.path())};
            ASSERT_TRUE(db.Open(nullptr));
            ASSERT_TRUE(db.Reconcile(false));
            KUID installed;
            ASSERT_EQ(db.InstallFromFolder(copy, installed, nullptr, {}, kVADInstallNotOverLocalCopy, kRun),
                      DbStatus::kOK);
            if (changed)
                WriteFile(db.Root().LocalFolder(kAsset) + "/config.txt",
                          ReadFile(db.Root().LocalFolder(kAsset) + "/config.txt") + "\n");
        }
        AssetDatabase again{DaemonRoot(root.path())};
        ASSERT_TRUE(again.Open(nullptr));
        ASSERT_TRUE(again.Reconcile(false));
        DaemonResults results;
        EXPECT_EQ(again.Delete(kAsset, &results, 0x77, true), DbStatus::kOK);
        EXPECT_EQ(again.Exists(kAsset), changed);
        EXPECT_EQ(Says(results, "the copy installed now is not the run's, and it stays installed"), changed);
        EXPECT_EQ(dated(), 0u);
    }
    AssetDatabase last{DaemonRoot(root.path())};
    ASSERT_TRUE(last.Open(nullptr));
    ASSERT_TRUE(last.Reconcile(false));
    ASSERT_EQ(last.Delete(kAsset, nullptr), DbStatus::kOK);
    EXPECT_EQ(dated(), 1u);
}

}  // namespace
