// The tool's entry pieces: switches and engine options, the text conversion, the script log sink, the
// plug-in type holder and the crash frame around a command. (The results summary of every kind of result:
// the end-to-end tests, tests/e2e.)
#include "assetdb/ResultsLog.h"
#include "core/LogPrintf.h"
#include "core/VelmarWorker.h"
#include "engine/PluginType.h"
#include "tool/PluginTypeHolder.h"
#include "tool/ResultsSummary.h"
#include "tool/RunCommand.h"
#include "tool/ScriptLogHook.h"
#include "tool/StartDirectory.h"
#include "tool/Tool.h"
#include "tool/ToolSwitches.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

ToolSwitches Collect(std::vector<const char*> words)
{
    return CollectToolSwitches(int(words.size()), const_cast<char**>(words.data()));
}

TEST(ToolSwitchesTest, WordsAnywhereInAnyCase)
{
    const ToolSwitches none = Collect({"VelmarUtil", "version"});
    EXPECT_FALSE(none.noRender);
    EXPECT_FALSE(none.engineLogToConsole);
    EXPECT_TRUE(none.startDaemon);
    EXPECT_TRUE(none.databaseClient);
    EXPECT_FALSE(none.closeDaemonRun);
    EXPECT_EQ(BuildEngineOptionText(none), "-render=OpenGL -hidewindow -LogFile=/dev/null ");

    const ToolSwitches all = Collect(
        {"VelmarUtil", "NoRender", "version", "-ORVOLOG", "-NoStartVADDaemon", "-novadclient", "CloseVADDaemon"});
    EXPECT_TRUE(all.noRender);
    EXPECT_TRUE(all.engineLogToConsole);
    EXPECT_FALSE(all.startDaemon);
    EXPECT_FALSE(all.databaseClient);
    EXPECT_TRUE(all.closeDaemonRun);
    EXPECT_EQ(BuildEngineOptionText(all), "-NullRender -LogStdOut ");

    // argv[0] counts too; near misses do not.
    EXPECT_TRUE(Collect({"norender"}).noRender);
    EXPECT_FALSE(Collect({"VelmarUtil", "-norender", "norender2", "nostartvaddaemon"}).noRender);
    EXPECT_TRUE(Collect({"VelmarUtil", "nostartvaddaemon"}).startDaemon);
}

TEST(Utf8ToLocalTextTest, UnicodeSurvivesAndBrokenTextBecomesAscii)
{
    EXPECT_EQ(std::string(Utf8ToLocalText(Orvo::String("")).c_str()), "");
    EXPECT_EQ(std::string(Utf8ToLocalText(Orvo::String("Zürich – Bahnhof")).c_str()), "Zürich – Bahnhof");
    const std::string broken = Utf8ToLocalText(Orvo::String("a\xff\xfe"
                                                            "b"))
                                   .c_str();
    EXPECT_EQ(broken, "a??b");
}

std::vector<std::string> g_logLines;
void KeepLine(const char* line) { g_logLines.emplace_back(line); }

TEST(ScriptLogSinkTest, FormatsAndCutsLongOutput)
{
    SetLogLineObserver(&KeepLine);
    g_logLines.clear();
    ScriptLogSink("value %d of %s", 3, "x");
    const std::string big(20000, 'y');
    ScriptLogSink("%s", big.c_str());
    SetLogLineObserver(nullptr);
    ASSERT_EQ(g_logLines.size(), 2u);
    EXPECT_EQ(g_logLines[0], "ScriptLog> value 3 of x");
    EXPECT_EQ(g_logLines[1], "ScriptLog> " + std::string(kScriptLogBufferSize - 1, 'y'));
}

TEST(PluginTypeHolderTest, HoldsAFoundTypeAndReleasesIt)
{
    Orvo::PluginBase::UnregisterAll();
    const Orvo::UId family(kPluginFamilyId);
    {
        PluginTypeHolder none(family, Orvo::PString(kPluginTypeName));
        EXPECT_EQ(none.Get(), nullptr);
    }
    auto* type = new Orvo::PluginType(family, Orvo::PString(kPluginTypeName));
    Orvo::PluginBase::RegisterPluginType(type);
    {
        PluginTypeHolder holder(family, Orvo::PString(kPluginTypeName));
        EXPECT_EQ(holder.Get(), type);
        EXPECT_EQ(type->GetRefCount(), 2);
        type->AddRef();
        holder.Reset(type);  // the same type again: still one reference for the holder
        EXPECT_EQ(type->GetRefCount(), 2);
    }
    EXPECT_EQ(type->GetRefCount(), 1);
    Orvo::PluginBase::UnregisterAll();
}

TEST(ToolStartupTest, AFailedStartUpEndsWhatItMade)
{
    // The test program has no validation data beside it, which start-up goes past; the forced renderer
    // failure stops it at the OS, after the engine objects were made.
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(setenv("VELMAR_TEST_RENDER_FAIL", "os-always", 1), 0);
    char* argv[] = {const_cast<char*>("VelmarUtil"), const_cast<char*>("version"), nullptr};
    {
        Tool tool;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(tool.Initialise(2, argv), 255);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  std::string(kRenderRetryMessage) + "\n- Orvo OS initialisation failed.\n");
        EXPECT_EQ(tool.Context().StartDirectory(), saved);
        EXPECT_NE(tool.Engine().os, nullptr);
        EXPECT_EQ(tool.PluginType(), nullptr);
        EXPECT_EQ(tool.Context().Connection(), &tool.Connection());
    }
    unsetenv("VELMAR_TEST_RENDER_FAIL");
    ASSERT_EQ(chdir(saved), 0);
}

int Succeeds(ToolContext&, ResultsLog& log, int argc, char**)
{
    log.PostResult(kResultMessage, VelmarPropertyRef(), "ran");
    return argc;
}
int Faults(ToolContext&, ResultsLog&, int, char**)
{
    std::raise(SIGSEGV);
    return 0;
}
int DividesByZero(ToolContext&, ResultsLog&, int, char**)
{
    std::raise(SIGFPE);
    return 0;
}
int Throws(ToolContext&, ResultsLog&, int, char**) { throw std::runtime_error("escaped"); }
int FailsWithoutAReason(ToolContext&, ResultsLog&, int, char**) { return -1; }

TEST(RunCommandTest, ReturnsTheResultAndSetsTheRunningFlag)
{
    ResultsLog log;
    EngineObjects engine{};
    ToolContext tool(nullptr, engine);
    char* argv[] = {const_cast<char*>("VelmarUtil"), const_cast<char*>("x"), nullptr};
    EXPECT_EQ(RunCommandWith(&Succeeds, tool, log, 2, argv), 2);
    EXPECT_TRUE(VelmarWorker::CommandRunning());
    EXPECT_EQ(log.GetResultCount(), 1u);
}

TEST(RunCommandTest, AFailureWithoutAReasonNeverEndsInACleanSummary)
{
    ResultsLog log;
    EngineObjects engine{};
    ToolContext tool(nullptr, engine);
    char* argv[] = {const_cast<char*>("VelmarUtil"), const_cast<char*>("searchbycategory"), nullptr};
    EXPECT_EQ(RunCommandWith(&FailsWithoutAReason, tool, log, 2, argv), -1);
    EXPECT_EQ(log.ErrorCount(), 1u);
}

TEST(RunCommandDeathTest, CrashesAndEscapingExceptionsEndTheProcessWithMinus100)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EngineObjects engine{};
    ToolContext tool(nullptr, engine);
    char* argv[] = {const_cast<char*>("VelmarUtil"), nullptr};
    for (CommandFunction f : {&Faults, &DividesByZero, &Throws})
    {
        EXPECT_EXIT(
            {
                ResultsLog log;
                RunCommandWith(f, tool, log, 1, argv);
            },
            ::testing::ExitedWithCode(256 + kCrashExitCode), "");
    }
}

}  // namespace
