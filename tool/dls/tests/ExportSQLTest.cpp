// The SQL files of the folder export, loaded into a database: hostile values come back unchanged and run
// nothing, batches hold 1001 records, and a batch that cannot be written changes nothing.
#include "StationDatabase.h"

#include "assetdb/ResultsLog.h"
#include "engine/File.h"
#include "tool/dls/ExportSQL.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ExportSQLTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmar-dls-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        top_ = pattern;
        root_ = top_ + "/UserData/dls-parse/";
    }
    void TearDown() override { fs::remove_all(top_); }

    static TDBTagRef Record(const std::string& kuid, const std::string& title, const std::string& description,
                            const std::vector<std::string>& deps = {}, const std::vector<int>& cats = {},
                            const std::vector<std::string>& codes = {})
    {
        TDBTagRef r = TDBTagRef::NewContainer();
        r.SetChildString("kuid", kuid);
        TDBTagRef a = r.CreateChildContainer("asset");
        a.SetChildInt("assettypeid", 4);
        a.SetChildString("title", title);
        a.SetChildString("description", description);
        a.SetChildString("downloadpath", "kuid_" + kuid + ".cdp");
        a.SetChildInt("filesize", 1234);
        a.SetChildFloat("productversion", 3.7f);
        TDBTagRef d = r.CreateChildContainer("deps");
        for (size_t i = 0; i < deps.size(); ++i) d.SetChildString(std::to_string(i), deps[i]);
        TDBTagRef c = r.CreateChildContainer("cats");
        for (size_t i = 0; i < cats.size(); ++i) c.SetChildInt(std::to_string(i), cats[i]);
        TDBTagRef e = r.CreateChildContainer("cat_els");
        for (size_t i = 0; i < codes.size(); ++i) e.SetChildString(std::to_string(i), codes[i]);
        return r;
    }
    std::string File(const std::string& name) const
    {
        std::string text;
        Orvo::File::ReadFile(root_ + name, text);
        return text;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string top_;
    std::string root_;
};

TEST_F(ExportSQLTest, HostileValuesComeBackUnchangedAndRunNothing)
{
    using namespace std::string_literals;
    const std::string hostile[] = {
        "O'Brien's \"Shed\"",
        "ends in a backslash \\",
        "\\'); DROP TABLE Asset; --",
        "'', '' ; DELETE FROM Asset WHERE '1'='1",
        "line one\r\nline two\rthree\n",
        "nul \0 and ctrl-z \x1A and tab \t"s,
        "Z\xC3\xBCrich \xE6\x97\xA5\xE6\x9C\xAC and bad bytes \xFF\xFE",
        "%_ \\% \\_ $(FILE)",
    };
    ExportRecordList list;
    StationDatabase db;
    int n = 0;
    for (const std::string& text : hostile)
    {
        const std::string kuid = "700:" + std::to_string(++n);
        list.Add(Record(kuid, text, text + text, {"1:2", "3:4:5"}, {934, 570}, {"BD", text}));
        db.AddPending(kuid);
    }
    db.AddPending("700:99:2");
    list.Add(Record("700:99:2", "versioned", ""));
    ResultsLog log;
    ASSERT_TRUE(WriteAssetExportSQL(list.records, 0, root_, &log));
    EXPECT_EQ(log.GetResultCount(), 0u);

    for (const char* file : {"SQL_Asset_0.txt", "SQL_AssetChild_0.txt", "SQL_AssetDependencies_0.txt",
                             "SQL_AssetCategories_0.txt", "SQL_AssetCategoryElements_0.txt"})
        EXPECT_EQ(db.Load(File(file)), "") << file;

    const auto assets = db.Rows("SELECT KUID, Title, Description, AssetStatusID, Version, ProductVersion, FileSize "
                                "FROM Asset ORDER BY AssetID");
    ASSERT_EQ(assets.size(), std::size(hostile) + 1);
    for (size_t i = 0; i < std::size(hostile); ++i)
    {
        EXPECT_EQ(assets[i][1], hostile[i]) << i;
        EXPECT_EQ(assets[i][2], hostile[i] + hostile[i]) << i;
        EXPECT_EQ(assets[i][3], "AVL");
        EXPECT_EQ(assets[i][4], "0");
        EXPECT_EQ(assets[i][5], "3.7");
        EXPECT_EQ(assets[i][6], "1234");
    }
    EXPECT_EQ(assets.back()[4], "2");
    // Every relation row points at its asset; the hostile code came back as a code.
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM AssetKUIDDependency WHERE AssetID IS NOT NULL")[0][0], "16");
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM Asset_AssetCategory_Rels WHERE AssetID IS NOT NULL")[0][0], "16");
    const auto codes = db.Rows("SELECT CategoryElementID FROM Asset_CategoryElement_Rels WHERE AssetID = 3");
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[1][0], hostile[2]);
    // Version 2 names version 1 as its parent, which the database does not hold.
    EXPECT_EQ(db.Rows("SELECT AssetID, ChildID FROM AssetChild"),
              (std::vector<std::vector<std::string>>{{std::to_string(assets.size()), "NULL"}}));
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM sqlite_master")[0][0], "5");
    EXPECT_NE(File("SQL_AssetChild_0.txt").find("WHERE KUID = '700:99:1')"), std::string::npos);
}

TEST_F(ExportSQLTest, FullBatchesHold1001RecordsAndKuidsGrowAcrossRuns)
{
    ExportRecordList list;
    ResultsLog log;
    for (int i = 0; i < 1002; ++i)
    {
        WriteExportBatchIfFull(list, root_, &log);
        list.Add(Record("1:" + std::to_string(i), "t", "d"));
    }
    WriteLastExportBatch(list, root_, &log);
    EXPECT_EQ(list.batch, 2);
    auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    EXPECT_EQ(lines(File("SQL_Asset_0.txt")), 1001);
    EXPECT_EQ(lines(File("SQL_Asset_1.txt")), 1);
    EXPECT_EQ(File("SQL_AssetChild_0.txt"), "") << "an INSERT without rows is left out";
    EXPECT_EQ(lines(File("kuids.txt")), 1002);

    // A later run writes its batch 0 anew and adds to the KUID list.
    ExportRecordList again;
    again.Add(Record("9:9", "t", "d"));
    WriteLastExportBatch(again, root_, &log);
    EXPECT_EQ(lines(File("SQL_Asset_0.txt")), 1);
    EXPECT_EQ(lines(File("kuids.txt")), 1003);
    EXPECT_EQ(log.ErrorCount(), 0u);
}

TEST_F(ExportSQLTest, ABatchThatCannotBeWrittenChangesNothing)
{
    ExportRecordList first;
    first.Add(Record("1:1", "first", "d"));
    ResultsLog log;
    ASSERT_TRUE(WriteAssetExportSQL(first.records, 0, root_, &log));
    const std::vector<std::string> before = Names();
    const std::string kuids = File("kuids.txt");
    const std::string assets = File("SQL_Asset_0.txt");

    fs::remove(root_ + "SQL_AssetCategories_0.txt");
    fs::create_directory(root_ + "SQL_AssetCategories_0.txt");
    ExportRecordList second;
    second.Add(Record("2:2", "second", "d", {}, {934}));
    EXPECT_FALSE(WriteAssetExportSQL(second.records, 0, root_, &log));
    ASSERT_EQ(log.ErrorCount(), 1u);
    EXPECT_NE(log.GetResults()[0].text.str().find("Failed to write the SQL files of batch 0"), std::string::npos);
    EXPECT_EQ(Names(), before) << "no file left beside the outputs";
    EXPECT_EQ(File("kuids.txt"), kuids);
    EXPECT_EQ(File("SQL_Asset_0.txt"), assets);

    // The output root is made whole, with its parents.
    fs::remove_all(top_ + "/UserData");
    EXPECT_TRUE(WriteAssetExportSQL(second.records, 0, root_, &log));
    EXPECT_TRUE(fs::is_regular_file(root_ + "kuids.txt"));
}

}  // namespace
