#include "TestSupport.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"

#include "core/SoupBinary.h"
#include "engine/File.h"
#include "engine/LZSS.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace fs = std::filesystem;

namespace {

class ContentArchiveTest : public ::testing::Test
{
protected:
    std::string P(const std::string& rel) const { return dir_.P(rel); }
    void Write(const std::string& rel, const std::string& data)
    {
        fs::create_directories(fs::path(P(rel)).parent_path());
        ASSERT_TRUE(Orvo::File::WriteFile(P(rel), data));
    }
    // Every file below a folder with its bytes.
    static std::map<std::string, std::string> Tree(const std::string& folder)
    {
        std::map<std::string, std::string> out;
        for (auto& e : fs::recursive_directory_iterator(folder))
        {
            std::string rel = fs::relative(e.path(), folder).string();
            std::string data;
            if (e.is_regular_file()) Orvo::File::ReadFile(e.path().string(), data);
            out[rel + (e.is_directory() ? "/" : "")] = data;
        }
        return out;
    }
    void MakeAsset(const std::string& rel)
    {
        Write(rel + "/config.txt", "kuid\t<kuid:123:456>\nusername\t\"Red coach\"\nkind\t\"traincar\"\n");
        std::string binary(70000, '\0');
        std::mt19937 rng(5);
        for (size_t i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>(i % 3 ? (i / 64) + (rng() % 4 == 0) : 0);
        Write(rel + "/body.im", binary);
        Write(rel + "/empty.txt", "");
        Write(rel + "/textures/Body.texture.txt", "Primary=body.tga\nAlpha=\n");
        Write(rel + "/textures/deep/more/notes.txt", std::string(5000, 'n'));
        fs::create_directories(P(rel + "/emptyfolder"));
    }
    TempFolder dir_;
};

TDBTagRef EntryWithFile(const char* name, const std::string& data)
{
    TDBTagRef entry = TDBTagRef::NewContainer();
    entry.SetChildKUID("kuid", KUID(1, 2));
    TDBTagRef files = entry.CreateChildContainer("files");
    files.SetChildBinary(name, data.data(), data.size());
    entry.SetChildString("compression", "none");
    return entry;
}

}  // namespace

TEST_F(ContentArchiveTest, PackSaveLoadExportGivesIdenticalBytes)
{
    MakeAsset("src/asset");
    for (bool compress : {true, false})
    {
        TDBTagRef entry;
        Orvo::String reason;
        ASSERT_TRUE(MakeArchiveEntryFromFolder(entry, P("src/asset"), compress, reason)) << reason.c_str();
        EXPECT_EQ(GetArchiveEntryCompression(entry).View(), compress ? "lzss" : "none");
        EXPECT_TRUE(CheckArchiveEntryDSID(entry));
        EXPECT_FALSE(GetArchiveEntryFiles(entry).HasChild("config.txt"));

        ContentArchive archive;
        ASSERT_TRUE(archive.AddAsset(reason, entry)) << reason.c_str();
        std::string cdp = P(compress ? "packed.cdp" : "plain.cdp");
        ASSERT_TRUE(archive.Save(reason, Orvo::File::Path(cdp))) << reason.c_str();

        ContentArchive loaded;
        ASSERT_TRUE(loaded.Load(reason, "", cdp)) << reason.c_str();
        EXPECT_TRUE(reason.IsEmpty());
        ASSERT_EQ(loaded.GetAssetCount(), 1u);
        TDBTagRef back = loaded.GetAssetAt(0);
        EXPECT_TRUE(CheckArchiveEntryDSID(back));
        EXPECT_EQ(GetAssetDisplayName(back).View(), "Red coach");
        TDBTagRef table;
        ASSERT_TRUE(FindArchiveTag(loaded.GetRoot(), "contents-table", table));
        EXPECT_EQ(table.GetChildString("<kuid:123:456>").View(), "Red coach");

        std::string out = P(compress ? "out-packed" : "out-plain");
        ASSERT_TRUE(ExportFileTree(GetArchiveEntryFiles(back), Orvo::File::Path(out),
                                   GetArchiveEntryCompression(back).View(), reason))
            << reason.c_str();
        auto expected = Tree(P("src/asset"));
        expected.erase("config.txt");
        EXPECT_EQ(Tree(out), expected);

        TDBTagRef config = MakeInstallableAssetConfig(back);
        EXPECT_FALSE(config.HasChild("files"));
        EXPECT_FALSE(config.HasChild("dsid"));
        EXPECT_FALSE(config.HasChild("compression"));
        EXPECT_EQ(config.GetChildKUID("kuid"), KUID(123, 456));
    }
    if (fs::file_size(P("packed.cdp")) >= fs::file_size(P("plain.cdp"))) ADD_FAILURE() << "LZSS saved nothing";
}

TEST_F(ContentArchiveTest, LoadFailuresGiveTheirFixedTexts)
{
    MakeAsset("src/asset");
    TDBTagRef entry;
    Orvo::String reason;
    ASSERT_TRUE(MakeArchiveEntryFromFolder(entry, P("src/asset"), true, reason));
    ContentArchive archive;
    ASSERT_TRUE(archive.AddAsset(reason, entry));
    ASSERT_TRUE(archive.Save(reason, Orvo::File::Path(P("good.cdp"))));
    std::string good;
    ASSERT_TRUE(Orvo::File::ReadFile(P("good.cdp"), good));

    auto loadText = [&](const std::string& bytes) {
        Orvo::File::WriteFile(P("t.cdp"), bytes);
        ContentArchive a;
        Orvo::String result;
        EXPECT_FALSE(a.Load(result, "", P("t.cdp")));
        EXPECT_EQ(a.GetAssetCount(), 0u);
        return std::string(result.View());
    };
    EXPECT_EQ(loadText("PK\x03\x04 not ours"), kCDPNotValidText);
    EXPECT_EQ(loadText(""), kCDPNotValidText);
    EXPECT_EQ(loadText(good.substr(0, good.size() / 2)), kCDPDamagedText);
    EXPECT_EQ(loadText(good.substr(0, 17)), kCDPDamagedText);
    std::string newer = good;
    newer[4] = 2;
    EXPECT_EQ(loadText(newer), kCDPNewerVersionText);
    std::string broken = good;
    broken[16] ^= 0x40;  // the first chunk's size no longer nests
    EXPECT_EQ(loadText(broken), kCDPDamagedText);

    // A sound soup that is no archive (a binary asset config) is not a valid CDP.
    TDBTagRef config = TDBTagRef::NewContainer();
    config.SetChildString("kind", "scenery");
    std::string chump;
    ASSERT_TRUE(WriteSoupBinary(config, chump));
    EXPECT_EQ(loadText(chump), kCDPNotValidText);

    ContentArchive a;
    EXPECT_FALSE(a.Load(reason, "", P("missing.cdp")));
    EXPECT_EQ(reason.View(), kCDPUnreadableText);
}

TEST_F(ContentArchiveTest, SaveAndAddRefuseWhatTheyCannotTake)
{
    ContentArchive archive;
    Orvo::String result;
    EXPECT_FALSE(archive.Save(result, Orvo::File::Path(P("x.zip"))));
    EXPECT_EQ(result.View(), kCDPNeedsExtensionText);
    EXPECT_FALSE(fs::exists(P("x.zip")));
    EXPECT_TRUE(archive.Save(result, Orvo::File::Path(P("empty.CDP"))));
    ContentArchive empty;
    EXPECT_TRUE(empty.Load(result, "", P("empty.CDP")));
    EXPECT_EQ(empty.GetAssetCount(), 0u);
    EXPECT_TRUE(empty.GetAssetAt(0).IsNull());

    TDBTagRef entry = EntryWithFile("a.txt", "A");
    EXPECT_TRUE(archive.AddAsset(result, entry));
    EXPECT_FALSE(archive.AddAsset(result, entry));
    EXPECT_FALSE(result.IsEmpty());
    EXPECT_FALSE(archive.AddAsset(result, TDBTagRef::NewContainer()));
    EXPECT_EQ(archive.GetAssetCount(), 1u);
    entry.SetChildString("username", "changed later");  // the archive holds its own copy
    EXPECT_TRUE(archive.GetAssetAt(0).GetChildString("username").IsEmpty());

    TDBTagRef tag;
    EXPECT_FALSE(FindArchiveTag(archive.GetRoot(), "thumbnail", tag));
    archive.SetThumbnail("JPEG", 4);
    ASSERT_TRUE(FindArchiveTag(archive.GetRoot(), "thumbnail", tag));
    EXPECT_TRUE(ExportArchiveFile(tag, result, Orvo::File::Path(P("thumb.jpg"))));
    std::string thumb;
    Orvo::File::ReadFile(P("thumb.jpg"), thumb);
    EXPECT_EQ(thumb, "JPEG");
}

TEST_F(ContentArchiveTest, UnsafeFileNamesAreRefusedBeforeAnythingIsWritten)
{
    for (const char* bad : {"..", "../evil.txt", "a/../../evil.txt", "/tmp/evil.txt", "sub\\..\\evil.txt",
                            "dir/evil.txt", "x:evil.txt", "", "tab\tname"})
    {
        TDBTagRef entry = EntryWithFile("fine.txt", "ok");
        GetArchiveEntryFiles(entry).SetChildBinary(bad, "evil", 4);
        Orvo::String reason;
        std::string target = P("target");
        EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(entry), Orvo::File::Path(target), "none", reason)) << bad;
        EXPECT_FALSE(reason.IsEmpty()) << bad;
        EXPECT_FALSE(fs::exists(target)) << bad;
        EXPECT_FALSE(fs::exists(P("evil.txt"))) << bad;
    }
    // The same name one folder down.
    TDBTagRef entry = EntryWithFile("fine.txt", "ok");
    GetArchiveEntryFiles(entry).CreateChildContainer("sub").SetChildBinary("..", "x", 1);
    Orvo::String reason;
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(entry), Orvo::File::Path(P("t2")), "none", reason));
    EXPECT_FALSE(fs::exists(P("t2")));

    EXPECT_TRUE(IsSafeArchiveFileName("Body.texture.txt"));
    EXPECT_TRUE(IsSafeArchiveFileName(".hidden"));
    EXPECT_FALSE(IsSafeArchiveFileName("a..b"));
}

TEST_F(ContentArchiveTest, FileEntriesThatAreNotSoundDataAreRefused)
{
    Orvo::String result;
    // Damaged LZSS data.
    TDBTagRef entry = EntryWithFile("f.bin", "\x10\0\0\0\x01\xFF\xFF");
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(entry), Orvo::File::Path(P("o1")), "lzss", result));
    EXPECT_FALSE(result.IsEmpty());
    // Unknown compression, a value that is no file data.
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(entry), Orvo::File::Path(P("o2")), "zip", result));
    EXPECT_FALSE(fs::exists(P("o2")));
    TDBTagRef odd = EntryWithFile("f.bin", "x");
    GetArchiveEntryFiles(odd).SetChildInt("number.txt", 5);
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(odd), Orvo::File::Path(P("o3")), "none", result));
    // A stored path is only followed for entries the program made itself.
    Write("secret.txt", "secret");
    TDBTagRef stored = TDBTagRef::NewContainer();
    stored.SetChildString("f", P("secret.txt"));
    EXPECT_FALSE(ExportArchiveFile(stored.GetChild("f"), result, Orvo::File::Path(P("copy.txt"))));
    EXPECT_FALSE(fs::exists(P("copy.txt")));
    EXPECT_TRUE(ExportArchiveFile(stored.GetChild("f"), result, Orvo::File::Path(P("copy.txt")), "none", true));
    // LZSS data is unpacked.
    std::vector<uint8_t> packed;
    Orvo::LZSSCompress::Compress("hello hello hello", 17, packed);
    TDBTagRef lz = TDBTagRef::NewContainer();
    lz.SetChildBinary("f", packed.data(), packed.size());
    ASSERT_TRUE(ExportArchiveFile(lz.GetChild("f"), result, Orvo::File::Path(P("lz.txt")), "LZSS"));
    std::string text;
    Orvo::File::ReadFile(P("lz.txt"), text);
    EXPECT_EQ(text, "hello hello hello");
}

TEST_F(ContentArchiveTest, DSIDFollowsTheFiles)
{
    TDBTagRef entry = EntryWithFile("a.txt", "A");
    EXPECT_FALSE(CheckArchiveEntryDSID(entry));  // none yet
    SetArchiveEntryDSID(entry);
    EXPECT_TRUE(CheckArchiveEntryDSID(entry));
    std::string dsid(entry.GetChildString("dsid").View());
    EXPECT_NE(dsid.find(':'), std::string::npos);
    GetArchiveEntryFiles(entry).SetChildBinary("a.txt", "B", 1);
    EXPECT_FALSE(CheckArchiveEntryDSID(entry));
    EXPECT_EQ(ComputeArchiveFilesDSID(TDBTagRef()).View(), "0:0");
}

TEST_F(ContentArchiveTest, CopyFileAtReportsEachFailure)
{
    Orvo::String result;
    std::string big(3 * 1024 * 1024 + 17, 'b');
    Write("big.bin", big);
    ASSERT_TRUE(CopyFileAt(Orvo::File::Path(P("big.bin")), Orvo::File::Path(P("big2.bin")), result));
    std::string copy;
    Orvo::File::ReadFile(P("big2.bin"), copy);
    EXPECT_EQ(copy, big);

    ASSERT_TRUE(CopyFileAt(Orvo::File::Path(P("big.bin")), Orvo::File::Path(P("./big.bin")), result));
    EXPECT_EQ(fs::file_size(P("big.bin")), big.size()) << "copying a file onto itself must not empty it";

    EXPECT_FALSE(CopyFileAt(Orvo::File::Path(P("nope.bin")), Orvo::File::Path(P("x.bin")), result));
    EXPECT_EQ(std::string(result.View()), "Unable to open source file: " + P("nope.bin"));
    EXPECT_FALSE(CopyFileAt(Orvo::File::Path(P("big.bin")), Orvo::File::Path(P("no/such/dir/x.bin")), result));
    EXPECT_EQ(std::string(result.View()), "Unable to open target file: " + P("no/such/dir/x.bin"));
}

TEST_F(ContentArchiveTest, NamesDifferingInCaseStayTwoFilesAndLinksStayOutOfPackages)
{
    const std::map<std::string, std::string> files = {
        {"Case.txt", "upper"}, {"case.txt", "lower"}, {"Sub/a.txt", "upper folder"}, {"sub/a.txt", "lower folder"}};
    for (const auto& [name, data] : files)
    {
        fs::create_directories(fs::path(P("src/asset/" + name)).parent_path());
        std::ofstream(P("src/asset/" + name)) << data;  // exactly these names
    }
    Write("src/asset/config.txt", "kuid\t<kuid:123:456>\n");
    Write("outside/secret.txt", "secret");
    fs::create_directory_symlink(P("outside"), P("src/asset/linked"));
    fs::create_symlink(P("outside/secret.txt"), P("src/asset/secret.txt"));
    TDBTagRef entry;
    Orvo::String reason;
    std::vector<std::string> leftOut;
    ASSERT_TRUE(MakeArchiveEntryFromFolder(entry, P("src/asset"), true, reason, &leftOut)) << reason.c_str();
    EXPECT_EQ(leftOut, (std::vector<std::string>{P("src/asset/linked"), P("src/asset/secret.txt")}));

    // A link waiting in the target folder is not written through.
    fs::create_directories(P("out"));
    fs::create_symlink(P("outside/secret.txt"), P("out/case.txt"));
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(entry), P("out"), "lzss", reason));
    EXPECT_EQ(Tree(P("outside")), (std::map<std::string, std::string>{{"secret.txt", "secret"}}));
    fs::remove(P("out/case.txt"));
    ASSERT_TRUE(ExportFileTree(GetArchiveEntryFiles(entry), P("out"), "lzss", reason)) << reason.c_str();
    std::map<std::string, std::string> want = files;
    want["Sub/"] = want["sub/"] = "";
    EXPECT_EQ(Tree(P("out")), want);

    // The same name twice in one folder cannot be written as two files: refused before anything is written.
    TDBTagRef twice = EntryWithFile("a.txt", "one");
    GetArchiveEntryFiles(twice).AddChildTag("a.txt", GetArchiveEntryFiles(twice).GetChildAt(0).Clone());
    EXPECT_FALSE(ExportFileTree(GetArchiveEntryFiles(twice), P("twice"), "none", reason));
    EXPECT_EQ(std::string(reason.View()), "The archive holds the file name 'a.txt' twice in one folder");
    EXPECT_FALSE(fs::exists(P("twice")));
}
