// Starting and stopping processes, the URL protocol record and the simulator's display settings.
#include "CommandTestSupport.h"

#include "core/ConfigFile.h"
#include "platform/Process.h"
#include "tool/Process.h"

#include <cstring>
#include <filesystem>

namespace {

TEST(LaunchProcessTest, CommandLineAndWaiting)
{
    EXPECT_EQ(BuildLaunchCommandLine("/opt/velmar/bin/VADDaemon", "-root /opt/velmar"), "VADDaemon -root /opt/velmar");
    EXPECT_EQ(LaunchProcess("", "x", nullptr, 0), 0);
    EXPECT_EQ(LaunchProcess(nullptr, "x", nullptr, 0), 0);
    EXPECT_EQ(LaunchProcess("/no/such/program", "", nullptr, kLaunchFlagWait), 0);

    // With the wait flag the child has ended (and written its file) when the call returns.
    TempFolder t;
    int pid =
        LaunchProcess("/bin/sh", "-c \"echo done > marker\"", t.Path().c_str(), kLaunchFlagWait | kLaunchFlagNoWindow);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(std::filesystem::exists(t.Sub("marker")));
}

TEST(TerminateProcessesTest, WaitZeroEndsNothingAndNeverTheCaller)
{
    TempFolder t;
    std::filesystem::copy_file("/bin/sleep", t.Sub("sleeper"));
    std::filesystem::permissions(t.Sub("sleeper"), std::filesystem::perms::owner_all);
    int pid = LaunchProcess(t.Sub("sleeper").c_str(), "30", nullptr, kLaunchFlagHidden);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(TerminateProcessesByPath(t.Sub("sleeper").c_str(), 0), 0);
    EXPECT_TRUE(Platform::IsProcessAlive(pid));
    EXPECT_EQ(TerminateProcessesByPath(t.Sub("sleeper").c_str(), 200), 1);
    (void)Platform::WaitForProcess(pid, 5000);  // reaps it, unless ending it reaped it already
    EXPECT_FALSE(Platform::IsProcessAlive(pid));
    EXPECT_EQ(TerminateProcessesByPath(Platform::ExecutablePath().c_str(), 200), 0);
}

TEST(UrlProtocolTest, CommandIsQuotedOnceAndBounded)
{
    EXPECT_EQ(BuildUrlProtocolCommand("/opt/bin/VelmarUtil"), "\"/opt/bin/VelmarUtil\" \"%1\"");
    EXPECT_EQ(BuildUrlProtocolCommand("\"/opt/bin/VelmarUtil\""), "\"/opt/bin/VelmarUtil\" \"%1\"");
    std::string exe(253, 'a');  // 253 + 2 quotes + 5 = 260: one too many for the buffer
    EXPECT_EQ(BuildUrlProtocolCommand(exe.c_str()), "");
    exe.pop_back();
    EXPECT_EQ(BuildUrlProtocolCommand(exe.c_str()).size(), 259u);

    TempFolder t;
    ASSERT_TRUE(RegisterUrlProtocol("/opt/bin/VelmarUtil", t.Path().c_str()));
    TDBTagRef tree;
    ASSERT_TRUE(LoadConfigFile(tree, "", t.Sub("url-protocol.txt")));
    TDBTagRef key = tree.GetChildContainer("Velmar");
    EXPECT_EQ(key.GetChildString("default").str(), "URL: Velmar Protocol");
    EXPECT_EQ(key.GetChildContainer("shell")
                  .GetChildContainer("open")
                  .GetChildContainer("command")
                  .GetChildString("default")
                  .str(),
              "\"/opt/bin/VelmarUtil\" \"%1\"");
    EXPECT_FALSE(RegisterUrlProtocol(std::string(300, 'b').c_str(), t.Path().c_str()));
}

struct Bytes
{
    std::vector<uint8_t> b;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes& F32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Signature(uint32_t version)
    {
        return U32(0x2B746B3E).U32(0x0A80C2BE).U32(0x168401F7).U32(0x01D1EE3C).U32(version);
    }
    // Fields 1-8 (Tail gives 9-14).
    Bytes& Common(uint32_t width)
    {
        U32(width).U32(16).U32(2).U32(4).U32(0).U32(0).U32(1).U32(1);
        return *this;
    }
    Bytes& Tail(uint32_t height) { return U32(0).U32(1).F32(0.25f).U32(height).U32(0).F32(1.5f); }
};

TEST(DisplaySettingsTest, VersionsAndShortFiles)
{
    Bytes v0, v1, v3, v4, v5, cut;
    v0.Common(800).Tail(600).U32(8);                           // no signature: version 0, no multisample word read
    v1.Signature(1).Common(640).U32(0xDEAD).Tail(480).U32(2);  // version 1 drops one word; below 3 forces 4
    v3.Signature(3).Common(1024).Tail(768).U32(8);
    v4.Signature(4).Common(1920).Tail(1080).U32(2).U32(3).F32(24.0f);
    v5.Signature(5).Common(1).Tail(1);   // a version we do not know: the defaults
    cut.Signature(2).U32(1280).U32(24);  // cut short: what is there, then the defaults
    const Bytes* files[] = {&v0, &v1, &v3, &v4, &v5, &cut};
    const uint32_t expected[][3] = {{800, 600, 4},   {640, 480, 4},  {1024, 768, 4},
                                    {1920, 1080, 2}, {1024, 768, 4}, {1280, 768, 4}};  // width, height, multisample
    DisplaySettings s[std::size(files)];
    for (size_t i = 0; i < std::size(files); ++i)
    {
        ParseDisplaySettings(files[i]->b.data(), files[i]->b.size(), s[i]);
        EXPECT_EQ(s[i].width, expected[i][0]) << i;
        EXPECT_EQ(s[i].height, expected[i][1]) << i;
        EXPECT_EQ(s[i].multisample, expected[i][2]) << i;
    }
    EXPECT_EQ(s[0].vsyncMode, 2u);
    EXPECT_FLOAT_EQ(s[0].vertexOffset, 0.25f);
    EXPECT_FLOAT_EQ(s[0].physicalScreenRatio, 1.5f);
    EXPECT_EQ(s[1].offsetVertices, 1u);
    EXPECT_EQ(s[3].formFactor, 3u);
    EXPECT_FLOAT_EQ(s[3].screenDiagonalInches, 24.0f);
    EXPECT_EQ(s[5].colourBits, 24u);
}

TEST(DisplaySettingsTest, SimulatorArguments)
{
    DisplaySettings s;
    EXPECT_EQ(BuildSimulatorArguments(s),
              " -Width=1024 -Height=768 -ColorBits=32 -fullscreen -multiSample=4 -Render=OpenGL -formfactor=0"
              " -screenppi=365");
    s.fullScreen = 0;
    s.renderer = 0;
    s.stencil = 0;
    s.vsyncMode = 2;
    s.refreshChoice = 7;
    s.offsetVertices = 1;
    s.physicalScreenRatio = -1.25f;
    s.screenDiagonalInches = 0.0f;
    EXPECT_EQ(BuildSimulatorArguments(s),
              " -Width=1024 -Height=768 -ColorBits=32 -windowed -PhysicalScreenRatio=-1.250000 -multiSample=4"
              " -Render=DirectX9 -DisableStencil -Vsync=2 -Frequency=100 -offsetvertices=0.5 -formfactor=0");

    TempFolder t;
    EXPECT_FALSE(ReadDisplaySettings(t.Path().c_str(), s));
    EXPECT_FALSE(LaunchSimulator(t.Path().c_str(), "", nullptr));
}

}  // namespace
