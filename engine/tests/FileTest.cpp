#include "engine/File.h"
#include "engine/PathComponents.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using Orvo::File;
namespace fs = std::filesystem;

namespace {

class FileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.IsValid()); }
    void TearDown() override
    {
        File::Subst("content", nullptr, false);
        File::Subst("pack", nullptr, false);
    }
    void Put(const std::string& rel, const std::string& data)
    {
        fs::create_directories(fs::path(root + "/" + rel).parent_path());
        std::ofstream(root + "/" + rel, std::ios::binary) << data;
    }
    std::string Slurp(const std::string& path)
    {
        std::string out;
        EXPECT_TRUE(File::ReadFile(path, out)) << File::LastError().message;
        return out;
    }
    ScratchFolder folder;
    const std::string root = folder.path;
};

}  // namespace

TEST(FilePath, BackslashInputAndOperations)
{
    File::Path p("assets\\Loco\\Body.IM");
    EXPECT_EQ(p.str(), "assets/Loco/Body.IM");
    EXPECT_EQ(p.GetFileName(), "Body.IM");
    EXPECT_EQ(p.GetExt(), "IM");
    EXPECT_TRUE(p.IsExt("im"));
    EXPECT_TRUE(p.IsExt(".IM"));
    EXPECT_FALSE(p.IsExt("i"));
    EXPECT_EQ(p.ReplaceForwardSlashes(), "assets\\Loco\\Body.IM");
    EXPECT_EQ(p.str(), "assets/Loco/Body.IM");  // stored form unchanged
    EXPECT_FALSE(p.IsAbsolute());
    EXPECT_TRUE(File::Path("/opt\\x").IsAbsolute());

    File::Path q = p;
    q.SetExt("kin");
    EXPECT_EQ(q.str(), "assets/Loco/Body.kin");
    q.DelExt().SetExt(".txt");
    EXPECT_EQ(q.str(), "assets/Loco/Body.txt");
    EXPECT_EQ(File::Path("x.texture.txt").DelExt().str(), "x.texture");
    EXPECT_EQ(File::Path("dir.d/noext").GetExt(), "");  // a dot in a folder is no extension
    EXPECT_EQ(File::Path("dir.d/noext").SetExt("txt").str(), "dir.d/noext.txt");

    q.DelName();
    EXPECT_EQ(q.str(), "assets/Loco/");
    q.AddPath("\\sub\\a.txt");
    EXPECT_EQ(q.str(), "assets/Loco/sub/a.txt");
    EXPECT_EQ(File::Path("a").AddPath("b").str(), "a/b");
    EXPECT_EQ(File::Path("a/").AddPath("/b").str(), "a/b");
    EXPECT_EQ(File::Path("a").AddPath("").str(), "a");
    EXPECT_EQ(File::Path("a").Add(".bak").str(), "a.bak");
    EXPECT_EQ(File::Path("c.txt").DelName().str(), "");
    EXPECT_EQ(File::Path("/c").DelName().str(), "/");

    EXPECT_EQ(File::Path("a/./b//c/../d").Normalise().str(), "a/b/d");
    EXPECT_EQ(File::Path("../x/..").Normalise().str(), "..");
    EXPECT_EQ(File::Path("/../etc").Normalise().str(), "/etc");

    EXPECT_EQ(File::Path("/root/UserData/local/x/config.txt").RelativeTo("/root/userdata").str(), "local/x/config.txt");
    EXPECT_EQ(File::Path("/root/ab/c").RelativeTo("/root/a").str(), "/root/ab/c");
    EXPECT_EQ(File::Path("/root/a").RelativeTo("/root/a/").str(), "");
}

TEST(FilePath, NamesThatStayInsideTheirFolder)
{
    for (const char* name : {"a.tga", "sub/a.tga", "sub\\a.tga", "..a", "a..b/c", "./a"})
        EXPECT_TRUE(Orvo::IsInsideName(name)) << name;
    for (const char* name : {"", "..", "../a", "sub/../a", "sub\\..\\a", "a/..", "/a", "\\a", "c:a", "data:a"})
        EXPECT_FALSE(Orvo::IsInsideName(name)) << name;
    EXPECT_TRUE(Orvo::HasDotDotPart("/root/x/../y"));
    EXPECT_TRUE(Orvo::HasDotDotPart("x\\.."));
    EXPECT_FALSE(Orvo::HasDotDotPart("/root/x/..y/...z"));
}

TEST_F(FileTest, ReadWriteLinesSeekAndEof)
{
    std::string path = root + "/lines.txt";
    File w;
    ASSERT_EQ(w.Open(path, File::ModeWrite), 0);
    EXPECT_TRUE(w.WriteLine("one"));
    EXPECT_TRUE(w.Write(std::string_view("two\r\nthree")));
    w.Close();

    File r;
    ASSERT_EQ(r.Open(path, 16, 0), 0);
    EXPECT_EQ(r.Size(), 14);
    char buf[64];
    EXPECT_EQ(r.ReadLine(buf, sizeof buf), 4u);
    EXPECT_STREQ(buf, "one\n");
    EXPECT_FALSE(r.Eof());
    std::string line;
    EXPECT_TRUE(r.ReadLine(line));
    EXPECT_EQ(line, "two");
    EXPECT_EQ(r.ReadLine(buf, 3), 2u);  // bounded by the buffer
    EXPECT_STREQ(buf, "th");
    EXPECT_EQ(r.ReadLine(buf, sizeof buf), 3u);  // the last line without a line end
    EXPECT_STREQ(buf, "ree");
    EXPECT_TRUE(r.Eof());
    EXPECT_EQ(r.ReadLine(buf, sizeof buf), 0u);
    ASSERT_TRUE(r.Seek(4));
    EXPECT_EQ(r.Tell(), 4);
    char three[3];
    EXPECT_EQ(r.Read(three, 3), 3u);
    EXPECT_EQ(std::string(three, 3), "two");
    r.Close();

    File a;
    ASSERT_EQ(a.Open(path, File::ModeAppend), 0);
    a.Write(std::string_view("!"));
    a.Close();
    EXPECT_EQ(Slurp(path), "one\ntwo\r\nthree!");

    File rw;
    ASSERT_EQ(rw.Open(path, File::ModeReadWrite), 0);
    rw.Seek(0);
    rw.Write(std::string_view("ONE"));
    rw.Close();
    EXPECT_EQ(Slurp(path).substr(0, 4), "ONE\n");

    File missing;
    EXPECT_EQ(missing.Open(root + "/nope.txt", File::ModeRead), File::NotFound);
    EXPECT_NE(File::LastError().message.find("nope.txt"), std::string::npos);
    EXPECT_EQ(missing.Open(root, File::ModeRead), File::AccessDenied);  // a folder
    EXPECT_EQ(missing.Open(path, 0), File::BadMode);
}

TEST_F(FileTest, CaseInsensitiveFallbackFindsFilesAndFolders)
{
    Put("Asset/Textures/Texture.TGA", "pixels");
    EXPECT_TRUE(File::Exists(root + "/asset/textures/texture.tga"));
    EXPECT_TRUE(File::Exists(root + "\\ASSET\\Textures\\TEXTURE.tga"));
    EXPECT_EQ(Slurp(root + "/asset/textures/texture.tga"), "pixels");
    EXPECT_TRUE(File::IsDirectory(root + "/asset/TEXTURES"));
    EXPECT_FALSE(File::Exists(root + "/asset/textures/texture.tga.bak"));
    EXPECT_EQ(File::GetSize(root + "/ASSET/textures/texture.tga"), 6);

    // A file written is the one the system finds for the path: no folder or file of another case is taken for it.
    EXPECT_FALSE(File::WriteFile(root + "/asset/textures/new.txt", "n"));
    EXPECT_FALSE(fs::exists(root + "/Asset/Textures/new.txt"));
    ASSERT_TRUE(File::WriteFile(root + "/Asset/Textures/TEXTURE.TGA", "other"));
    EXPECT_EQ(Slurp(root + "/Asset/Textures/Texture.TGA"), "pixels");

    // An exact match wins over a case-insensitive one.
    Put("Asset/textures/x.txt", "lower");
    Put("Asset/Textures/x.txt", "upper");
    EXPECT_EQ(Slurp(root + "/Asset/textures/x.txt"), "lower");
}

TEST_F(FileTest, SubstitutionResolvesAndRefusesUnsafePaths)
{
    Put("scripts/lib/Util.gs", "code");
    ASSERT_TRUE(File::Subst("content", (root + "\\scripts\\").c_str(), true));
    EXPECT_TRUE(File::HasSubst("CONTENT"));
    EXPECT_EQ(Slurp("content:lib/util.gs"), "code");
    EXPECT_EQ(Slurp("Content:\\lib\\Util.gs"), "code");
    EXPECT_EQ(Slurp("content:lib/../lib/./Util.gs"), "code");
    std::string resolved;
    ASSERT_TRUE(File::Resolve("content:lib/Util.gs", resolved));
    EXPECT_EQ(resolved, root + "/scripts/lib/Util.gs");

    // Leaving the substitution root is refused, with an error code and a message.
    EXPECT_FALSE(File::Exists("content:../scripts/lib/Util.gs"));
    EXPECT_EQ(File::LastError().code, File::InvalidPath);
    EXPECT_NE(File::LastError().message.find("leaves"), std::string::npos);
    File f;
    EXPECT_EQ(f.Open("content:lib/../../x", File::ModeWrite), File::InvalidPath);
    EXPECT_FALSE(fs::exists(root + "/x"));

    // An embedded NUL is refused rather than truncating the path.
    std::string withNul = root + "/scripts/lib/Util.gs";
    withNul.insert(withNul.size() - 3, 1, '\0');
    EXPECT_FALSE(File::Exists(withNul));
    EXPECT_EQ(File::LastError().code, File::InvalidPath);
    EXPECT_EQ(f.Open(withNul, File::ModeRead), File::InvalidPath);

    // Archives are recorded but cannot be read through.
    ASSERT_TRUE(File::Subst("pack", (root + "/pack.oa").c_str(), false));
    EXPECT_FALSE(File::Exists("pack:a.txt"));
    EXPECT_EQ(File::LastError().code, File::NotSupported);

    // Replacing and removing; an unknown name is a plain path again.
    ASSERT_TRUE(File::Subst("content", (root + "/scripts/lib").c_str(), true));
    EXPECT_TRUE(File::Exists("content:Util.gs"));
    ASSERT_TRUE(File::Subst("content", nullptr, false));
    EXPECT_FALSE(File::HasSubst("content"));
    EXPECT_FALSE(File::Exists("content:Util.gs"));
    EXPECT_FALSE(File::Subst("bad:name", "/tmp", true));
}

TEST_F(FileTest, FindListsMatchingEntriesSorted)
{
    Put("dir/b.TXT", "12");
    Put("dir/a.txt", "1");
    Put("dir/c.tga", "");
    Put("dir/Sub/inner.txt", "");
    File::Find all(root + "/dir/*");
    ASSERT_TRUE(all.IsOpen());
    std::vector<std::string> names;
    while (all.Next()) names.push_back(all.Name() + (all.IsFolder() ? "/" : ""));
    EXPECT_EQ(names, (std::vector<std::string>{"Sub/", "a.txt", "b.TXT", "c.tga"}));

    File::Find txt(root + "\\DIR\\*.txt");
    ASSERT_TRUE(txt.IsOpen());
    ASSERT_EQ(txt.Entries().size(), 2u);
    EXPECT_EQ(txt.Entries()[1].name, "b.TXT");
    EXPECT_EQ(txt.Entries()[1].size, 2u);
    EXPECT_EQ(txt.Entries()[1].Attributes(), 0u);
    EXPECT_GT(txt.Entries()[1].modified, 0);
    EXPECT_EQ(File::Find(root + "/dir/*.*").Entries().size(), 4u);
    EXPECT_EQ(File::Find(root + "/dir/?.t*").Entries().size(), 3u);
    EXPECT_EQ(File::Find(root + "/dir/*.none").Entries().size(), 0u);

    ASSERT_TRUE(File::Subst("content", root.c_str(), true));
    File::Find viaSubst("content", "dir/*.tga");
    ASSERT_TRUE(viaSubst.IsOpen());
    ASSERT_EQ(viaSubst.Entries().size(), 1u);
    EXPECT_EQ(viaSubst.Entries()[0].name, "c.tga");
    File::Find sub("content", "dir/sub/*");
    ASSERT_TRUE(sub.IsOpen());
    EXPECT_EQ(sub.Entries()[0].Attributes(), 0u);

    File::Find missing(root + "/nowhere/*");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Next());
    EXPECT_EQ(File::LastError().code, File::NotFound);
}

TEST_F(FileTest, FolderAndFileOperations)
{
    ASSERT_TRUE(File::Md(root + "/x/y/z"));
    EXPECT_TRUE(File::IsDirectory(root + "/x/y/z"));
    EXPECT_TRUE(File::Md(root + "/x/y/z"));  // again: already there
    Put("x/y/file.txt", "data");
    EXPECT_FALSE(File::Md(root + "/x/y/file.txt/sub"));

    ASSERT_TRUE(File::Copy(root + "/x/y/file.txt", root + "/copy.txt"));
    EXPECT_FALSE(File::Copy(root + "/x/y/file.txt", root + "/copy.txt", false));
    EXPECT_EQ(Slurp(root + "/copy.txt"), "data");
    ASSERT_TRUE(File::Rename(root + "/copy.txt", root + "/moved.txt"));
    EXPECT_FALSE(File::Exists(root + "/copy.txt"));
    EXPECT_TRUE(File::IsFile(root + "/moved.txt"));
    ASSERT_TRUE(File::Delete(root + "/moved.txt"));
    EXPECT_FALSE(File::Delete(root + "/moved.txt"));
    EXPECT_FALSE(File::Delete(root + "/x"));  // a folder is not a file

    // The tree goes, a symbolic link inside it is removed without following it.
    Put("keep/precious.txt", "p");
    fs::create_directory_symlink(root + "/keep", root + "/x/link");
    ASSERT_TRUE(File::DeleteTree(root + "/X"));
    EXPECT_FALSE(fs::exists(root + "/x"));
    EXPECT_TRUE(fs::exists(root + "/keep/precious.txt"));
    EXPECT_FALSE(File::DeleteTree(root + "/x"));
    EXPECT_FALSE(File::DeleteTree("/"));
    EXPECT_EQ(File::LastError().code, File::InvalidPath);
}
