#include "core/ConfigFile.h"
#include "core/InterfaceTextDB.h"
#include "core/LogPrintf.h"
#include "core/SharedAccessLock.h"
#include "core/TDBTagRef.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class InterfaceTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.IsValid());
        dir_ = folder_.Path();
        InterfaceTextDB::SetFolder(dir_.string());
        InterfaceTextDB::SetLanguage("US");
    }
    void TearDown() override { SetLogLineObserver(nullptr); }
    void WriteText(const std::string& name, const std::string& body)
    {
        std::ofstream(dir_ / name) << body;
        InterfaceTextDB::SetLoaded(false);
    }

    TestFolder folder_{"velmar-itext"};
    fs::path dir_;
};

}  // namespace

TEST_F(InterfaceTextTest, LooksUpKeysWithoutRegardToCaseAndReturnsMissingKeys)
{
    WriteText("InterfaceText.txt", "$vad_installed\t\"Installed $(KUID)\"\n$cm_ok\t\"OK\"\n");
    EXPECT_EQ(InterfaceTextDB::GetString("$vad_installed"), "Installed $(KUID)");
    EXPECT_EQ(InterfaceTextDB::GetString("$VAD_Installed"), "Installed $(KUID)");
    EXPECT_TRUE(InterfaceTextDB::IsLoaded());
    EXPECT_EQ(InterfaceTextDB::GetCount(), 2u);
    EXPECT_EQ(InterfaceTextDB::GetString("$no_such_key"), "$no_such_key");
    EXPECT_EQ(GetInterfaceString("$cm_ok"), "OK");
}

TEST_F(InterfaceTextTest, LanguagesChooseTheirFileAndFallBackToTheSharedOne)
{
    WriteText("InterfaceText.txt", "$cm_yes\t\"Yes\"\n");
    InterfaceTextDB::SetLanguage("de");
    EXPECT_EQ(InterfaceTextDB::GetFileBaseName(), "InterfaceText_DE");
    EXPECT_FALSE(InterfaceTextDB::IsLoaded());
    EXPECT_EQ(InterfaceTextDB::GetString("$cm_yes"), "Yes") << "no German file: the shared one";

    WriteText("InterfaceText_DE.txt", "$cm_yes\t\"Ja\"\n");
    EXPECT_EQ(InterfaceTextDB::GetString("$cm_yes"), "Ja");

    // The English codes share one file, so switching between them keeps the table.
    InterfaceTextDB::SetLanguage("UK");
    EXPECT_EQ(InterfaceTextDB::GetString("$cm_yes"), "Yes");
    InterfaceTextDB::SetLanguage("AU");
    EXPECT_TRUE(InterfaceTextDB::IsLoaded());

    // A code that could name another file is not taken.
    InterfaceTextDB::SetLanguage("../DE");
    EXPECT_EQ(InterfaceTextDB::GetLanguage(), "US");
}

TEST_F(InterfaceTextTest, BinaryFileComesBeforeTheTextFile)
{
    WriteText("InterfaceText.txt", "$cm_form\t\"text\"\n");
    TDBTagRef tree = TDBTagRef::NewContainer();
    tree.SetChildString("$cm_form", "binary");
    ASSERT_TRUE(SaveConfigFile(tree, {}, (dir_ / "InterfaceText.chump").string()));
    InterfaceTextDB::SetLoaded(false);
    EXPECT_EQ(InterfaceTextDB::GetString("$cm_form"), "binary");
}

TEST_F(InterfaceTextTest, MissingFileIsLoggedAndLeavesAnEmptyTable)
{
    static std::vector<std::string> lines;
    lines.clear();
    SetLogLineObserver([](const char* line) { lines.push_back(line); });
    InterfaceTextDB::SetLoaded(false);
    EXPECT_EQ(InterfaceTextDB::GetString("$cm_x"), "$cm_x");
    EXPECT_EQ(InterfaceTextDB::GetCount(), 0u);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("InterfaceTextDB> Unable to read interface file '", 0), 0u) << lines[0];
}

TEST(SharedAccessLockTest, ExclusiveOwnerMayReenterAndReadersShare)
{
    SharedAccessLock lock;
    lock.Lock(1, true);
    lock.Lock(1, false);  // the owner reading under its own write lock
    lock.Lock(1, true);
    EXPECT_TRUE(lock.IsHeldExclusivelyBy(1));
    lock.Unlock(1);
    lock.Unlock(1);
    lock.Unlock(1);
    EXPECT_FALSE(lock.IsHeldExclusivelyBy(1));
    lock.Lock(2, false);
    lock.Lock(3, false);
    lock.Unlock(2);
    lock.Unlock(3);
    lock.Lock(4, true);
    EXPECT_TRUE(lock.IsHeldExclusivelyBy(4));
    lock.Unlock(4);
}

TEST(InterfaceTextDataTest, ShippedEnglishFileLoadsWithWellFormedPlaceholders)
{
    TDBTagRef tree;
    ASSERT_TRUE(LoadConfigFile(tree, {}, std::string(VELMAR_SOURCE_DIR) + "/data/InterfaceText.txt"));
    ASSERT_GT(tree.GetChildCount(), 100u);
    for (size_t i = 0; i < tree.GetChildCount(); ++i)
    {
        const std::string key(tree.GetChildName(i).View());
        EXPECT_EQ(tree.GetChildTypeAt(i), 4) << key << " is not a string";
        const std::string text = tree.GetChildAt(i).GetString().str();
        EXPECT_FALSE(text.empty()) << key;
        // Every "$(" opens a macro of upper-case letters, digits and "_" that is closed.
        for (size_t at = text.find("$("); at != std::string::npos; at = text.find("$(", at + 2))
        {
            const size_t close = text.find(')', at);
            ASSERT_NE(close, std::string::npos) << key;
            for (size_t c = at + 2; c < close; ++c)
                EXPECT_TRUE(std::isupper(static_cast<unsigned char>(text[c])) ||
                            std::isdigit(static_cast<unsigned char>(text[c])) || text[c] == '_')
                    << key;
        }
        // Only the one text that is used as a printf format carries conversions.
        if (key != "$tet_val_arraybeyondmax")
        {
            EXPECT_EQ(text.find('%'), std::string::npos) << key;
        }
    }
    EXPECT_EQ(tree.GetChildString("$tet_eh_error").str(), "Error: ") << "headings keep their trailing blank";
    EXPECT_EQ(tree.GetChildString("$tet_val_arraybeyondmax").str(),
              "The tag '%s' may hold at most %d values but holds %d.");
}
