// Batch files: the splitting rules of one line, the lines that are skipped, and running a whole file. (A
// failing line, missing and unreadable files: tests/e2e/ToolEntryE2ETest.cpp.)
#include "CommandTestSupport.h"

#include "engine/File.h"
#include "tool/BatchFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(BatchLineTest, WordsAndQuotedTexts)
{
    EXPECT_EQ(SplitBatchLine("\"installfrompath\" \"C:/My Assets/a\"\n"), (Args{"installfrompath", "C:/My Assets/a"}));
    EXPECT_EQ(SplitBatchLine("version"), (Args{"version"}));
    EXPECT_EQ(SplitBatchLine("echo hello world\r\n"), (Args{"echo", "hello", "world"}));
    EXPECT_EQ(SplitBatchLine(" echo x"), (Args{"echo", "x"}));
    EXPECT_EQ(SplitBatchLine("\"echo\"\"x\""), (Args{"echo", "x"}));
    EXPECT_EQ(SplitBatchLine("\"\""), (Args{""}));
}

TEST(BatchLineTest, QuirksOfTheOnePassSplit)
{
    // Two spaces give an empty argument; a leading space is not doubled, a second one counts.
    EXPECT_EQ(SplitBatchLine("echo  x"), (Args{"echo", "", "x"}));
    EXPECT_EQ(SplitBatchLine("  echo"), (Args{"", "echo"}));
    // Text glued to a closing quote is dropped up to the next space; text before an opening quote too.
    EXPECT_EQ(SplitBatchLine("\"echo\"tail next"), (Args{"echo", "next"}));
    EXPECT_EQ(SplitBatchLine("head\"echo\" x"), (Args{"echo", "x"}));
    // A quote left open drops the rest of the line.
    EXPECT_EQ(SplitBatchLine("\"version\" \"never closed"), (Args{"version"}));
    EXPECT_EQ(SplitBatchLine("\"open"), (Args{}));
    // The line ends at the first CR or LF after its first character; a tab is an ordinary character.
    EXPECT_EQ(SplitBatchLine("a\rb c"), (Args{"a"}));
    EXPECT_EQ(SplitBatchLine("a\tb"), (Args{"a\tb"}));
    // A line end in the first place stays and makes the line one to skip.
    EXPECT_EQ(SplitBatchLine("\n"), (Args{"\n"}));
    EXPECT_EQ(SplitBatchLine("\r\n"), (Args{"\r"}));
}

TEST(BatchLineTest, SkippedLines)
{
    for (const char* blank : {"", "\n", "\r\n", "     \n", " \t \r\n"}) EXPECT_TRUE(IsBlankBatchLine(blank)) << blank;
    // Split as it stands, an empty line would be one empty word: IsBlankBatchLine keeps it from running.
    EXPECT_EQ(SplitBatchLine(""), (Args{""}));
    EXPECT_TRUE(IsBatchLineSkipped(SplitBatchLine("\n")));
    EXPECT_TRUE(IsBatchLineSkipped(SplitBatchLine("\r\n")));
    // Empty words are words: the line runs, and fails as a command word given empty does.
    EXPECT_FALSE(IsBlankBatchLine("\"\"\n"));
    EXPECT_FALSE(IsBatchLineSkipped(SplitBatchLine("\"\"")));
    EXPECT_FALSE(IsBatchLineSkipped(SplitBatchLine("\"\" \"\"")));
    EXPECT_TRUE(IsBatchLineSkipped(Args{"echo", " x"}));
    EXPECT_FALSE(IsBatchLineSkipped(SplitBatchLine("version")));
    EXPECT_FALSE(IsBatchLineSkipped(SplitBatchLine("  version")));
}

class BatchFileRunTest : public ::testing::Test
{
protected:
    std::string Write(const std::string& text)
    {
        temp_.Write("batch.txt", text);
        return temp_.Sub("batch.txt");
    }
    BatchFileResult Run(const std::string& path)
    {
        return RunBatchFile(path, "/opt/velmar/bin/VelmarUtil", [this](int argc, char** argv) {
            Args line;
            for (int i = 0; i < argc; ++i) line.emplace_back(argv[i]);
            EXPECT_EQ(argv[argc], nullptr);
            lines_.push_back(line);
            return 0;
        });
    }
    TempFolder temp_;
    std::vector<Args> lines_;
};

TEST_F(BatchFileRunTest, EveryLineRunsWithTheProgramPathFirst)
{
    const BatchFileResult r = Run(Write("\"version\"\n\n\"echo\" \"a b\"\r\n   \nlast"));
    EXPECT_EQ(r.status, BatchFileStatus::Ran);
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(lines_.size(), 3u);
    EXPECT_EQ(lines_[0], (Args{"/opt/velmar/bin/VelmarUtil", "version"}));
    EXPECT_EQ(lines_[1], (Args{"/opt/velmar/bin/VelmarUtil", "echo", "a b"}));
    EXPECT_EQ(lines_[2], (Args{"/opt/velmar/bin/VelmarUtil", "last"}));
    // An empty file runs nothing and succeeds.
    lines_.clear();
    EXPECT_EQ(Run(Write("")).exitCode, 0);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(BatchFileRunTest, ALineWithAQuoteNeverClosedIsRefusedWithItsLineNumber)
{
    std::vector<std::string> refused;
    const std::string path = Write("\"echo\" \"a\"\n\"commit\r\nversion \"x\" \"open\nlast \"b\"\"c\"\n\"tail");
    const BatchFileResult r = RunBatchFile(
        path, "VelmarUtil",
        [this](int argc, char** argv) {
            lines_.emplace_back(argv + 1, argv + argc);
            return 0;
        },
        [&refused](const std::string& message) { refused.push_back(message); });
    EXPECT_EQ(r.status, BatchFileStatus::Ran);
    EXPECT_EQ(r.exitCode, -1);
    // The other lines run as before, in order.
    EXPECT_EQ(lines_, (std::vector<Args>{{"echo", "a"}, {"last", "b", "c"}}));
    EXPECT_EQ(refused, (std::vector<std::string>{UnclosedQuoteMessage(path, 2), UnclosedQuoteMessage(path, 3),
                                                 UnclosedQuoteMessage(path, 5)}));
    EXPECT_EQ(UnclosedQuoteMessage("b.txt", 7),
              "The batch file 'b.txt' line 7: a double quote is never closed; the line was not run.");
    // A quote after the line's end does not count; a CR in the middle ends the line.
    EXPECT_FALSE(BatchLineHasUnclosedQuote("echo\r\"x"));
    // A zero byte within the line is found; one after its line end is not part of it.
    EXPECT_TRUE(BatchLineHasZeroByte(std::string_view("echo a\0b\n", 9)));
    EXPECT_FALSE(BatchLineHasZeroByte(std::string_view("echo\r\0", 6)));
    EXPECT_FALSE(BatchLineHasZeroByte("echo\n"));
    EXPECT_FALSE(BatchLineHasUnclosedQuote("\"\"\n"));
    EXPECT_TRUE(BatchLineHasUnclosedQuote("\"\"\"\n"));
}

TEST(BatchFilePathTest, RelativeNamesAreTakenFromTheStartDirectory)
{
    EXPECT_EQ(ResolveBatchFilePath("jobs/b.txt", "/home/u"), "/home/u/jobs/b.txt");
    EXPECT_EQ(ResolveBatchFilePath("b.txt", "/"), "/b.txt");
    EXPECT_EQ(ResolveBatchFilePath("/abs/b.txt", "/home/u"), "/abs/b.txt");
    EXPECT_EQ(ResolveBatchFilePath("b.txt", ""), "b.txt");
}

TEST_F(BatchFileRunTest, LongLinesAndLongArgumentsAreKeptWhole)
{
    const std::string big(100000, 'x');
    Run(Write("echo \"" + big + "\" " + big + "\n"));
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0], (Args{"/opt/velmar/bin/VelmarUtil", "echo", big, big}));
}

}  // namespace
