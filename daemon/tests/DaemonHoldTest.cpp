// An installed copy held aside while a run installs its own copy of the asset, in process: the record kept of it
// is read back only whole and of its own form; the copy comes back exactly as it was, put back by the run, by the
// end of its connection or by the next start of a daemon that was stopped; a put back that fails keeps it where
// it is held and says so; an asset open for editing is not held.
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

bool Says(const DaemonResults& results, const std::string& part)
{
    for (const VADResultNotification& r : results)
        if (r.text.find(part) != std::string::npos ||
            std::string(r.params.begin(), r.params.end()).find(part) != std::string::npos)
            return true;
    return false;
}

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
        u32(1), u32(900710);  // <kuid:900710:1>: the content id, then version << 25 | the user id
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
        u32(7), u32(900710);  // <kuid:900710:7>
        u32(0);               // no obsoletes
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
    EXPECT_EQ(r.folder, "UserData/local/kuid 900710 1");
    EXPECT_EQ(r.username, "Mine");
    EXPECT_EQ(r.build, 3.5f);
    EXPECT_EQ(r.flags, 2);
    EXPECT_EQ(r.keywords, "oak;mine");
    EXPECT_TRUE(r.favourite);
    EXPECT_EQ(r.installTime, 1000u);
    EXPECT_EQ(r.modifiedTime, 2000u);
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

// A database over a root where the user installed kAsset and set its keywords, favourite and validation; the
// folder "copy" holds another copy of it.
class DaemonHoldTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WriteAssetFolder(Work("mine"), kAsset, "Mine", "", 2, 10);
        WriteFile(Work("mine") + "/notes.txt", "the user's own");
        WriteAssetFolder(Work("copy"), kAsset, "Their copy", "", 1, 5);
        ASSERT_TRUE(db_.Open(nullptr));
        ASSERT_TRUE(db_.Reconcile(false));
        KUID installed;
        ASSERT_EQ(db_.InstallFromFolder(Work("mine"), installed, nullptr), DbStatus::kOK);
        ASSERT_EQ(db_.SetKeywords(kAsset, "oak;mine"), DbStatus::kOK);
        ASSERT_EQ(db_.SetFavourite(kAsset, true), DbStatus::kOK);
        ASSERT_EQ(db_.SetValidation(kAsset, kValidationFailed), DbStatus::kOK);
        before_ = Now(db_);
        ASSERT_NE(before_.find("notes.txt"), std::string::npos);
    }
    std::string Work(const std::string& name) const { return root_.path() + "/work/" + name; }
    // The asset's record (every field) and its installed files.
    std::string Now(AssetDatabase& db) const
    {
        AssetRecord r;
        std::string s = db.GetRecord(kAsset, r) ? EncodeHoldRecord(r) : "not installed";
        const std::string local = db.Root().LocalFolder(kAsset);
        if (FolderExists(local))
            for (const auto& e : fs::recursive_directory_iterator(local))
                if (e.is_regular_file()) s += "\n" + e.path().string() + ": " + ReadFile(e.path().string());
        return s;
    }
    void HoldAndInstallTheCopy()
    {
        uint32_t held = 0;
        std::string at;
        ASSERT_EQ(db_.HoldInstalled(kAsset, kRun, held, at, nullptr), DbStatus::kOK);
        EXPECT_EQ(held, kVADHeldFolder);
        EXPECT_EQ(at, HeldCopyFolder(db_.Root(), kAsset));
        KUID installed;
        ASSERT_EQ(db_.InstallFromFolder(Work("copy"), installed, nullptr, {}, kVADInstallNotOverLocalCopy),
                  DbStatus::kOK);
    }

    TempDir root_;
    AssetDatabase db_{DaemonRoot(root_.path())};
    std::string before_;
};

TEST_F(DaemonHoldTest, TheRunsCopyGoesAndTheUsersComesBackAsItWas)
{
    uint32_t held = 0;
    std::string at;
    ASSERT_EQ(db_.HoldInstalled(kAsset, kRun, held, at, nullptr), DbStatus::kOK);
    EXPECT_EQ(Now(db_), "not installed");
    struct stat st;
    ASSERT_EQ(::stat(HoldFolder(db_.Root()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((HoldFolder(db_.Root()) + "/" + HoldRecordName(kAsset)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(at + "/notes.txt"), "the user's own");
    // Nobody holds it again until it is back.
    DaemonResults refused;
    EXPECT_EQ(db_.HoldInstalled(kAsset, 0x77, held, at, &refused), DbStatus::kFailed);
    EXPECT_TRUE(Says(refused, "held aside by a run that has not put it back yet"));

    KUID installed;
    ASSERT_EQ(db_.InstallFromFolder(Work("copy"), installed, nullptr, {}, kVADInstallNotOverLocalCopy), DbStatus::kOK);
    EXPECT_NE(Now(db_), before_);
    // Put back with the run's copy still installed: that copy goes first.
    EXPECT_EQ(db_.PutBackHeld(kAsset, 0x77, nullptr), DbStatus::kNotFound);
    ASSERT_EQ(db_.PutBackHeld(kAsset, kRun, nullptr), DbStatus::kOK);
    EXPECT_EQ(Now(db_), before_);
    EXPECT_TRUE(fs::is_empty(HoldFolder(db_.Root())));
    EXPECT_EQ(db_.PutBackHeld(kAsset, kRun, nullptr), DbStatus::kNotFound);

    // An install that never replaces an installed copy leaves it as it is.
    DaemonResults results;
    EXPECT_EQ(db_.InstallFromFolder(Work("copy"), installed, &results, {}, kVADInstallNotOverLocalCopy),
              DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "a copy of it is installed, and this install does not replace one"));
    EXPECT_EQ(Now(db_), before_);
}

TEST_F(DaemonHoldTest, AnAssetOpenForEditingIsNotHeld)
{
    uint32_t handle = 0, held = 0;
    ASSERT_EQ(db_.OpenForEdit(kAsset, true, handle, nullptr), DbStatus::kOK);
    std::string at;
    DaemonResults results;
    EXPECT_EQ(db_.HoldInstalled(kAsset, kRun, held, at, &results), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "it is open for editing"));
    EXPECT_EQ(held, kVADHeldNothing);
    EXPECT_EQ(Now(db_), before_);
    EXPECT_FALSE(fs::exists(HeldCopyFolder(db_.Root(), kAsset)));
}

TEST_F(DaemonHoldTest, WhatAnEndedRunOrAStoppedDaemonHeldIsPutBack)
{
    ASSERT_NO_FATAL_FAILURE(HoldAndInstallTheCopy());
    EXPECT_EQ(db_.PutBackHoldsOf(0x77), 0u);
    EXPECT_EQ(db_.PutBackHoldsOf(kRun), 1u);
    EXPECT_EQ(Now(db_), before_);

    // A daemon stopped while it held the copy: the next one puts it back before it is ready.
    ASSERT_NO_FATAL_FAILURE(HoldAndInstallTheCopy());
    db_.Close();
    AssetDatabase again{DaemonRoot(root_.path())};
    ASSERT_TRUE(again.Open(nullptr));
    ASSERT_TRUE(again.Reconcile(false));
    EXPECT_EQ(Now(again), before_);
    EXPECT_TRUE(fs::is_empty(HoldFolder(again.Root())));
}

TEST_F(DaemonHoldTest, APutBackThatFailsKeepsTheCopyWhereItSaysAndTheNextStartPutsItBack)
{
    ASSERT_NO_FATAL_FAILURE(HoldAndInstallTheCopy());
    db_.SetDiskSyncForTests([] { return false; });
    DaemonResults results;
    EXPECT_EQ(db_.PutBackHeld(kAsset, kRun, &results), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "could not be put back as it was")) << results.size();
    EXPECT_TRUE(Says(results, "the copy installed since it was held aside could not be deleted"));
    EXPECT_EQ(ReadFile(HeldCopyFolder(db_.Root(), kAsset) + "/notes.txt"), "the user's own");
    // Still this run's: the end of its connection tries again.
    EXPECT_EQ(db_.PutBackHoldsOf(kRun), 0u);
    EXPECT_EQ(ReadFile(HeldCopyFolder(db_.Root(), kAsset) + "/notes.txt"), "the user's own");
    db_.Close();
    AssetDatabase again{DaemonRoot(root_.path())};
    ASSERT_TRUE(again.Open(nullptr));
    ASSERT_TRUE(again.Reconcile(false));
    EXPECT_EQ(Now(again), before_);
}

// An asset only built in: nothing moves, and its record (here its keywords) is what the run's delete would lose.
TEST_F(DaemonHoldTest, ABuiltInAssetKeepsItsRecord)
{
    const KUID builtin(900710, 2);
    WriteAssetFolder(root_.path() + "/builtin/pack/a", builtin, "Built in");
    WriteAssetFolder(Work("over"), builtin, "Over it");
    ASSERT_TRUE(db_.Reconcile(true));
    ASSERT_EQ(db_.SetKeywords(builtin, "built;in"), DbStatus::kOK);
    AssetRecord was, is;
    ASSERT_TRUE(db_.GetRecord(builtin, was));
    uint32_t held = 0;
    std::string at;
    ASSERT_EQ(db_.HoldInstalled(builtin, kRun, held, at, nullptr), DbStatus::kOK);
    EXPECT_EQ(held, kVADHeldRecord);
    EXPECT_EQ(at, HoldFolder(db_.Root()) + "/" + HoldRecordName(builtin));
    KUID installed;
    ASSERT_EQ(db_.InstallFromFolder(Work("over"), installed, nullptr, {}, kVADInstallNotOverLocalCopy), DbStatus::kOK);
    ASSERT_EQ(db_.Delete(builtin, nullptr), DbStatus::kOK);
    ASSERT_TRUE(db_.GetRecord(builtin, is));
    EXPECT_EQ(is.source, "builtin");
    EXPECT_EQ(is.keywords, "");
    ASSERT_EQ(db_.PutBackHeld(builtin, kRun, nullptr), DbStatus::kOK);
    ASSERT_TRUE(db_.GetRecord(builtin, is));
    EXPECT_EQ(EncodeHoldRecord(is), EncodeHoldRecord(was));
}

}  // namespace
