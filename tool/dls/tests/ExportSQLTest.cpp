// The SQL files of the folder export, loaded into a database: hostile values come back unchanged and run
// nothing, batches hold 1001 records, and a batch that cannot be written changes nothing.
#include "StationDatabase.h"

#include "assetdb/ResultsLog.h"
#include "engine/File.h"
#include "tool/dls/ExportSQL.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

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

    // A record as the folder export makes it; `text` goes into the title, the description and a code.
    static TDBTagRef Record(const std::string& kuid, const std::string& text = "t")
    {
        TDBTagRef r = TDBTagRef::NewContainer();
        r.SetChildString("kuid", kuid);
        TDBTagRef a = r.CreateChildContainer("asset");
        a.SetChildInt("assettypeid", 4);
        a.SetChildString("title", text);
        a.SetChildString("description", text + text);
        a.SetChildString("downloadpath", "kuid_" + kuid + ".cdp");
        a.SetChildFloat("productversion", 3.7f);
        r.CreateChildContainer("deps").SetChildString("0", "3:4:5");
        r.CreateChildContainer("cats").SetChildInt("0", 934);
        r.CreateChildContainer("cat_els").SetChildString("0", text);
        return r;
    }
    std::string File(const std::string& name) const
    {
        std::string text;
        Orvo::File::ReadFile(root_ + name, text);
        return text;
    }
    static size_t LineCount(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

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
    };
    ExportRecordList list;
    StationDatabase db;
    for (size_t i = 0; i < std::size(hostile); ++i)
    {
        list.Add(Record("700:" + std::to_string(i + 1), hostile[i]));
        db.AddPending("700:" + std::to_string(i + 1));
    }
    list.Add(Record("700:99:2"));
    db.AddPending("700:99:2");
    ResultsLog log;
    ASSERT_TRUE(WriteAssetExportSQL(list.records, 0, root_, &log));

    for (const char* file : {"SQL_Asset_0.txt", "SQL_AssetChild_0.txt", "SQL_AssetDependencies_0.txt",
                             "SQL_AssetCategories_0.txt", "SQL_AssetCategoryElements_0.txt"})
        EXPECT_EQ(db.Load(File(file)), "") << file;
    const Rows assets = db.Rows("SELECT Title, Description, AssetStatusID, Version, ProductVersion FROM Asset");
    const Rows codes = db.Rows("SELECT CategoryElementID FROM Asset_CategoryElement_Rels ORDER BY AssetID");
    ASSERT_EQ(assets.size(), std::size(hostile) + 1);
    ASSERT_EQ(codes.size(), std::size(hostile) + 1);
    for (size_t i = 0; i < std::size(hostile); ++i)
    {
        EXPECT_EQ(assets[i], (std::vector<std::string>{hostile[i], hostile[i] + hostile[i], "AVL", "0", "3.7"})) << i;
        EXPECT_EQ(codes[i][0], hostile[i]) << i;
    }
    // Every row found its asset; version 2 names version 1, which the database does not hold.
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM AssetKUIDDependency WHERE AssetID IS NOT NULL"), (Rows{{"8"}}));
    EXPECT_EQ(db.Rows("SELECT AssetID, ChildID FROM AssetChild"), (Rows{{"8", "NULL"}}));
    EXPECT_EQ(db.Rows("SELECT COUNT(*) FROM sqlite_master"), (Rows{{"5"}}));
}

TEST_F(ExportSQLTest, FullBatchesHold1001RecordsAndKuidsGrowAcrossRuns)
{
    ExportRecordList list;
    ResultsLog log;
    for (int i = 0; i < 1002; ++i)
    {
        WriteExportBatchIfFull(list, root_, &log);
        list.Add(Record("1:" + std::to_string(i)));
    }
    WriteLastExportBatch(list, root_, &log);
    EXPECT_EQ(list.batch, 2);
    EXPECT_EQ(LineCount(File("SQL_Asset_0.txt")), 1001u);
    EXPECT_EQ(LineCount(File("SQL_Asset_1.txt")), 1u);
    EXPECT_EQ(File("SQL_AssetChild_0.txt"), "") << "an INSERT without rows is left out";
    EXPECT_EQ(LineCount(File("kuids.txt")), 1002u);

    // A later run writes its batch 0 anew and adds to the KUID list.
    ExportRecordList again;
    again.Add(Record("9:9"));
    WriteLastExportBatch(again, root_, &log);
    EXPECT_EQ(LineCount(File("SQL_Asset_0.txt")), 1u);
    EXPECT_EQ(LineCount(File("kuids.txt")), 1003u);
    EXPECT_EQ(log.ErrorCount(), 0u);
}

TEST_F(ExportSQLTest, ABatchThatCannotBeWrittenChangesNothing)
{
    ExportRecordList first;
    first.Add(Record("1:1"));
    ResultsLog log;
    ASSERT_TRUE(WriteAssetExportSQL(first.records, 0, root_, &log));
    const std::string kuids = File("kuids.txt");
    const std::string assets = File("SQL_Asset_0.txt");

    fs::remove(root_ + "SQL_AssetCategories_0.txt");
    fs::create_directory(root_ + "SQL_AssetCategories_0.txt");
    ExportRecordList second;
    second.Add(Record("2:2"));
    EXPECT_FALSE(WriteAssetExportSQL(second.records, 0, root_, &log));
    ASSERT_EQ(log.ErrorCount(), 1u);
    EXPECT_NE(log.GetResults()[0].text.str().find("Failed to write the SQL files of batch 0"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 6) << "nothing left beside";
    EXPECT_EQ(File("kuids.txt"), kuids);
    EXPECT_EQ(File("SQL_Asset_0.txt"), assets);

    // The output root is made whole, with its parents.
    fs::remove_all(top_ + "/UserData");
    EXPECT_TRUE(WriteAssetExportSQL(second.records, 0, root_, &log));
    EXPECT_TRUE(fs::is_regular_file(root_ + "kuids.txt"));
}

// Each batch's files are outputs the user names: two that are one file, a file the run wrote before (an archive),
// or a KUID list that is no regular file fail the batch with every file as it was and nothing left beside.
TEST_F(ExportSQLTest, ABatchRefusesOutputsThatAreOneFileWithEveryFileAsItWas)
{
    ExportRecordList first, second;
    first.Add(Record("1:1"));
    second.Add(Record("2:2"));
    const std::string archive = top_ + "/720_1.cdp";
    auto files = [&] {
        std::map<std::string, std::string> held;
        for (const fs::directory_entry& e : fs::directory_iterator(root_))
            held[e.path().filename()] = e.is_regular_file() ? File(e.path().filename()) : "(not a file)";
        return held;
    };
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"' too",
         [&](const std::string&) { fs::create_hard_link(root_ + "SQL_Asset_0.txt", root_ + "SQL_AssetChild_0.txt"); }},
        {"the SQL file would be written over the archive",
         [&](const std::string&) { fs::create_hard_link(archive, root_ + "SQL_AssetCategories_0.txt"); }},
        {"is not a regular file",
         [&](const std::string&) { ASSERT_EQ(::mkfifo((root_ + "kuids.txt").c_str(), 0600), 0); }},
    };
    for (const auto& [says, make] : cases)
    {
        SCOPED_TRACE(says);
        fs::remove_all(root_);
        ResultsLog log;
        ASSERT_TRUE(WriteAssetExportSQL(first.records, 0, root_, &log));
        std::ofstream(archive) << "archive";
        for (const char* name : {"SQL_AssetChild_0.txt", "SQL_AssetCategories_0.txt", "kuids.txt"})
            fs::remove(root_ + name);
        make(root_);
        const std::map<std::string, std::string> before = files();
        EXPECT_FALSE(WriteAssetExportSQL(second.records, 0, root_, &log,
                                         {{Platform::FileIdentity::OfPath(archive), "the archive"}}));
        ASSERT_EQ(log.ErrorCount(), 1u);
        EXPECT_NE(log.GetResults()[0].text.str().find(says), std::string::npos) << log.GetResults()[0].text.str();
        EXPECT_EQ(files(), before) << "nothing changed, nothing left beside";
    }
}

}  // namespace
