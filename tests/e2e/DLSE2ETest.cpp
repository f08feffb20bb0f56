// The consist import and the download-station words through the real tool and daemon: consists written
// here, packages made with "createcdp" from assets with TGA and BMP thumbnails, folders exported into
// SQL that is loaded into a database, and the local database emptied.
#include "E2EFixture.h"
#include "SignalAtEvent.h"

#include "assetdb/ContentArchive.h"
#include "assetdb/VADPayloads.h"
#include "engine/Bitmap.h"
#include "tool/dls/tests/StationDatabase.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace e2e {
namespace {

class DLSE2E : public DaemonRootTest
{
protected:
    // An asset folder below work/ with its config and, when given, an image of one colour.
    void WriteAsset(const std::string& folder, const std::string& config, const std::string& image = {},
                    uint32_t bgr = 0) const
    {
        root_.WriteFile("work/" + folder + "/config.txt", config);
        if (image.empty()) return;
        Orvo::Bitmap b(8, 6, Orvo::Bitmap::FormatRGB24);
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 8; ++x)
                for (int c = 0; c < 3; ++c) b.Row(y)[x * 3 + c] = uint8_t(bgr >> (8 * c));
        ASSERT_TRUE(b.Save(root_.Path("work/" + folder + "/" + image)));
    }
    static std::string Thumbnail(const std::string& image)
    {
        return "thumbnails\n{\n  0\n  {\n    image \"" + image + "\"\n    width 8\n    height 6\n  }\n}\n";
    }
    std::vector<std::string> LinesWith(const RunResult& r, const std::string& text) const
    {
        std::vector<std::string> found;
        for (const std::string& line : Lines(r.out))
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }
    // The colour of an image's middle pixel (blue, green, red), or -1 when it does not load.
    int64_t MiddleColour(const std::string& relative) const
    {
        Orvo::String reason;
        auto image = Orvo::Bitmap::Load(root_.Path(relative), reason);
        if (!image || image->GetWidth() != 8 || image->GetHeight() != 6) return -1;
        const uint8_t* p = image->Row(3) + 4 * Orvo::Bitmap::BytesPerPixel(image->GetFormat());
        return p[0] | p[1] << 8 | p[2] << 16;
    }
    static bool Near(int64_t colour, uint32_t want)
    {
        for (int c = 0; c < 3; ++c)
            if (std::abs(int((colour >> (8 * c)) & 255) - int((want >> (8 * c)) & 255)) > 8) return false;
        return colour >= 0;
    }
    // Points the daemon's download station at a mirror folder of the root.
    bool UseMirror(const std::string& relative) const
    {
        SettingsReader client(root_.Root());
        TDBTagRef internet = TDBTagRef::NewContainer();
        internet.SetChildString("dls-mirror", root_.Path(relative));
        return client.Connected() && client.Client().SetSettingsGroup("internet", internet).Ok();
    }
    bool Unknown(const std::string& kuid) const { return Run({"status", kuid}).exitCode == 255; }
    std::vector<std::string> Files(const std::string& relative) const { return FilesBelow(root_.Path(relative)); }
};

TEST_F(DLSE2E, ImportConsistsReportsBadEntriesAndImportsTheRestOnce)
{
    root_.WriteFile("work/Consists.txt", "train-0 {\n name \"Freight One\"\n list {\n"
                                         "  car-0 <kuid:900001:100>\n  num-0 1234\n  dir-0 1\n"
                                         "  car-1 <kuid2:900001:101:3>\n"
                                         "  car-2 <kuid:900001:100>\n  num-2 7\n }\n}\n"
                                         "train-1 {\n list {\n  car-0 <kuid:900001:100>\n }\n}\n"
                                         "train-2 {\n name \"Bad Cars\"\n list {\n  car-0 \"not a kuid\"\n }\n}\n"
                                         "train-3 {\n name \"Empty\"\n list {\n }\n}\n"
                                         "train-4 {\n name \"Freight One\"\n list {\n  car-0 <kuid:1:2>\n }\n}\n"
                                         "train-6 {\n name \"After a gap\"\n list {\n }\n}\n");
    const std::string bad = "- NULLKUID : Consist train-1 has no name; it is not imported.\n"
                            "- NULLKUID : Consist 'Bad Cars': car-0 is not a KUID; the consist is not imported.\n";
    RunResult first = Run({"importconsists", "Consists.txt"});
    EXPECT_EQ(first.exitCode, 255);
    const std::vector<std::string> lines = Lines(first.out);
    ASSERT_EQ(lines.size(), 5u) << first.out;
    EXPECT_EQ(lines[1] + "\n" + lines[2] + "\n", bad);
    EXPECT_EQ(lines[4], "OK (2 Errors, 0 Warnings)");
    // "+ <kuid:u:c> : Consist 'Freight One' was imported."
    const std::string freight = lines[0].substr(2, lines[0].find(" : ") - 2);
    EXPECT_EQ(lines[0], "+ " + freight + " : Consist 'Freight One' was imported.");
    EXPECT_NE(lines[3].find("Consist 'Empty' was imported."), std::string::npos);

    RunResult config = Run({"printconfig", freight});
    EXPECT_NE(config.out.find("kind\t\"consist\"\nusername\t\"Freight One\"\nvelmar-build\t3.1\nconsist-list\n{\n"
                              "\tcar-0\n\t{\n\t\tcar-kuid\t<kuid:900001:100>\n\t\tcar-num\t1234\n\t\tcar-dir\t1\n\t}\n"
                              "\tcar-1\n\t{\n\t\tcar-kuid\t<kuid2:900001:101:3>\n\t\tcar-num\t0\n\t\tcar-dir\t0\n\t}\n"
                              "\tcar-2\n\t{\n\t\tcar-kuid\t<kuid:900001:100>\n\t\tcar-num\t7\n\t\tcar-dir\t0\n\t}\n}\n"
                              "kuid-table\n{\n\t0\t<kuid:900001:100>\n\t1\t<kuid2:900001:101:3>\n}\n"),
              std::string::npos)
        << config.out;

    // The consists now in the database are not imported again.
    RunResult again = Run({"importconsists", "Consists.txt"});
    EXPECT_EQ(again.out, bad + "OK (2 Errors, 0 Warnings)\n");
    EXPECT_EQ(Lines(Run({"searchbycategory", "CN"}).out)[0], "+ 2 : assets matching the specified criteria");

    // With no KUID left to give, the asset cannot be created: said, and nothing is left half made.
    ASSERT_EQ(Run({"setnextcontentid", "2147483647"}).exitCode, 0);
    root_.WriteFile("work/New.txt", "train-0 {\n name \"Brand New\"\n list {\n }\n}\n");
    RunResult refused = Run({"importconsists", "New.txt"});
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(refused.out, Failed("Consist 'Brand New' is not imported: the asset could not be created."));
    EXPECT_EQ(Lines(Run({"searchbycategory", "CN"}).out)[0], "+ 2 : assets matching the specified criteria");
    EXPECT_TRUE(Files("UserData/editing").empty());
}

TEST_F(DLSE2E, ImportConsistsSkipsAConsistWithoutAListAndSucceeds)
{
    root_.WriteFile("work/NoList.txt", "train-0 {\n name \"No Cars\"\n}\n"
                                       "train-1 {\n name \"Real\"\n list {\n }\n}\n");
    RunResult r = Run({"importconsists", "NoList.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "! NULLKUID : Consist train-0 ('No Cars') has no list of cars; it was skipped.");
    EXPECT_NE(lines[1].find(" : Consist 'Real' was imported."), std::string::npos) << r.out;
    EXPECT_EQ(lines[2], "OK (0 Errors, 1 Warnings)");
    EXPECT_EQ(Lines(Run({"searchbycategory", "CN"}).out)[0], "+ 1 : assets matching the specified criteria");
}

TEST_F(DLSE2E, DeleteAllEmptiesTheLocalDatabaseAndKeepsBuiltIns)
{
    ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir()}).exitCode, 0);
    ASSERT_FALSE(Unknown("<kuid:900001:100>"));

    RunResult all = Run({"dlsdeleteall"});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.out, kOK);
    for (const char* kuid : {"<kuid:900001:100>", "<kuid:900001:101>", "<kuid:900001:102>"})
        EXPECT_TRUE(Unknown(kuid)) << kuid;
    EXPECT_TRUE(Files("UserData/local").empty());
    EXPECT_EQ(Run({"dlsdeleteall"}).out, kOK) << "nothing left to delete";
    EXPECT_FALSE(Unknown("<kuid:44000:1001>")) << "the built-in asset stays";
}

TEST_F(DLSE2E, PackageParseWritesEachAssetWithItsJPEGThumbnail)
{
    WriteAsset("up/red",
               "kuid <kuid:700:1>\nkind \"scenery\"\nusername \"Red Hut\"\ncategory-class \"BD\"\n"
               "category-region \"DE;FR\"\ncategory-era \"1950\"\nvelmar-build 3.7\n"
               "description \"First line \\\\ one\r\nsecond\"\ncustom-category-list \"XAA;BD\"\n" +
                   Thumbnail("thumb.tga"),
               "thumb.tga", 0x0000FF);
    WriteAsset("up/blue",
               "kuid <kuid2:700:2:1>\nkind \"scenery\"\nusername \"Blue Hut\"\nvelmar-build 3.5\n"
               "alias <kuid:700:1>\nkuid-table {\n 0 <kuid:700:1>\n}\nobsolete-table {\n 0 <kuid:700:9>\n"
               " 1 <kuid:700:8>\n}\n" +
                   Thumbnail("Thumb.BMP"),
               "Thumb.BMP", 0xFF0000);
    WriteAsset("up/png", "kuid <kuid:700:3>\nkind \"scenery\"\nusername \"Png Hut\"\n" + Thumbnail("thumb.png"),
               "thumb.png", 0x00FF00);
    WriteAsset("up/junk", "kuid <kuid:700:4>\nkind \"scenery\"\nusername \"Junk Hut\"\n" + Thumbnail("thumb.tga"));
    root_.WriteFile("work/up/junk/thumb.tga", "this is not an image");
    ASSERT_EQ(Run({"installfrompath", "up"}).exitCode, 0);
    fs::create_directories(root_.Path("work/pkg"));
    ASSERT_EQ(Run({"createcdp", "pkg/Upload.cdp", "<kuid:700:1>", "<kuid2:700:2:1>", "<kuid:700:3>", "<kuid:700:4>"})
                  .exitCode,
              0);
    for (const char* kuid : {"<kuid:700:1>", "<kuid2:700:2:1>", "<kuid:700:3>", "<kuid:700:4>"})
        ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);

    RunResult parse = Run({"dlsparse", "pkg/Upload.cdp"});
    EXPECT_EQ(parse.exitCode, 255) << "the thumbnail that is not an image fails the command";
    EXPECT_EQ(LinesWith(parse, "+ <kuid:700:1> : "),
              (std::vector<std::string>{"+ <kuid:700:1> : eIadlmf : BD : Red Hut",
                                        "+ <kuid:700:1> : Asset <kuid:700:1> was installed."}));
    EXPECT_EQ(LinesWith(parse, "; <kuid:700:1> : "), (std::vector<std::string>{
                                                         "; <kuid:700:1> : Name: Red Hut",
                                                         "; <kuid:700:1> : Description: First line \\\\ one\\nsecond",
                                                         "; <kuid:700:1> : Velmar-build: 3.7",
                                                         "; <kuid:700:1> : Dependencies: ",
                                                         "; <kuid:700:1> : Obsoletes: ",
                                                         "; <kuid:700:1> : kind: scenery",
                                                         "; <kuid:700:1> : alias-kuid: NULLKUID",
                                                         "; <kuid:700:1> : category-region: DE;FR",
                                                         "; <kuid:700:1> : category-era: 1950",
                                                         "; <kuid:700:1> : category-class: BD;#XAA;#BD",
                                                     }));
    EXPECT_EQ(LinesWith(parse, "Dependencies: <"), (std::vector<std::string>{"; <kuid2:700:2:1> : Dependencies: "
                                                                             "<kuid:700:1>"}));
    EXPECT_EQ(LinesWith(parse, "Obsoletes: <"),
              (std::vector<std::string>{"; <kuid2:700:2:1> : Obsoletes: <kuid:700:8>, <kuid:700:9>"}));
    EXPECT_EQ(LinesWith(parse, "alias-kuid: <"), (std::vector<std::string>{"; <kuid2:700:2:1> : alias-kuid: "
                                                                           "<kuid:700:1>"}));
    EXPECT_EQ(LinesWith(parse, "thumbnail"),
              (std::vector<std::string>{"- <kuid:700:4> : Unable to write the thumbnail: " +
                                        root_.Path("UserData/local/kuid 700 4/thumb.tga") +
                                        ": not an image file (unknown TGA image type 105)"}))
        << parse.out;

    EXPECT_EQ(Files("work/pkg"),
              (std::vector<std::string>{"Upload.cdp", "kuid 700 1.cdp", "kuid 700 1.jpg", "kuid 700 3.cdp",
                                        "kuid 700 4.cdp", "kuid2 700 2 1.cdp", "kuid2 700 2 1.jpg"}));
    EXPECT_TRUE(Near(MiddleColour("work/pkg/kuid 700 1.jpg"), 0x0000FF)) << "red from the TGA";
    EXPECT_TRUE(Near(MiddleColour("work/pkg/kuid2 700 2 1.jpg"), 0xFF0000)) << "blue from the BMP";

    // Each written package holds its asset, which installs from it.
    ASSERT_EQ(Run({"delete", "<kuid:700:3>"}).exitCode, 0);
    EXPECT_EQ(Run({"installcdp", "pkg/kuid 700 3.cdp"}).exitCode, 0);
    EXPECT_FALSE(Unknown("<kuid:700:3>"));
}

TEST_F(DLSE2E, DamagedAndUnsafePackagesAreRefused)
{
    root_.WriteFile("work/pkg/Damaged.cdp", "ACS$\x01\0\0\0\0\0\0\0\xFF\0\0\0garbage");
    RunResult parse = Run({"dlsparse", "pkg/Damaged.cdp", "604218"});
    EXPECT_EQ(parse.exitCode, 255);
    EXPECT_EQ(parse.out, "- NULLKUID : The package '" + root_.Path("work/pkg/Damaged.cdp") +
                             "' cannot be read.\n- NULLKUID : Content could not be read, as the CDP file is "
                             "damaged\nOK (2 Errors, 0 Warnings)\n");
    EXPECT_EQ(Files("work/pkg"), std::vector<std::string>{"Damaged.cdp"});
    EXPECT_EQ(Run({"dlsparse", "pkg/Missing.cdp"}).exitCode, 255);

    // A package whose second asset cannot be installed (a file name that leaves its folder) is aborted.
    ContentArchive archive;
    Orvo::String reason;
    for (const char* file : {"readme.txt", "../escape.txt"})
    {
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("kuid", KUID(730, file[0] == '.' ? 2 : 1));
        entry.SetChildString("kind", "scenery");
        entry.SetChildString("username", "Packed");
        entry.CreateChildContainer("files").SetChildBinary(file, "text", 4);
        entry.SetChildString("compression", "none");
        ASSERT_TRUE(archive.AddAsset(reason, entry)) << reason.str();
    }
    ASSERT_TRUE(archive.Save(reason, root_.Path("work/pkg/Unsafe.cdp"))) << reason.str();
    RunResult aborted = Run({"dlsparse", "pkg/Unsafe.cdp"});
    EXPECT_EQ(aborted.exitCode, 255);
    const std::vector<std::string> lines = Lines(aborted.out);
    ASSERT_GE(lines.size(), 3u) << aborted.out;
    EXPECT_EQ(lines[0], "+ <kuid:730:1> : Asset <kuid:730:1> was installed.");
    EXPECT_NE(lines[1].find("<kuid:730:2> : "), std::string::npos);
    EXPECT_NE(lines[1].find("Unsafe file name in archive: '../escape.txt'"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "- NULLKUID : Aborted processing");
    EXPECT_EQ(Files("work/pkg"), (std::vector<std::string>{"Damaged.cdp", "Unsafe.cdp"}));
    EXPECT_FALSE(root_.Exists("work/escape.txt"));
}

TEST_F(DLSE2E, DependencyPassesEndWhenTheStationKeepsOfferingANewerVersion)
{
    // The station lists version 5 of the dependency but its package holds version 4: every pass installs
    // "the latest" again and finds it still missing.
    WriteAsset("dep", "kuid <kuid2:710:1:4>\nkind \"scenery\"\nusername \"Dependency\"\n");
    WriteAsset("user", "kuid <kuid:710:2>\nkind \"scenery\"\nusername \"User\"\nkuid-table {\n 0 <kuid:710:1>\n}\n");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);
    fs::create_directories(root_.Path("work/mirror/packages"));
    ASSERT_EQ(Run({"createcdp", "mirror/packages/dep.cdp", "<kuid2:710:1:4>"}).exitCode, 0);
    ASSERT_EQ(Run({"createcdp", "Upload.cdp", "<kuid:710:2>"}).exitCode, 0);
    ASSERT_EQ(Run({"dlsdeleteall"}).exitCode, 0);
    root_.WriteFile("work/mirror/index.txt", "assets {\n 0 {\n  kuid <kuid2:710:1:5>\n  package \"dep.cdp\"\n }\n}\n");
    ASSERT_TRUE(UseMirror("work/mirror"));

    RunResult parse = root_.Run({"dlsparse", "Upload.cdp"}, RunOptions::In(root_.Path("work")));
    EXPECT_FALSE(parse.timedOut);
    EXPECT_EQ(LinesWith(parse, "Dependencies: "),
              std::vector<std::string>{"; <kuid:710:2> : Dependencies: <kuid:710:1>"});
    EXPECT_FALSE(Unknown("<kuid2:710:1:4>")) << "the dependency came from the station";
}

TEST_F(DLSE2E, FolderExportWritesArchivesAndSQLThatLoads)
{
    const std::string title = "O'Brien's \"Shed\" \\ ends \\";
    WriteAsset("upload/shed",
               "kuid <kuid:720:1>\nkind \"scenery\"\nusername \"O'Brien's \\\"Shed\\\" \\\\ ends \\\\\"\n"
               "description \"Line one\nLine two'); DROP TABLE Asset; --\"\n"
               "category-class \"BD;X'Y\"\ncategory-region \"DE\"\ncategory-era \"1950\"\n"
               "velmar-build 3.7\n" +
                   Thumbnail("thumbnail.jpg"),
               "thumbnail.jpg", 0x00FF00);
    WriteAsset("upload/more/deeper/coach", "kuid <kuid2:720:2:3>\nkind \"traincar\"\nusername \"Coach\"\n"
                                           "category-class \"TR\"\ncategory-region \"GB\"\nvelmar-build 3.5\n"
                                           "kuid-table {\n 0 <kuid:720:1>\n 1 <kuid2:720:9:2>\n}\n");
    WriteAsset("upload/listed", "kuid <kuid:720:3>\nkind \"scenery\"\nusername \"Listed\"\ncategory-class \"BD\"\n");
    WriteAsset("upload/.hidden/asset", "kuid <kuid:720:4>\nkind \"scenery\"\nusername \"Hidden\"\n");
    root_.WriteFile("work/upload/broken/config.txt", "kuid <kuid:720:5>\nusername \"Unclosed\n");
    root_.WriteFile("work/mirror/index.txt", "assets {\n 0 {\n  kuid <kuid:720:3>\n  package \"listed.cdp\"\n }\n}\n");
    ASSERT_TRUE(UseMirror("work/mirror"));

    RunResult first = Run({"dlsparsefolder", "upload"});
    EXPECT_EQ(first.exitCode, 255);
    const std::vector<std::string> lines = Lines(first.out);
    ASSERT_GE(lines.size(), 2u) << first.out;
    EXPECT_EQ(lines[0], "- NULLKUID : Failed to install asset from: " + root_.Path("work/upload/broken"));
    EXPECT_EQ(lines.back(), "OK (" + std::to_string(lines.size() - 1) + " Errors, 0 Warnings)");

    const std::string out = "UserData/dls-parse";
    EXPECT_EQ(Files(out), (std::vector<std::string>{
                              "DLS/buildingsstructures/720_3.cdp",
                              "SQL_AssetCategories_0.txt",
                              "SQL_AssetCategoryElements_0.txt",
                              "SQL_AssetChild_0.txt",
                              "SQL_AssetDependencies_0.txt",
                              "SQL_Asset_0.txt",
                              "VELMAR2010-Builtin/buildingsstructures/720_1.cdp",
                              "VELMAR2010-Builtin/buildingsstructures/720_1.jpg",
                              "VELMAR2010-Builtin/rollingstock/720_2_3.cdp",
                              "kuids.txt",
                          }));
    // Entries in name order: "more" before "shed".
    EXPECT_EQ(root_.ReadFile(out + "/kuids.txt"), "720:2:3\r\n720:1\r\n");
    EXPECT_TRUE(Near(MiddleColour(out + "/VELMAR2010-Builtin/buildingsstructures/720_1.jpg"), 0x00FF00));
    for (const char* kuid : {"<kuid:720:1>", "<kuid2:720:2:3>", "<kuid:720:3>"}) EXPECT_TRUE(Unknown(kuid)) << kuid;
    EXPECT_FALSE(root_.Exists("UserData/local/kuid 720 4")) << "folders named with a dot are not entered";

    StationDatabase db;
    for (const char* kuid : {"720:1", "720:2:3", "720:2:2"}) db.AddPending(kuid);
    for (const char* file : {"SQL_Asset_0.txt", "SQL_AssetChild_0.txt", "SQL_AssetDependencies_0.txt",
                             "SQL_AssetCategories_0.txt", "SQL_AssetCategoryElements_0.txt"})
        EXPECT_EQ(db.Load(root_.ReadFile(out + "/" + file)), "") << file;
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(
        db.Rows("SELECT KUID, AssetTypeID, Title, Description, DownloadPath, Version, AssetStatusID, "
                "ProductVersion FROM Asset ORDER BY AssetID"),
        (Rows{{"720:1", "4", title, "Line one\nLine two'); DROP TABLE Asset; --", "kuid_720_1.cdp", "0", "AVL", "3.7"},
              {"720:2:3", "2", "Coach", "", "kuid2_720_2_3.cdp", "3", "AVL", "3.5"},
              {"720:2:2", "NULL", "NULL", "NULL", "NULL", "NULL", "FAK", "NULL"}}));
    EXPECT_EQ(db.Rows("SELECT AssetID, ChildID FROM AssetChild"), (Rows{{"2", "3"}}));
    EXPECT_EQ(db.Rows("SELECT AssetID, KUID FROM AssetKUIDDependency"), (Rows{{"2", "720:1"}, {"2", "720:9:2"}}));
    EXPECT_EQ(db.Rows("SELECT AssetID, CategoryElementID FROM Asset_CategoryElement_Rels WHERE AssetID = 1"),
              (Rows{{"1", "BD"}, {"1", "X'Y"}, {"1", "DE"}, {"1", "1950"}}));
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM Asset_AssetCategory_Rels WHERE AssetID IN (1, 2)"), (Rows{{"5"}}));
}

// Every file dlsparse, dlsparsefolder and export-package write for their user goes through the one output writer:
// a batch file of an output's name is refused with nothing written, a file with a second name is written in place
// keeping its mode and both names, a thumbnail never replaces the archive it sits beside, and a package folder
// written again keeps what its user put in it.
TEST_F(DLSE2E, OutputsForTheUserKeepBatchFilesLinksModesAndTheirFolders)
{
    struct stat st;
    auto statOf = [&](const std::string& relative) {
        st = {};
        EXPECT_EQ(::stat(root_.Path(relative).c_str(), &st), 0) << relative;
        return st;
    };
    auto sameFile = [&](const std::string& a, const std::string& b) {
        const struct stat x = statOf(a), y = statOf(b);
        return x.st_ino == y.st_ino && x.st_dev == y.st_dev && x.st_nlink == 2 && (x.st_mode & 0777) == 0600;
    };
    auto link = [&](const std::string& from, const std::string& to) {
        ASSERT_EQ(::chmod(root_.Path(from).c_str(), 0600), 0);
        ASSERT_EQ(::link(root_.Path(from).c_str(), root_.Path(to).c_str()), 0) << to;
    };
    auto holds = [](const std::string& bytes, const char* kuid) {
        return bytes.rfind("ACS$", 0) == 0 && bytes.find(kuid) != std::string::npos;
    };
    for (int i = 1; i <= 3; ++i)
        WriteAsset("up/a" + std::to_string(i),
                   "kuid <kuid:740:" + std::to_string(i) + ">\nkind \"scenery\"\nusername \"A" + std::to_string(i) +
                       "\"\n" + Thumbnail("t.jpg"),
                   "t.jpg", 0x00FF00);
    ASSERT_EQ(Run({"installfrompath", "up"}).exitCode, 0);
    fs::create_directories(root_.Path("work/pkg"));
    ASSERT_EQ(Run({"createcdp", "pkg/Upload.cdp", "<kuid:740:1>", "<kuid:740:2>", "<kuid:740:3>"}).exitCode, 0);
    ASSERT_EQ(Run({"export-package", "", "pkgx", "<kuid:740:1>"}).exitCode, 0);
    ASSERT_EQ(Run({"dlsdeleteall"}).exitCode, 0);

    // dlsparse: the batch file being run, an archive with a second name, a thumbnail that is the archive.
    const std::string batch = "dlsparse \"pkg/Upload.cdp\"\n";
    root_.WriteFile("work/pkg/kuid 740 1.cdp", batch);
    root_.WriteFile("work/pkg/kuid 740 2.cdp", "old archive");
    link("work/pkg/kuid 740 2.cdp", "work/linked.cdp");
    root_.WriteFile("work/pkg/kuid 740 3.cdp", "old archive");
    link("work/pkg/kuid 740 3.cdp", "work/pkg/kuid 740 3.jpg");
    const RunResult parse = Run({"@pkg/kuid 740 1.cdp"});
    EXPECT_EQ(parse.exitCode, 255) << parse.out;
    EXPECT_EQ(LinesWith(parse, "Unable to write"),
              (std::vector<std::string>{
                  "- <kuid:740:1> : Unable to write asset to CDP: Unable to write archive file: " +
                      root_.Path("work/pkg/kuid 740 1.cdp") + " (it is the batch file being run)",
                  "- <kuid:740:3> : Unable to write the thumbnail: " + root_.Path("work/pkg/kuid 740 3.jpg") +
                      " (the thumbnail would be written over the asset's archive)"}))
        << parse.out;
    EXPECT_EQ(root_.ReadFile("work/pkg/kuid 740 1.cdp"), batch);
    EXPECT_TRUE(sameFile("work/pkg/kuid 740 2.cdp", "work/linked.cdp"));
    EXPECT_TRUE(holds(root_.ReadFile("work/linked.cdp"), "<kuid:740:2>"));
    EXPECT_TRUE(sameFile("work/pkg/kuid 740 3.cdp", "work/pkg/kuid 740 3.jpg"));
    EXPECT_TRUE(holds(root_.ReadFile("work/pkg/kuid 740 3.jpg"), "<kuid:740:3>"));
    EXPECT_TRUE(Near(MiddleColour("work/pkg/kuid 740 2.jpg"), 0x00FF00));

    // dlsparsefolder: the KUID list with a second name keeps it and its mode, and grows.
    root_.WriteFile("UserData/dls-parse/kuids.txt", "1:1\r\n");
    link("UserData/dls-parse/kuids.txt", "work/kuids.txt");
    ASSERT_EQ(Run({"dlsdeleteall"}).exitCode, 0);
    const RunResult folder = Run({"dlsparsefolder", "up"});
    EXPECT_EQ(folder.exitCode, 0) << folder.out;
    EXPECT_TRUE(sameFile("UserData/dls-parse/kuids.txt", "work/kuids.txt"));
    EXPECT_EQ(root_.ReadFile("work/kuids.txt"), "1:1\r\n740:1\r\n740:2\r\n740:3\r\n");

    // export-package again: the user's note and a file they put into a copy stay (the copy is kept among the
    // backups), the archive with a second name is written in place, and a package.txt that is the batch file
    // being run is refused before the daemon is asked.
    ASSERT_EQ(Run({"installfrompath", "up/a1"}).exitCode, 0);
    const std::string pkg = "UserData/packages/pkgx/";
    root_.WriteFile(pkg + "notes.txt", "mine");
    root_.WriteFile(pkg + "kuid 740 1/mine.txt", "mine too");
    link(pkg + "pkgx.cdp", "work/deploy.cdp");
    const std::string line = "export-package \"\" pkgx <kuid:740:1>\n";
    root_.WriteFile(pkg + "package.txt", line);
    const RunResult refused = Run({"@" + root_.Path(pkg + "package.txt")});
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(refused.out, Failed("The package file '" + root_.Path(pkg + "package.txt") +
                                  "' cannot be written: it is the batch file being run; nothing was changed.") +
                               "\n");
    EXPECT_EQ(root_.ReadFile(pkg + "package.txt"), line);
    const RunResult again = Run({"export-package", "", "pkgx", "<kuid:740:1>"});
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_NE(again.out.find("The earlier copy of <kuid:740:1> in the package held files the new copy does not "
                             "have; it was kept in '" +
                             root_.Path("UserData/backups/uncommitted/")),
              std::string::npos)
        << again.out;
    EXPECT_EQ(root_.ReadFile(pkg + "notes.txt"), "mine");
    EXPECT_TRUE(sameFile(pkg + "pkgx.cdp", "work/deploy.cdp"));
    EXPECT_TRUE(holds(root_.ReadFile("work/deploy.cdp"), "<kuid:740:1>"));
    EXPECT_NE(root_.ReadFile(pkg + "package.txt").find("<kuid:740:1>"), std::string::npos);
    EXPECT_FALSE(root_.Exists(pkg + "kuid 740 1/mine.txt"));
    EXPECT_TRUE(root_.Exists(pkg + "kuid 740 1/config.txt"));
    std::vector<std::string> kept;
    for (const std::string& f : Files("UserData/backups/uncommitted"))
        if (f.find("mine.txt") != std::string::npos) kept.push_back(f.substr(f.find('/') + 1));
    EXPECT_EQ(kept, std::vector<std::string>{"pkgx kuid 740 1 (earlier package copy)/mine.txt"});
}

// An asset the user had installed (its keywords imported, its validation failed) and a folder to export holding
// another copy of it: each run exports the folder's copy and leaves the user's as it was, its files and its record,
// whether it runs to its end, its tool is killed while the run's copy is installed, or its daemon is killed as it
// puts the user's copy back (the run then fails saying where that copy is kept); an asset that was not installed
// before is deleted as ever.
TEST_F(DLSE2E, FolderExportLeavesAnAssetTheUserHadInstalledAsItWas)
{
    const std::string mine = "<kuid:720:10>";
    WriteAsset("mine", "kuid " + mine +
                           "\nkind \"scenery\"\nusername \"Mine\"\ncategory-class \"BD\"\n"
                           "velmar-build 3.7\nmesh-table { default { mesh \"none.im\" } }\n");
    root_.WriteFile("work/mine/notes.txt", "the user's own");
    ASSERT_EQ(Run({"installfrompath", "mine"}).exitCode, 0);
    Run({"validate", mine});                          // fails: its mesh is missing
    const std::string builtin = "<kuid:44000:1001>";  // of the sample pack, and not installed
    root_.WriteFile("work/KeywordsDump.dat", builtin + "\t\"built;in\"\n" + mine + "\t\"oak;mine\"\n");
    ASSERT_EQ(Run({"importkeywords"}).exitCode, 0);
    WriteAsset("upload/copy", "kuid " + mine + "\nkind \"scenery\"\nusername \"Their copy\"\ncategory-class \"BD\"\n");
    root_.WriteFile("work/upload/copy/theirs.txt", "the folder's");
    WriteAsset("upload/new", "kuid <kuid:720:11>\nkind \"scenery\"\nusername \"New\"\n");
    WriteAsset("over-builtin/copy", "kuid " + builtin + "\nkind \"scenery\"\nusername \"Over it\"\n");
    // What the user has of an asset: its status line, its configuration, its files and the record the database
    // keeps of it (flags, install time, keywords).
    auto state = [&](const std::string& kuid = "<kuid:720:10>") {
        const KUID k = KUID::FromText(kuid);
        const std::string folder = "UserData/local/" + k.ToSpacedString();
        std::string s = Run({"status", kuid}).out + Run({"printconfig", kuid}).out;
        for (const std::string& file : root_.Exists(folder) ? Files(folder) : std::vector<std::string>{})
            s += file + ": " + root_.ReadFile(folder + "/" + file) + "\n";
        SettingsReader reader(root_.Root());
        VADAssetInfo info;
        EXPECT_TRUE(reader.Connected() && reader.Client().GetAssetInfo(k, info, VAD_DETAIL_ALL));
        const VADBytes record = VADEncode(info);
        return s + std::string(record.begin(), record.end()) +
               reader.Client().GetAssetKeywords(k).ValueOr(Orvo::String("?")).str();
    };
    std::string before, builtinBefore;
    before = state();  // the import said OK once the keywords were stored
    ASSERT_NE(before.find("oak;mine"), std::string::npos) << before;
    EXPECT_NE(before.find("+ <kuid:720:10> : eIadlmF : BD : Mine\n"), std::string::npos) << before;
    EXPECT_NE(before.find("notes.txt: the user's own"), std::string::npos) << before;
    builtinBefore = state(builtin);
    EXPECT_NE(builtinBefore.find("built;in"), std::string::npos) << builtinBefore;

    const RunResult run = Run({"dlsparsefolder", "upload"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, kOK);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(Unknown("<kuid:720:11>"));
    EXPECT_EQ(Files("UserData/held"), std::vector<std::string>{});
    // The archive holds the folder's copy.
    ContentArchive archive;
    Orvo::String reason;
    ASSERT_TRUE(
        archive.Load(reason, "", root_.Path("UserData/dls-parse/VELMAR2010-Builtin/buildingsstructures/720_10.cdp")))
        << reason.str();
    ASSERT_EQ(archive.GetAssetCount(), 1u);
    const TDBTagRef entry = archive.GetAssetAt(0);
    EXPECT_EQ(entry.GetChildString("username").str(), "Their copy");
    EXPECT_FALSE(entry.GetChild("files").GetChild("theirs.txt").IsNull());
    EXPECT_TRUE(entry.GetChild("files").GetChild("notes.txt").IsNull());
    // An asset only built in shows its built-in copy again, with its record as it was.
    EXPECT_EQ(Run({"dlsparsefolder", "over-builtin"}).out, kOK);
    EXPECT_EQ(state(builtin), builtinBefore);

    // The tool killed once the run's copy is installed: the daemon deletes that copy and puts the user's back.
    bool sent = false;
    const RunResult killed = SignalWhen(root_, {"dlsparsefolder", "upload"}, RunOptions::In(root_.Path("work")),
                                        root_.Path("UserData/local"), IN_MOVED_TO, "kuid 720 10", SIGKILL, sent);
    EXPECT_TRUE(sent) << killed.out;
    EXPECT_TRUE(Eventually([&] { return Files("UserData/held").empty() && state() == before; }, 100)) << state();

    // The daemon killed as it puts the user's copy back: the run fails, saying where that copy is kept, and the next
    // daemon puts it back before it serves anyone.
    root_.StopProcesses();
    ASSERT_TRUE(root_.StartDaemon({"-crashat=putting-back"}));
    const RunResult cut = Run({"dlsparsefolder", "upload"});
    EXPECT_EQ(cut.exitCode, 255) << cut.out;
    EXPECT_EQ(LinesWith(cut, "Failed to put back"),
              std::vector<std::string>{"- <kuid:720:10> : Failed to put back asset : <kuid:720:10>; the asset database "
                                       "daemon that held it stopped during this run: the copy installed before this "
                                       "run is kept in '" +
                                       root_.Path("UserData/held/kuid 720 10") +
                                       "', and the asset database puts it back as it was when it next starts"})
        << cut.out;
    EXPECT_FALSE(root_.DaemonRunning());
    EXPECT_TRUE(root_.Exists("UserData/held/kuid 720 10/notes.txt"));
    ASSERT_TRUE(root_.StartDaemon());
    EXPECT_EQ(state(), before);
    EXPECT_EQ(Files("UserData/held"), std::vector<std::string>{});
}

}  // namespace
}  // namespace e2e
