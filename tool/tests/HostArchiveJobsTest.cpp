// The command host's archive jobs against a stand-in daemon that records what the real install asks of it:
// assets made and committed one at a time ("install k"), and staged copies installed in batches ("batch k").
#include "ToolTestRoot.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/tests/FakeDaemon.h"
#include "assetdb/tests/TestSupport.h"
#include "core/ConfigFile.h"
#include "core/TFile.h"
#include "tool/HostArchiveJobs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace fs = std::filesystem;

namespace {

class CommandHostJobsTest : public ClientTest
{
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        ToolTestRoot();
    }
    std::string P(const std::string& rel) const { return dir_.P(rel); }

    // An entry for the KUID; `compression` "bogus" makes its staging fail, a file name ending ".texture.txt"
    // gives it a texture description (which does not compile: it names no picture).
    static TDBTagRef Entry(const KUID& kuid, const std::string& file = {}, const std::string& compression = "none")
    {
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("kuid", kuid);
        entry.SetChildString("username", "asset");
        entry.SetChildString("kind", "scenery");
        if (!file.empty())
        {
            const std::string bytes = "primary=missing.png\n";
            entry.CreateChildContainer("files").SetChildBinary(file, bytes.data(), bytes.size());
        }
        entry.SetChildString("compression", compression);
        return entry;
    }

    // Writes a job file with one entry per KUID (null entries where `present` is false).
    void WriteJob(const std::string& path, uint32_t id, const std::vector<KUID>& kuids,
                  const std::vector<bool>& present)
    {
        std::vector<TDBTagRef> entries;
        for (size_t i = 0; i < kuids.size(); ++i) entries.push_back(present[i] ? Entry(kuids[i]) : TDBTagRef());
        WriteJob(path, id, kuids, entries);
    }
    void WriteJob(const std::string& path, uint32_t id, const std::vector<KUID>& kuids,
                  const std::vector<TDBTagRef>& entries)
    {
        ArchiveJobContents c;
        c.kuids = kuids;
        c.entries = entries;
        TFile f(path, TFile::kWrite);
        ASSERT_TRUE(WriteArchiveJobHeader(f, id));
        ASSERT_TRUE(WriteArchiveJobBody(f, c));
        ASSERT_TRUE(FinishArchiveJobHeader(f));
    }

    static std::vector<KUID> List(const ChunkedList<KUID>& l)
    {
        std::vector<KUID> out;
        for (const KUID& k : l) out.push_back(k);
        return out;
    }

    // The daemon's side of the install: no asset is known; content id 666 cannot be made, and a staged copy
    // of `refused_` is refused. Every batch's option word goes to `batchOptions_`.
    void Serve(FakeDaemon& d, const FakeDaemon::Frame& f)
    {
        std::lock_guard lk(mutex_);
        switch (f.header.code)
        {
        case VAD_REQ_CREATE:
        {
            VADCreateRequest req;
            if (!VADDecode(f.payload, req)) return d.Reply(f, kVADStatusBadPayload);
            events_.push_back("install " + req.kuid.ToString());
            if (req.kuid.contentId == 666) return d.Reply(f, kVADStatusFailed);
            const uint32_t handle = static_cast<uint32_t>(edits_.size() + 1);
            const std::string folder = P("edit/" + std::to_string(handle));
            fs::create_directories(folder);
            edits_[handle] = folder;
            installed_.push_back(req.kuid);
            return d.Reply(f, 0, VADEncode(VADValueReply{handle}));
        }
        case VAD_REQ_EDIT_FOLDER:
        {
            VADHandleRequest req;
            if (!VADDecode(f.payload, req) || !edits_.count(req.handle)) return d.Reply(f, kVADStatusNotFound);
            return d.Reply(f, 0, VADEncode(VADEditFolderReply{"editing", edits_[req.handle]}));
        }
        case VAD_REQ_COMMIT:
        {
            // The job writes "config.chump" into the edit folder and commits it.
            VADHandleOptionRequest req;
            if (VADDecode(f.payload, req) && edits_.count(req.handle) &&
                fs::exists(edits_[req.handle] + "/config.chump"))
                ++commits_;
            return d.Reply(f, 0, VADEncode(VADBoolReply{1}));
        }
        case VAD_REQ_INSTALL_FROM_FOLDERS:
        {
            VADPathListRequest req;
            if (!VADDecode(f.payload, req)) return d.Reply(f, kVADStatusBadPayload);
            VADKuidListReply reply;
            for (const std::string& folder : req.paths)
            {
                TDBTagRef config;
                const KUID k =
                    LoadConfigFile(config, "", folder + "/config.chump") ? config.GetChildKUID("kuid") : KUID::Null();
                events_.push_back("batch " + k.ToString());
                reply.kuids.push_back(k == refused_ ? KUID::Null() : k);
            }
            batchOptions_.push_back(req.value);
            return d.Reply(f, 0, VADEncode(reply));
        }
        default:
            // Asynchronous requests (favourite, handle release) get no answer; an asset is known to nobody.
            if (f.header.transaction != 0) d.Reply(f, kVADStatusNotFound);
        }
    }
    FakeDaemon::Handler Handler()
    {
        return [this](FakeDaemon& d, const FakeDaemon::Frame& f) { Serve(d, f); };
    }

    TempFolder dir_;
    std::mutex mutex_;
    std::map<uint32_t, std::string> edits_;
    std::vector<KUID> installed_;
    std::vector<std::string> events_;
    std::vector<uint32_t> batchOptions_;
    int commits_ = 0;
    KUID refused_ = KUID::Null();
};

ChunkedList<KUID> Kuids(std::initializer_list<KUID> ks)
{
    ChunkedList<KUID> l;
    for (const KUID& k : ks) l.Add(k);
    return l;
}

}  // namespace

TEST_F(CommandHostJobsTest, AJobFileThatCannotBeOpenedFailsClearly)
{
    ResultsLog log;
    ChunkedList<KUID> kuids = Kuids({KUID(1, 2)});
    EXPECT_FALSE(CommandHostArchiveInstall(client_, 7, kuids, Orvo::File::Path(P("none")), log));
    EXPECT_EQ(log.ErrorCount(), 1u);
    EXPECT_EQ(List(kuids), std::vector<KUID>{KUID(1, 2)});
}

TEST_F(CommandHostJobsTest, JobFileHeaderLayout)
{
    WriteJob(P("job.crak"), 0x01020304, {}, std::vector<bool>{});
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
    FakeDaemon daemon(connection_, Handler());
    ASSERT_TRUE(Open());
    WriteJob(P("job.crak"), 42, {KUID(1, 10), KUID(1, 11), KUID(1, 666), KUID(1, 12)}, {true, true, true, false});

    ResultsLog log;
    ChunkedList<KUID> kuids = Kuids({KUID(1, 11), KUID(1, 10)});
    EXPECT_TRUE(CommandHostArchiveInstall(client_, 42, kuids, Orvo::File::Path(P("job.crak")), log));
    EXPECT_EQ(List(kuids), (std::vector<KUID>{KUID(1, 10), KUID(1, 11)}));  // in file order
    EXPECT_EQ(log.ErrorCount(), 0u);
    EXPECT_EQ(log.SuccessCount(), 2u);
    EXPECT_EQ(commits_, 2);

    // Everything: a failed install and a missing entry make the job fail; the rest is installed.
    ChunkedList<KUID> all;
    EXPECT_FALSE(CommandHostArchiveInstall(client_, 42, all, Orvo::File::Path(P("job.crak")), log));
    EXPECT_EQ(List(all), (std::vector<KUID>{KUID(1, 10), KUID(1, 11)}));
    EXPECT_EQ(log.ErrorCount(), 2u);  // the missing entry, and the failed install's own

    // A listed asset that the file lacks.
    ChunkedList<KUID> absent = Kuids({KUID(9, 9)});
    EXPECT_FALSE(CommandHostArchiveInstall(client_, 42, absent, Orvo::File::Path(P("job.crak")), log));
    EXPECT_TRUE(absent.IsEmpty());
}

// Assets new to the database are staged and installed in batches; an asset installed on its own waits for
// the staged ones before it, so that the package's order holds. Failures of either kind count.
TEST_F(CommandHostJobsTest, NewAssetsAreStagedAndInstalledInBatchesInTheFilesOrder)
{
    const KUID a(3, 1), known(3, 2), badStage(3, 666), refused(3, 4), e(3, 5);
    refused_ = refused;
    FakeDaemon daemon(connection_, Handler());
    ASSERT_TRUE(Open());
    WriteJob(P("job.crak"), 4, {a, known, badStage, refused, e},
             {Entry(a), Entry(known), Entry(badStage, {}, "bogus"), Entry(refused), Entry(e)});
    fs::create_directories(P("staging"));

    ResultsLog log;
    ChunkedList<KUID> kuids;
    EXPECT_FALSE(CommandHostArchiveInstall(client_, 4, kuids, Orvo::File::Path(P("job.crak")), log, P("staging"),
                                           {a, badStage, refused, e}));
    EXPECT_EQ(List(kuids), (std::vector<KUID>{a, known, e}));
    // The copy of `badStage` could not be made: it is neither installed nor made.
    const std::vector<std::string> expect = {"batch " + a.ToString(), "install " + known.ToString(),
                                             "batch " + refused.ToString(), "batch " + e.ToString()};
    EXPECT_EQ(events_, expect);
    ASSERT_EQ(batchOptions_.size(), 2u);
    // Copies without a texture description have nothing to compile: they count as compiled.
    EXPECT_EQ(batchOptions_[0], kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled);
    EXPECT_TRUE(fs::is_empty(P("staging")));  // every staged copy is gone
}

TEST_F(CommandHostJobsTest, RefusedJobFilesLeaveTheListUnchanged)
{
    FakeDaemon daemon(connection_, Handler());
    ASSERT_TRUE(Open());
    WriteJob(P("job.crak"), 5, {KUID(2, 1)}, std::vector<bool>{true});
    std::string good;
    ASSERT_TRUE(Orvo::File::ReadFile(P("job.crak"), good));

    auto tryInstall = [&](const std::string& bytes, uint32_t id) {
        Orvo::File::WriteFile(P("t.crak"), bytes);
        ResultsLog log;
        ChunkedList<KUID> kuids = Kuids({KUID(2, 1)});
        bool ok = CommandHostArchiveInstall(client_, id, kuids, Orvo::File::Path(P("t.crak")), log);
        EXPECT_EQ(List(kuids), std::vector<KUID>{KUID(2, 1)});
        EXPECT_EQ(log.ErrorCount(), ok ? 0u : 1u);
        return ok;
    };
    EXPECT_TRUE(tryInstall(good, 5));
    installed_.clear();
    events_.clear();
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
    EXPECT_FALSE(CommandHostArchiveInstall(client_, 5, kuids, Orvo::File::Path(P("swap.crak")), log));
    EXPECT_TRUE(installed_.empty());
}

TEST_F(CommandHostJobsTest, SaveToDiskWritesTheDaemonsEntries)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
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
            EXPECT_EQ(CommandHostArchiveSaveToDisk(client_, kuids, f, log), !withMissing);
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

// Textures are compiled for a batch whose copies hold a texture description (its findings are warnings about
// the asset); a batch without any is installed as compiled without its copies being searched.
TEST_F(CommandHostJobsTest, OnlyBatchesWithTextureDescriptionsAreCompiled)
{
    const KUID textured(3, 7), known(3, 2), plain(3, 8);
    FakeDaemon daemon(connection_, Handler());
    ASSERT_TRUE(Open());
    WriteJob(P("job.crak"), 4, {textured, known, plain},
             {Entry(textured, "a.texture.txt"), Entry(known), Entry(plain, "readme.txt")});
    fs::create_directories(P("staging"));
    ResultsLog log;
    ChunkedList<KUID> kuids;
    EXPECT_TRUE(CommandHostArchiveInstall(client_, 4, kuids, Orvo::File::Path(P("job.crak")), log, P("staging"),
                                          {textured, plain}));
    EXPECT_EQ(List(kuids), (std::vector<KUID>{textured, known, plain}));
    const std::vector<std::string> expect = {"batch " + textured.ToString(), "install " + known.ToString(),
                                             "batch " + plain.ToString()};
    EXPECT_EQ(events_, expect);
    // The description names a picture that is not there: a warning about the textured asset, none about the rest.
    size_t aboutTextured = 0;
    for (const ResultsLog::Result& r : log.GetResults())
    {
        const VelmarPropertyAssetID* id = r.source.AsAssetID();
        if (r.kind == kResultWarning && id && id->GetKUID() == textured) ++aboutTextured;
        EXPECT_FALSE(r.kind == kResultWarning && id && id->GetKUID() != textured) << r.text.str();
    }
    EXPECT_GT(aboutTextured, 0u);
    const uint32_t compiled = kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled;
    EXPECT_EQ(batchOptions_, (std::vector<uint32_t>{compiled, compiled}));
    EXPECT_TRUE(fs::is_empty(P("staging")));
}
