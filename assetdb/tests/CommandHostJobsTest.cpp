#include "FakeDaemon.h"
#include "TestSupport.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/CommandHostJobs.h"
#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"

#include "core/TFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class CommandHostJobsTest : public ClientTest
{
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        installed_.clear();
    }
    void TearDown() override
    {
        SetArchiveInstallHook(nullptr);
        SetArchiveInstallOnDiskHook(nullptr);
        SetArchiveStageOnDiskHook(nullptr);
        SetCommandHostValidateHook(nullptr);
        ClientTest::TearDown();
    }
    std::string P(const std::string& rel) const { return dir_.P(rel); }

    // Writes a job file with one entry per KUID (null entries where `present` is false).
    void WriteJob(const std::string& path, uint32_t id, const std::vector<KUID>& kuids,
                  const std::vector<bool>& present)
    {
        ArchiveJobContents c;
        for (size_t i = 0; i < kuids.size(); ++i)
        {
            c.kuids.push_back(kuids[i]);
            TDBTagRef entry;
            if (present[i])
            {
                entry = TDBTagRef::NewContainer();
                entry.SetChildKUID("kuid", kuids[i]);
                entry.SetChildString("username", "asset");
            }
            c.entries.push_back(entry);
        }
        TFile f(path, TFile::kWrite);
        ASSERT_TRUE(WriteArchiveJobHeader(f, id));
        ASSERT_TRUE(WriteArchiveJobBody(f, c));
        ASSERT_TRUE(FinishArchiveJobHeader(f));
    }

    static KUID Install(const TDBTagRef& entry, ResultsLog&, uint32_t flags)
    {
        EXPECT_EQ(flags, kArchiveInstallJobFlags);
        KUID k = entry.GetChildKUID("kuid");
        if (k.contentId == 666) return KUID::Null();  // this one fails to install
        installed_.push_back(k);
        return k;
    }
    static bool Validate(const Orvo::PString& source, const Orvo::File::Path& path, ResultsLog& log)
    {
        log.PostResult(kResultMessage, std::string(source.View()) + ":" + path.str());
        return path.str() == "good";
    }

    static std::vector<KUID> List(const ChunkedList<KUID>& l)
    {
        std::vector<KUID> out;
        for (const KUID& k : l) out.push_back(k);
        return out;
    }

    // The on-disk hooks: what happened, in order ("stage k", "install k"); content id 666 fails either.
    static KUID InstallOnDisk(const ArchiveEntryOnDisk& entry, ResultsLog&, uint32_t)
    {
        const KUID k = entry.entry.GetChildKUID("kuid");
        events_.push_back("install " + k.ToString());
        return k.contentId == 666 ? KUID::Null() : k;
    }
    static bool Stage(const ArchiveEntryOnDisk& entry, const std::string& folder, ResultsLog&, bool&)
    {
        const KUID k = entry.entry.GetChildKUID("kuid");
        events_.push_back("stage " + k.ToString());
        fs::create_directories(folder);
        Orvo::File::WriteFile(folder + "/kuid", k.ToString());
        return k.contentId != 666;
    }

    // As Stage, the copies of content id 7 holding a texture description.
    static bool StageTextures(const ArchiveEntryOnDisk& entry, const std::string& folder, ResultsLog& log,
                              bool& textures)
    {
        textures = entry.entry.GetChildKUID("kuid").contentId == 7;
        return Stage(entry, folder, log, textures);
    }
    static void Compile(const std::string&, const std::vector<std::pair<std::string, KUID>>& assets, ResultsLog&)
    {
        for (const auto& a : assets) events_.push_back("compile " + a.second.ToString());
    }

    TempFolder dir_;
    static std::vector<KUID> installed_;
    static std::vector<std::string> events_;
};
std::vector<KUID> CommandHostJobsTest::installed_;
std::vector<std::string> CommandHostJobsTest::events_;

ChunkedList<KUID> Kuids(std::initializer_list<KUID> ks)
{
    ChunkedList<KUID> l;
    for (const KUID& k : ks) l.Add(k);
    return l;
}

}  // namespace

TEST_F(CommandHostJobsTest, WithoutHooksTheHandlersFailClearly)
{
    ResultsLog log;
    EXPECT_EQ(CommandHostValidate({Orvo::PString("local"), Orvo::File::Path("x")}, log), 0);
    ChunkedList<KUID> kuids = Kuids({KUID(1, 2)});
    EXPECT_FALSE(CommandHostArchiveInstall(7, kuids, Orvo::File::Path(P("none")), log));
    EXPECT_EQ(log.ErrorCount(), 2u);
    EXPECT_EQ(List(kuids), std::vector<KUID>{KUID(1, 2)});

    SetCommandHostValidateHook(&Validate);
    ResultsLog vlog;
    EXPECT_EQ(CommandHostValidate({Orvo::PString("local"), Orvo::File::Path("good")}, vlog), 1);
    EXPECT_EQ(CommandHostValidate({Orvo::PString("data"), Orvo::File::Path("bad")}, vlog), 0);
    EXPECT_EQ(vlog.GetResults()[1].text.View(), "data:bad");
}

TEST_F(CommandHostJobsTest, JobFileHeaderLayout)
{
    WriteJob(P("job.crak"), 0x01020304, {}, {});
    std::string bytes;
    ASSERT_TRUE(Orvo::File::ReadFile(P("job.crak"), bytes));
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 4), "crak");
    EXPECT_EQ(bytes.substr(4, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(bytes.substr(8, 4), std::string("\xCD\xCC\x6C\x40", 4));
    EXPECT_EQ(bytes.substr(12, 4), std::string("\x18\0\0\0", 4));  // the end offset is the length
    EXPECT_EQ(bytes.substr(16, 4), std::string("\x04\x03\x02\x01", 4));
}

TEST_F(CommandHostJobsTest, InstallsTheListedEntriesAndReportsThem)
{
    SetArchiveInstallHook(&Install);
    WriteJob(P("job.crak"), 42, {KUID(1, 10), KUID(1, 11), KUID(1, 666), KUID(1, 12)}, {true, true, true, false});

    ResultsLog log;
    ChunkedList<KUID> kuids = Kuids({KUID(1, 11), KUID(1, 10)});
    EXPECT_TRUE(CommandHostArchiveInstall(42, kuids, Orvo::File::Path(P("job.crak")), log));
    EXPECT_EQ(List(kuids), (std::vector<KUID>{KUID(1, 10), KUID(1, 11)}));  // in file order
    EXPECT_EQ(log.ErrorCount(), 0u);

    // Everything: a failed install and a missing entry make the job fail; the rest is installed.
    installed_.clear();
    ChunkedList<KUID> all;
    EXPECT_FALSE(CommandHostArchiveInstall(42, all, Orvo::File::Path(P("job.crak")), log));
    EXPECT_EQ(List(all), (std::vector<KUID>{KUID(1, 10), KUID(1, 11)}));
    EXPECT_EQ(log.ErrorCount(), 1u);  // the missing entry; the failed install reports its own

    // A listed asset that the file lacks.
    ChunkedList<KUID> absent = Kuids({KUID(9, 9)});
    EXPECT_FALSE(CommandHostArchiveInstall(42, absent, Orvo::File::Path(P("job.crak")), log));
    EXPECT_TRUE(absent.IsEmpty());
}

// Assets new to the database are staged and installed in batches; an asset installed on its own waits for
// the staged ones before it, so that the package's order holds. Failures of either kind count.
TEST_F(CommandHostJobsTest, NewAssetsAreStagedAndInstalledInBatchesInTheFilesOrder)
{
    const KUID a(3, 1), known(3, 2), badStage(3, 666), refused(3, 4), e(3, 5);
    std::vector<VADPathListRequest> requests;
    FakeDaemon daemon([&](FakeDaemon& d, const FakeDaemon::Frame& f) {
        VADPathListRequest req;
        if (f.header.code != VAD_REQ_INSTALL_FROM_FOLDERS || !VADDecode(f.payload, req))
            return d.Reply(f, kVADStatusNotFound);
        VADKuidListReply reply;
        for (const std::string& folder : req.paths)
        {
            std::string text;
            Orvo::File::ReadFile(folder + "/kuid", text);
            events_.push_back("batch " + text);
            reply.kuids.push_back(text == refused.ToString() ? KUID::Null() : KUID::FromText(text));
        }
        requests.push_back(req);
        d.Reply(f, 0, VADEncode(reply));
    });
    ASSERT_TRUE(Open());
    SetArchiveInstallOnDiskHook(&InstallOnDisk);
    SetArchiveStageOnDiskHook(&Stage);
    events_.clear();
    WriteJob(P("job.crak"), 4, {a, known, badStage, refused, e}, {true, true, true, true, true});
    fs::create_directories(P("staging"));

    ResultsLog log;
    ChunkedList<KUID> kuids;
    EXPECT_FALSE(CommandHostArchiveInstall(4, kuids, Orvo::File::Path(P("job.crak")), log, P("staging"),
                                           {a, badStage, refused, e}));
    EXPECT_EQ(List(kuids), (std::vector<KUID>{a, known, e}));
    const std::vector<std::string> expect = {"stage " + a.ToString(),       "batch " + a.ToString(),
                                             "install " + known.ToString(), "stage " + badStage.ToString(),
                                             "stage " + refused.ToString(), "stage " + e.ToString(),
                                             "batch " + refused.ToString(), "batch " + e.ToString()};
    EXPECT_EQ(events_, expect);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].value, kVADInstallStagedInCache | kVADInstallFavourite);
    EXPECT_TRUE(fs::is_empty(P("staging")));  // every staged copy is gone
}

TEST_F(CommandHostJobsTest, RefusedJobFilesLeaveTheListUnchanged)
{
    SetArchiveInstallHook(&Install);
    WriteJob(P("job.crak"), 5, {KUID(2, 1)}, {true});
    std::string good;
    ASSERT_TRUE(Orvo::File::ReadFile(P("job.crak"), good));

    auto tryInstall = [&](const std::string& bytes, uint32_t id) {
        Orvo::File::WriteFile(P("t.crak"), bytes);
        ResultsLog log;
        ChunkedList<KUID> kuids = Kuids({KUID(2, 1)});
        bool ok = CommandHostArchiveInstall(id, kuids, Orvo::File::Path(P("t.crak")), log);
        EXPECT_EQ(List(kuids), std::vector<KUID>{KUID(2, 1)});
        EXPECT_EQ(log.ErrorCount(), ok ? 0u : 1u);
        return ok;
    };
    EXPECT_TRUE(tryInstall(good, 5));
    installed_.clear();
    EXPECT_FALSE(tryInstall(good, 6));                             // another archive's file
    EXPECT_FALSE(tryInstall(good.substr(0, good.size() - 1), 5));  // end offset no longer the length
    std::string magic = good;
    magic[0] = 'x';
    EXPECT_FALSE(tryInstall(magic, 5));
    for (size_t cut : {size_t(0), size_t(10), size_t(22), good.size() - 5})
    {
        std::string shortFile = good.substr(0, cut);
        if (shortFile.size() >= 16) shortFile[12] = static_cast<char>(cut);  // keep the end offset honest
        EXPECT_FALSE(tryInstall(shortFile, 5)) << cut;
    }
    std::string forged = good;
    forged[20] = '\x7F';  // N far beyond the file
    EXPECT_FALSE(tryInstall(forged, 5));
    std::string entry = good;
    entry[36 + 12] ^= 0x01;  // the entry's soup body size (the entry starts at 36)
    EXPECT_FALSE(tryInstall(entry, 5));
    EXPECT_TRUE(installed_.empty());

    // An entry filed under another KUID is not installed in that asset's place.
    ArchiveJobContents c;
    c.kuids.push_back(KUID(2, 1));
    TDBTagRef other = TDBTagRef::NewContainer();
    other.SetChildKUID("kuid", KUID(3, 3));
    c.entries.push_back(other);
    {
        TFile f(P("swap.crak"), TFile::kWrite);
        WriteArchiveJobHeader(f, 5);
        WriteArchiveJobBody(f, c);
        FinishArchiveJobHeader(f);
    }
    ResultsLog log;
    ChunkedList<KUID> kuids = Kuids({KUID(2, 1)});
    EXPECT_FALSE(CommandHostArchiveInstall(5, kuids, Orvo::File::Path(P("swap.crak")), log));
    EXPECT_TRUE(installed_.empty());
}

TEST_F(CommandHostJobsTest, SaveToDiskWritesTheDaemonsEntries)
{
    FakeDaemon daemon([](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code != VAD_REQ_ARCHIVE_ENTRY) return d.Reply(f, kVADStatusNotFound);
        VADKuidValueRequest req;
        if (!VADDecode(f.payload, req) || req.kuid.contentId == 404 || req.value != 3)
            return d.Reply(f, kVADStatusNotFound);
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("kuid", req.kuid);
        VADTreeReply reply;
        VADTreeToBytes(entry, reply.tree);
        d.Reply(f, 0, VADEncode(reply));
    });
    ASSERT_TRUE(Open());

    for (bool withMissing : {false, true})
    {
        ResultsLog log;
        ChunkedList<KUID> kuids = withMissing ? Kuids({KUID(4, 1), KUID(4, 404)}) : Kuids({KUID(4, 1), KUID(4, 2)});
        {
            TFile f(P("save.crak"), TFile::kWrite);
            ASSERT_TRUE(WriteArchiveJobHeader(f, 77));
            EXPECT_EQ(CommandHostArchiveSaveToDisk(kuids, f, log), !withMissing);
            ASSERT_TRUE(FinishArchiveJobHeader(f));
        }
        ArchiveJobContents c;
        Orvo::String reason;
        ASSERT_TRUE(ReadArchiveJobFile(Orvo::File::Path(P("save.crak")), 77, c, reason)) << reason.c_str();
        ASSERT_EQ(c.kuids, List(kuids));
        EXPECT_EQ(c.entries[0].GetChildKUID("kuid"), KUID(4, 1));
        EXPECT_EQ(c.entries[1].IsNull(), withMissing);
        EXPECT_EQ(log.ErrorCount(), withMissing ? 1u : 0u);
    }
}

TEST(NWSpecFactoryTest, CachesSpecsAndNamesLeakedOnes)
{
    NWSpecFactory& f = NWSpecFactory::Get();
    f.ReleaseAllSpecs();
    EXPECT_EQ(f.GetSpec(KUID::Null()), nullptr);
    NimblewickSpecRef a = f.GetSpec(KUID(1, 2));
    EXPECT_EQ(f.GetSpec(KUID(1, 2)), a);
    {
        NimblewickSpecRef b = f.GetSpec(KUID(1, 3));
    }
    EXPECT_EQ(f.GetSpecCount(), 2u);
    f.ReleaseSpec(KUID(1, 3));
    EXPECT_EQ(f.FindSpec(KUID(1, 3)), nullptr);
    EXPECT_EQ(f.ReleaseAllSpecs(), 1u);  // `a` is still held
    EXPECT_EQ(f.GetSpecCount(), 0u);
    EXPECT_NE(f.GetSpec(KUID(1, 2)), a);  // a fresh one after the release
    f.SetCreator([](const KUID&) -> NimblewickSpec* { return nullptr; });
    EXPECT_EQ(f.GetSpec(KUID(5, 5)), nullptr);
    f.SetCreator(nullptr);
    f.ReleaseAllSpecs();
}

// Textures are compiled for a batch whose copies hold a texture description; a batch without any is installed
// as compiled without its copies being searched.
TEST_F(CommandHostJobsTest, OnlyBatchesWithTextureDescriptionsAreCompiled)
{
    const KUID textured(3, 7), known(3, 2), plain(3, 8);
    std::vector<uint32_t> options;
    FakeDaemon daemon([&](FakeDaemon& d, const FakeDaemon::Frame& f) {
        VADPathListRequest req;
        if (f.header.code != VAD_REQ_INSTALL_FROM_FOLDERS || !VADDecode(f.payload, req))
            return d.Reply(f, kVADStatusNotFound);
        VADKuidListReply reply;
        for (const std::string& folder : req.paths)
        {
            std::string text;
            Orvo::File::ReadFile(folder + "/kuid", text);
            reply.kuids.push_back(KUID::FromText(text));
        }
        options.push_back(req.value);
        d.Reply(f, 0, VADEncode(reply));
    });
    ASSERT_TRUE(Open());
    SetArchiveInstallOnDiskHook(&InstallOnDisk);
    SetArchiveStageOnDiskHook(&StageTextures);
    SetArchiveTextureCompileHook(&Compile);
    events_.clear();
    WriteJob(P("job.crak"), 4, {textured, known, plain}, {true, true, true});
    fs::create_directories(P("staging"));
    ResultsLog log;
    ChunkedList<KUID> kuids;
    EXPECT_TRUE(
        CommandHostArchiveInstall(4, kuids, Orvo::File::Path(P("job.crak")), log, P("staging"), {textured, plain}));
    SetArchiveTextureCompileHook(nullptr);
    EXPECT_EQ(List(kuids), (std::vector<KUID>{textured, known, plain}));
    const std::vector<std::string> expect = {"stage " + textured.ToString(), "compile " + textured.ToString(),
                                             "install " + known.ToString(), "stage " + plain.ToString()};
    EXPECT_EQ(events_, expect);
    const uint32_t compiled = kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled;
    EXPECT_EQ(options, (std::vector<uint32_t>{compiled, compiled}));
    EXPECT_TRUE(fs::is_empty(P("staging")));
}
