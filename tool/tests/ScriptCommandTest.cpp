// The compile and encrypt words on real files, with relative paths taken from the start directory, and the
// process's own directory given back. (Compiled and encoded files a user makes: tests/e2e/CommandsE2ETest.cpp.)
#include "CommandTestSupport.h"

#include <cstring>
#include <filesystem>

namespace {

class ScriptCommandTest : public testing::Test
{
protected:
    void SetUp() override { cwd_ = std::filesystem::current_path(); }
    // The words work in the start directory, but the process's own directory is given back.
    void TearDown() override { EXPECT_EQ(std::filesystem::current_path(), cwd_); }
    // Runs the words as started from the test's folder.
    CommandRun Run(std::vector<std::string> words) { return RunWords(std::move(words), nullptr, t_.Path()); }

    TempFolder t_;
    std::filesystem::path cwd_;
};

TEST_F(ScriptCommandTest, CompileRunsInTheStartDirectoryAndRestoresIt)
{
    t_.Write("Good.gs", "class Good { void f() { } }\n");
    t_.Write("Bad.gs", "class Bad {\n  void f() {\n}\n");
    CommandRun good = Run({"compile", "-s", "Good.gs"});
    EXPECT_EQ(good.exit, 0);
    EXPECT_TRUE(std::filesystem::exists(t_.Sub("Good.gsl")));
    CommandRun bad = Run({"COMPILE", "-s", "Bad.gs"});
    EXPECT_EQ(bad.exit, -1);
    EXPECT_FALSE(std::filesystem::exists(t_.Sub("Bad.gsl")));
    // Encrypt takes the name as typed: a lower-cased "missing.gs" would be another file.
    EXPECT_EQ(Run({"encrypt", "Missing.gs"}).Texts(), std::vector<std::string>{"Invalid file path."});
}

}  // namespace
