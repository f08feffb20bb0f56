#include "engine/Log.h"
#include "engine/Options.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Orvo::Log;
using Orvo::Options;

TEST(Options, ParsesFlagsValuesAndQuotes)
{
    Options o;
    EXPECT_EQ(o.ProcessRaw("-render=OpenGL -hidewindow  -LogFile=\"/tmp/a b.log\" -Size=12 -Scale=0.5 plain"), 6);
    EXPECT_TRUE(o.Has("HIDEWINDOW"));
    EXPECT_STREQ(o.Get("hidewindow"), "");
    EXPECT_STREQ(o.Get("Render"), "OpenGL");
    EXPECT_STREQ(o.Get("logfile"), "/tmp/a b.log");
    EXPECT_EQ(o.Get("missing"), nullptr);
    EXPECT_EQ(o.GetInt("size", -1), 12);
    EXPECT_EQ(o.GetInt("render", -1), -1);  // not a number
    EXPECT_DOUBLE_EQ(o.GetFloat("scale", 0), 0.5);
    EXPECT_EQ(o.GetString("nothing", "dflt"), "dflt");
    EXPECT_TRUE(o.Has("plain"));

    o.ProcessRaw("-render=Null");  // a later word replaces the earlier one
    EXPECT_STREQ(o.Get("render"), "Null");
    o.ProcessRaw("-NullRender");
    EXPECT_TRUE(o.Has("nullrender"));
}

TEST(Options, ListValuesSplitAtTheirSeparators)
{
    Options o("-Compression=auto,dxt1,,dxt5 -MaxTextureSize=1024;512");
    std::vector<std::string> items;
    Orvo::String item;
    size_t pos = 0;
    while (o.GetNext("compression", pos, item)) items.push_back(item.str());
    EXPECT_EQ(items, (std::vector<std::string>{"auto", "dxt1", "", "dxt5"}));
    o.SetSeparators("MaxTextureSize", ";");
    pos = 0;
    ASSERT_TRUE(o.GetNext("maxtexturesize", pos, item));
    EXPECT_EQ(item, "1024");
    ASSERT_TRUE(o.GetNext("maxtexturesize", pos, item));
    EXPECT_EQ(item, "512");
    EXPECT_FALSE(o.GetNext("maxtexturesize", pos, item));
    EXPECT_EQ(Options("-a=\"x y\" -b").ToText(), "-a=\"x y\" -b");
}

namespace {

// Runs `body` in a child process and returns what it wrote to standard output.
std::string ChildStdout(const std::function<void()>& body)
{
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0)
    {
        dup2(fds[1], 1);
        close(fds[0]);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return out;
}

}  // namespace

TEST(Log, StdOutShowsLinesAndDevNullSilences)
{
    std::string shown = ChildStdout([] {
        Log::Init(Options("-render=OpenGL -hidewindow -LogStdOut "));
        Log::Printf("first %d", 1);
        Log::Write("second\n");
        Log::Shutdown();
        Log::Printf("after shutdown");
    });
    EXPECT_EQ(shown, "first 1\nsecond\n");

    std::string silent = ChildStdout([] {
        Log::Init(Options("-NullRender -LogFile=/dev/null "));
        Log::Printf("hidden");
        Log::Shutdown();
    });
    EXPECT_EQ(silent, "");

    std::string neither = ChildStdout([] {
        Log::Init(Options("-NullRender"));
        Log::Printf("hidden");
    });
    EXPECT_EQ(neither, "");
}

TEST(Log, LogFileAppendsLinesFromManyThreads)
{
    ScratchFolder dir;
    ASSERT_TRUE(dir.IsValid());
    std::string path = dir / "engine.log";
    {
        std::ofstream(path) << "existing\n";
    }
    ASSERT_TRUE(Log::Init(Options("-LogFile=\"" + path + "\"")));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) Log::Printf("thread %d line %d", t, i);
        });
    for (auto& th : threads) th.join();
    Log::Shutdown();
    std::ifstream in(path);
    std::string line;
    int count = 0;
    std::getline(in, line);
    EXPECT_EQ(line, "existing");
    while (std::getline(in, line))
    {
        EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;  // whole lines, never interleaved
        ++count;
    }
    EXPECT_EQ(count, 400);
    EXPECT_FALSE(Log::Init(Options("-LogFile=/nonexistent-dir/x.log")));
    EXPECT_FALSE(Log::IsEnabled());
}
