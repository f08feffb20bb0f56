// The compile and encrypt words on real files, with relative paths taken from the start directory, and the
// process's own directory given back. (Compiled and encoded files a user makes: tests/e2e/CommandsE2ETest.cpp.)
#include "CommandTestSupport.h"

#include "tool/StartDirectory.h"

#include <cstring>
#include <filesystem>

namespace {

class ScriptCommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::memcpy(saved_, StartDirectory, sizeof saved_);
        std::strncpy(StartDirectory, t_.Path().c_str(), kStartDirectorySize - 1);
        cwd_ = std::filesystem::current_path();
    }
    // The words work in the start directory, but the process's own directory is given back.
    void TearDown() override
    {
        std::memcpy(StartDirectory, saved_, sizeof saved_);
        EXPECT_EQ(std::filesystem::current_path(), cwd_);
    }

    TempFolder t_;
    char saved_[kStartDirectorySize];
    std::filesystem::path cwd_;
};

TEST_F(ScriptCommandTest, CompileRunsInTheStartDirectoryAndRestoresIt)
{
    t_.Write("Good.gs", "class Good { void f() { } }\n");
    t_.Write("Bad.gs", "class Bad {\n  void f() {\n}\n");
    CommandRun good = RunWords({"compile", "-s", "Good.gs"});
    EXPECT_EQ(good.exit, 0);
    EXPECT_TRUE(std::filesystem::exists(t_.Sub("Good.gsl")));
    CommandRun bad = RunWords({"COMPILE", "-s", "Bad.gs"});
    EXPECT_EQ(bad.exit, -1);
    EXPECT_FALSE(std::filesystem::exists(t_.Sub("Bad.gsl")));
    // Encrypt takes the name as typed: a lower-cased "missing.gs" would be another file.
    EXPECT_EQ(RunWords({"encrypt", "Missing.gs"}).Texts(), std::vector<std::string>{"Invalid file path."});
}

}  // namespace
