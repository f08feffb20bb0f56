// Archives written and read piece by piece: the same bytes, the same verdicts and the same files as the
// archive held in memory, and the bytes of a package written before archives were streamed.
#include "TestSupport.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/ContentArchive.h"

#include "core/TFile.h"
#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "engine/LZSS.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ArchiveStreamTest : public ::testing::Test
{
protected:
    std::string P(const std::string& rel) const { return dir_.P(rel); }
    // Written at exactly this name ("case.txt" beside "Case.txt").
    void Write(const std::string& rel, const std::string& data)
    {
        fs::create_directories(fs::path(P(rel)).parent_path());
        std::ofstream(P(rel), std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    std::string Read(const std::string& rel)
    {
        std::string data;
        Orvo::File::ReadFile(P(rel), data);
        return data;
    }
    static std::map<std::string, std::string> Tree(const std::string& folder)
    {
        std::map<std::string, std::string> out;
        for (auto& e : fs::recursive_directory_iterator(folder))
        {
            std::string data;
            if (e.is_regular_file()) Orvo::File::ReadFile(e.path().string(), data);
            out[fs::relative(e.path(), folder).string() + (e.is_directory() ? "/" : "")] = data;
        }
        return out;
    }
    // The asset of the package in data/packed-before.cdp, file for file.
    void MakeFixtureAsset(const std::string& rel, const std::string& kuidText = "<kuid:700001:42>")
    {
        Write(rel + "/config.txt", "kuid " + kuidText +
                                       "\nusername \"Archive fixture\"\nkind \"scenery\"\ncategory-class \"BR\"\n"
                                       "velmar-build 4.6\nmesh-table\n{\n  default\n  {\n    mesh \"sub/body.im\"\n"
                                       "  }\n}\n");
        Write(rel + "/a.txt", "first file\n");
        Write(rel + "/Case.txt", "Upper case name\n");
        Write(rel + "/case.txt", "lower case name\n");
        Write(rel + "/empty.dat", "");
        std::string body(5000, '\0');
        for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 37 + 11) & 255);
        Write(rel + "/sub/body.im", body);
        Write(rel + "/sub/deeper/x.txt", "deep\n");
    }
    // The entry the daemon's archive entry request makes of a folder (its "kuid" set as the daemon sets it).
    static TDBTagRef DaemonEntry(const std::string& folder, const KUID& kuid, bool compress)
    {
        TDBTagRef entry;
        Orvo::String reason;
        EXPECT_TRUE(MakeArchiveEntryFromFolder(entry, Orvo::File::Path(folder), compress, reason)) << reason.c_str();
        if (entry.GetChildKUID("kuid") != kuid) entry.SetChildKUID("kuid", kuid);
        return entry;
    }
    TempFolder dir_;
};

}  // namespace

TEST_F(ArchiveStreamTest, APackageIsByteForByteTheOneWrittenBefore)
{
    MakeFixtureAsset("src/asset");
    ContentArchiveWriter w;
    Orvo::String result;
    ASSERT_TRUE(w.Open(result, Orvo::File::Path(P("new.cdp")))) << result.c_str();
    ASSERT_TRUE(w.AddFolder(result, KUID(700001, 42), Orvo::File::Path(P("src/asset")), false)) << result.c_str();
    ASSERT_TRUE(w.Finish(result)) << result.c_str();
    std::string before;
    ASSERT_TRUE(Orvo::File::ReadFile(VELMAR_SOURCE_DIR "/assetdb/tests/data/packed-before.cdp", before));
    EXPECT_TRUE(Read("new.cdp") == before) << "the package differs from the one written before";
}

// The writer against ContentArchive::Save: entries as trees and as folders, packed or not, a KUID that
// differs from the config's, the picture set before or after the assets.
TEST_F(ArchiveStreamTest, WriterGivesTheBytesOfTheArchiveInMemory)
{
    MakeFixtureAsset("src/one");
    MakeFixtureAsset("src/two", "<kuid2:700001:43:2>");
    MakeFixtureAsset("src/odd", "<kuid:1:1>");  // filed under another KUID: the tag moves to the end
    const struct
    {
        const char* folder;
        KUID kuid;
    } assets[] = {{"src/one", KUID(700001, 42)}, {"src/two", KUID(700001, 43, 2)}, {"src/odd", KUID(9, 9)}};
    int n = 0;
    for (bool compress : {false, true})
        for (int picture : {0, 1, 2})  // none, before the assets, after them
        {
            SCOPED_TRACE(::testing::Message() << compress << " " << picture);
            const std::string a = P("a" + std::to_string(n) + ".cdp"), b = P("b" + std::to_string(n) + ".cdp");
            ++n;
            ContentArchive memory;
            ContentArchiveWriter fromTrees, fromFolders;
            Orvo::String r;
            ASSERT_TRUE(fromTrees.Open(r, Orvo::File::Path(a)) && fromFolders.Open(r, Orvo::File::Path(b)));
            if (picture == 1)
                for (auto* w : {&fromTrees, &fromFolders}) w->SetThumbnail("JPEG", 4);
            if (picture == 1) memory.SetThumbnail("JPEG", 4);
            for (const auto& asset : assets)
            {
                const TDBTagRef entry = DaemonEntry(P(asset.folder), asset.kuid, compress);
                ASSERT_TRUE(memory.AddAsset(r, entry));
                ASSERT_TRUE(fromTrees.AddAsset(r, entry)) << r.c_str();
                ASSERT_TRUE(fromFolders.AddFolder(r, asset.kuid, Orvo::File::Path(P(asset.folder)), compress))
                    << r.c_str();
            }
            EXPECT_FALSE(fromFolders.AddFolder(r, KUID(700001, 42), Orvo::File::Path(P("src/one")), compress));
            if (picture == 2)
                for (auto* w : {&fromTrees, &fromFolders}) w->SetThumbnail("JPEG", 4);
            if (picture == 2) memory.SetThumbnail("JPEG", 4);
            ASSERT_TRUE(memory.Save(r, Orvo::File::Path(P("memory.cdp"))));
            ASSERT_TRUE(fromTrees.Finish(r) && fromFolders.Finish(r)) << r.c_str();
            EXPECT_TRUE(Read(fs::path(a).filename()) == Read("memory.cdp"));
            EXPECT_TRUE(Read(fs::path(b).filename()) == Read("memory.cdp"));
        }
}

// The archive checked on disk agrees with ContentArchive::Load on every one-byte change of a package, and
// finds the same entries.
TEST_F(ArchiveStreamTest, CheckedOnDiskAsLoadChecksIt)
{
    MakeFixtureAsset("src/asset");
    std::string good;
    ASSERT_TRUE(Orvo::File::ReadFile(VELMAR_SOURCE_DIR "/assetdb/tests/data/packed-before.cdp", good));
    for (size_t at = 0; at < good.size(); at += (at < 400 ? 1 : 97))
    {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x11);
        Write("t.cdp", bytes);
        ContentArchive memory;
        ContentArchiveFile file;
        Orvo::String a, b;
        const bool loaded = memory.Load(a, "", P("t.cdp"));
        ASSERT_EQ(file.Open(b, P("t.cdp")), loaded) << at;
        EXPECT_EQ(a.View(), b.View()) << at;
        if (!loaded) continue;
        std::vector<KUID> kuids;
        for (size_t i = 0; i < memory.GetAssetCount(); ++i)
            if (!memory.GetAssetAt(i).GetChildKUID("kuid").IsNull())
                kuids.push_back(memory.GetAssetAt(i).GetChildKUID("kuid"));
        ASSERT_EQ(file.Entries().size(), kuids.size()) << at;
        for (size_t i = 0; i < kuids.size(); ++i) EXPECT_EQ(file.Entries()[i].kuid, kuids[i]) << at;
    }
    ContentArchiveFile missing;
    Orvo::String r;
    EXPECT_FALSE(missing.Open(r, P("missing.cdp")));
    EXPECT_EQ(r.View(), kCDPUnreadableText);
}

// A job file made from an archive on disk holds what the tree writer writes; its entries exported from disk
// give the files, the checksum and the refusals of the tree export.
TEST_F(ArchiveStreamTest, JobFilesAndExportsFromDiskMatchTheTrees)
{
    MakeFixtureAsset("src/asset");
    for (bool compress : {false, true})
    {
        const TDBTagRef entry = DaemonEntry(P("src/asset"), KUID(700001, 42), compress);
        TDBTagRef unsafe = entry.Clone();
        unsafe.GetChildContainer("files").SetChildBinary("..", "x", 1);
        ContentArchive archive;
        Orvo::String r;
        ASSERT_TRUE(archive.AddAsset(r, entry));
        TDBTagRef second = unsafe.Clone();
        second.SetChildKUID("kuid", KUID(700001, 44));
        ASSERT_TRUE(archive.AddAsset(r, second));
        ASSERT_TRUE(archive.Save(r, Orvo::File::Path(P("j.cdp"))));

        ContentArchiveFile file;
        ASSERT_TRUE(file.Open(r, P("j.cdp")));
        // Whatever stood at the job file's name (here a link to another file) is replaced, not written through.
        Write("victim", "kept");
        fs::remove(P("disk.crak"));
        fs::create_symlink(P("victim"), P("disk.crak"));
        ASSERT_TRUE(WriteArchiveJobFromArchive(P("disk.crak"), 7, file));
        EXPECT_EQ(Read("victim"), "kept");
        EXPECT_EQ(fs::symlink_status(P("disk.crak")).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        ArchiveJobContents contents;
        contents.kuids = {KUID(700001, 42), KUID(700001, 44)};
        contents.entries = {archive.GetAssetAt(0), archive.GetAssetAt(1)};
        {
            TFile out(P("tree.crak"), TFile::kWrite);
            ASSERT_TRUE(WriteArchiveJobHeader(out, 7) && WriteArchiveJobBody(out, contents) &&
                        FinishArchiveJobHeader(out));
        }
        EXPECT_TRUE(Read("disk.crak") == Read("tree.crak"));

        ArchiveJobReader job;
        ASSERT_TRUE(job.Open(Orvo::File::Path(P("disk.crak")), 7, r)) << r.c_str();
        ASSERT_EQ(job.Kuids(), contents.kuids);
        for (size_t i = 0; i < 2; ++i)
        {
            ArchiveEntryOnDisk onDisk;
            ASSERT_TRUE(job.ReadEntry(i, onDisk));
            const TDBTagRef tree = contents.entries[i];
            const std::string out = P("out" + std::to_string(i)), outTree = P("tree" + std::to_string(i));
            Orvo::String reasonDisk, reasonTree, dsid;
            const bool ok = ExportFileTreeOnDisk(onDisk, Orvo::File::Path(out),
                                                 GetArchiveEntryCompression(onDisk.entry).View(), reasonDisk, dsid);
            EXPECT_EQ(ok, ExportFileTree(GetArchiveEntryFiles(tree), Orvo::File::Path(outTree),
                                         GetArchiveEntryCompression(tree).View(), reasonTree));
            EXPECT_EQ(reasonDisk.View(), reasonTree.View());
            EXPECT_EQ(ok, i == 0);
            if (!ok) continue;
            EXPECT_EQ(dsid.View(), ComputeArchiveFilesDSID(GetArchiveEntryFiles(tree)).View());
            EXPECT_EQ(Tree(out), Tree(outTree));
            EXPECT_EQ(MakeInstallableAssetConfig(onDisk.entry).GetChildCount(),
                      MakeInstallableAssetConfig(tree).GetChildCount());
        }
        fs::remove_all(P("out0"));
        fs::remove_all(P("tree0"));
    }
}

// An install job may name the package itself: its entries are read in place, the same as through a job file
// made from it, and a damaged or truncated package is refused with the reason its check gives.
TEST_F(ArchiveStreamTest, APackageIsReadInPlaceAsItsJobFileWouldBe)
{
    MakeFixtureAsset("src/asset");
    MakeFixtureAsset("src/other", "<kuid:700001:43>");
    ContentArchive archive;
    Orvo::String r;
    ASSERT_TRUE(archive.AddAsset(r, DaemonEntry(P("src/asset"), KUID(700001, 42), true)));
    ASSERT_TRUE(archive.AddAsset(r, DaemonEntry(P("src/other"), KUID(700001, 43), false)));
    ASSERT_TRUE(archive.Save(r, Orvo::File::Path(P("p.cdp"))));
    ContentArchiveFile file;
    ASSERT_TRUE(file.Open(r, P("p.cdp")));
    ASSERT_TRUE(WriteArchiveJobFromArchive(P("p.crak"), 9, file));

    ArchiveJobReader viaJob, inPlace;
    ASSERT_TRUE(viaJob.Open(Orvo::File::Path(P("p.crak")), 9, r)) << r.c_str();
    ASSERT_TRUE(inPlace.Open(Orvo::File::Path(P("p.cdp")), 1234, r)) << r.c_str();
    ASSERT_EQ(inPlace.Kuids(), viaJob.Kuids());
    ASSERT_EQ(inPlace.Kuids().size(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        ArchiveEntryOnDisk a, b;
        ASSERT_TRUE(viaJob.ReadEntry(i, a));
        ASSERT_TRUE(inPlace.ReadEntry(i, b));
        const std::string compression(GetArchiveEntryCompression(b.entry).View());
        Orvo::String ra, rb, da, db;
        ASSERT_TRUE(StageArchiveFilesOnDisk(a, P("a" + std::to_string(i)), compression, ra, da)) << ra.c_str();
        ASSERT_TRUE(StageArchiveFilesOnDisk(b, P("b" + std::to_string(i)), compression, rb, db)) << rb.c_str();
        EXPECT_EQ(da.View(), db.View());
        EXPECT_EQ(Tree(P("a" + std::to_string(i))), Tree(P("b" + std::to_string(i))));
        EXPECT_EQ(b.entry.GetChildKUID("kuid"), inPlace.Kuids()[i]);
    }
    EXPECT_FALSE(inPlace.ReadEntry(2, *std::make_unique<ArchiveEntryOnDisk>()));

    std::string bytes = Read("p.cdp");
    Write("cut.cdp", bytes.substr(0, bytes.size() - 10));
    ArchiveJobReader cut;
    EXPECT_FALSE(cut.Open(Orvo::File::Path(P("cut.cdp")), 0, r));
    EXPECT_NE(r.View().find(kCDPDamagedText), std::string_view::npos) << r.c_str();
    EXPECT_TRUE(cut.Kuids().empty());
}

// A stored file larger than the block it is copied through arrives whole with the tree export's checksum; one
// whose bytes cannot all be read (the package cut short after its check) fails and leaves no part of itself.
TEST_F(ArchiveStreamTest, LargeStoredFilesAreCopiedWholeOrNotAtAll)
{
    std::string big(700 << 10, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 31 + i / 4096) & 0xFF);
    // The large file last among the files, so that a cut inside it leaves every header before it whole.
    Write("src/big/config.txt", "kuid <kuid:700001:42>\nusername \"Large\"\nkind \"scenery\"\n");
    Write("src/big/sub/zz.bin", big);
    const TDBTagRef entry = DaemonEntry(P("src/big"), KUID(700001, 42), false);
    ContentArchive archive;
    Orvo::String r;
    ASSERT_TRUE(archive.AddAsset(r, entry));
    ASSERT_TRUE(archive.Save(r, Orvo::File::Path(P("big.cdp"))));
    ArchiveJobReader job;
    ASSERT_TRUE(job.Open(Orvo::File::Path(P("big.cdp")), 0, r)) << r.c_str();
    ArchiveEntryOnDisk onDisk;
    ASSERT_TRUE(job.ReadEntry(0, onDisk));
    Orvo::String reason, dsid;
    ASSERT_TRUE(StageArchiveFilesOnDisk(onDisk, P("whole"), "none", reason, dsid)) << reason.c_str();
    EXPECT_EQ(dsid.View(), ComputeArchiveFilesDSID(GetArchiveEntryFiles(entry)).View());
    EXPECT_TRUE(Read("whole/sub/zz.bin") == big);

    // Cut inside the large file's bytes, after the entry was read.
    const std::string bytes = Read("big.cdp");
    const size_t at = bytes.find(big.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(::truncate(P("big.cdp").c_str(), static_cast<off_t>(at + big.size() / 2)), 0);
    EXPECT_FALSE(StageArchiveFilesOnDisk(onDisk, P("cut"), "none", reason, dsid));
    EXPECT_NE(reason.View().find("Unable to read archive file data"), std::string_view::npos) << reason.c_str();
    EXPECT_FALSE(fs::exists(P("cut/sub/zz.bin")));
}

// A staged copy is the export without the configuration files at its top (the entry's own tags stand for them),
// written only into a folder made for it, never through a link.
TEST_F(ArchiveStreamTest, StagedCopiesLeaveOutTopConfigsAndWriteOnlyIntoANewFolder)
{
    MakeFixtureAsset("src/asset");
    for (bool compress : {false, true})
    {
        TDBTagRef entry = DaemonEntry(P("src/asset"), KUID(700001, 42), compress);
        TDBTagRef files = GetArchiveEntryFiles(entry);
        // File data as the entry's compression holds it.
        auto add = [&](TDBTagRef folder, const char* name, std::string_view data) {
            std::vector<uint8_t> packed(data.begin(), data.end());
            if (compress)
            {
                ASSERT_TRUE(Orvo::LZSSCompress::Compress(data.data(), data.size(), packed));
            }
            folder.SetChildBinary(name, packed.data(), packed.size());
        };
        add(files, "Config.TXT", "stale");
        add(files, "config.chump", "ACS$");
        add(files.GetChildContainer("sub"), "config.txt", "kept");
        SetArchiveEntryDSID(entry);
        ContentArchive archive;
        Orvo::String r;
        ASSERT_TRUE(archive.AddAsset(r, entry));
        ASSERT_TRUE(archive.Save(r, Orvo::File::Path(P("s.cdp"))));
        ContentArchiveFile file;
        ASSERT_TRUE(file.Open(r, P("s.cdp")));
        ASSERT_TRUE(WriteArchiveJobFromArchive(P("s.crak"), 3, file));
        ArchiveJobReader job;
        ASSERT_TRUE(job.Open(Orvo::File::Path(P("s.crak")), 3, r)) << r.c_str();
        ArchiveEntryOnDisk onDisk;
        ASSERT_TRUE(job.ReadEntry(0, onDisk));
        const std::string compression(GetArchiveEntryCompression(onDisk.entry).View());

        fs::remove_all(P("stage"));
        fs::create_directories(P("stage"));
        Orvo::String reason, dsid;
        ASSERT_TRUE(StageArchiveFilesOnDisk(onDisk, P("stage/0"), compression, reason, dsid)) << reason.c_str();
        EXPECT_EQ(dsid.View(), ComputeArchiveFilesDSID(files).View());
        ASSERT_TRUE(ExportFileTree(files, Orvo::File::Path(P("full")), compression, reason));
        std::map<std::string, std::string> expected = Tree(P("full"));
        expected.erase("Config.TXT");
        expected.erase("config.chump");
        EXPECT_EQ(Tree(P("stage/0")), expected);
        EXPECT_EQ(Read("stage/0/sub/config.txt"), "kept");
        fs::remove_all(P("full"));

        // A folder already there, or a link standing at the name, is not written into.
        EXPECT_FALSE(StageArchiveFilesOnDisk(onDisk, P("stage/0"), compression, reason, dsid));
        EXPECT_NE(reason.View().find("Unable to create folder"), std::string_view::npos);
        fs::create_directories(P("elsewhere"));
        fs::create_directory_symlink(P("elsewhere"), P("stage/1"));
        EXPECT_FALSE(StageArchiveFilesOnDisk(onDisk, P("stage/1"), compression, reason, dsid));
        EXPECT_TRUE(fs::is_empty(P("elsewhere")));
        // The configuration the staged copy gets is a new file at exactly its name.
        EXPECT_TRUE(WriteNewFileExact(P("stage/0/config.chump"), "ACS$"));
        EXPECT_FALSE(WriteNewFileExact(P("stage/0/config.chump"), "again"));
        EXPECT_EQ(Read("stage/0/config.chump"), "ACS$");
    }
}

namespace {

// An entry's configuration (its tags besides its files) is bounded as a configuration file is: one past the
// bound is not read; files of any size around a small configuration are.
TEST_F(ArchiveStreamTest, AnEntryWhoseConfigurationPassesTheBoundIsNotRead)
{
    auto entry = [](const KUID& kuid, size_t configBytes, size_t fileBytes) {
        TDBTagRef e = TDBTagRef::NewContainer();
        e.SetChildKUID("kuid", kuid);
        e.SetChildString("description", std::string(configBytes, 'd'));
        e.CreateChildContainer("files").SetChildBinary("data.bin", std::string(fileBytes, 'f').data(), fileBytes);
        e.SetChildString("compression", "none");
        return e;
    };
    const size_t bound = Orvo::kMaxConfigFileBytes;
    ArchiveJobContents contents;
    contents.kuids = {KUID(700002, 1), KUID(700002, 2)};
    contents.entries = {entry(contents.kuids[0], bound, 16), entry(contents.kuids[1], 16, bound + 4096)};
    {
        TFile out(P("big.crak"), TFile::kWrite);
        ASSERT_TRUE(WriteArchiveJobHeader(out, 9) && WriteArchiveJobBody(out, contents) && FinishArchiveJobHeader(out));
    }
    ArchiveJobReader job;
    Orvo::String r;
    ASSERT_TRUE(job.Open(Orvo::File::Path(P("big.crak")), 9, r)) << r.c_str();
    ArchiveEntryOnDisk tooLarge, filesLarge;
    EXPECT_FALSE(job.ReadEntry(0, tooLarge));
    EXPECT_TRUE(tooLarge.configTooLarge);
    ASSERT_TRUE(job.ReadEntry(1, filesLarge));
    EXPECT_FALSE(filesLarge.configTooLarge);
    EXPECT_GT(filesLarge.filesSize, bound);
}

}  // namespace
