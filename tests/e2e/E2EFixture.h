#pragma once
// What most end-to-end tests share: a root whose daemon runs, and a working folder "work" from which the
// tool is run, so that relative paths must resolve against it.
#include "E2EHarness.h"

#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/Bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

inline constexpr char kOK[] = "OK (0 Errors, 0 Warnings)\n";

// One error line for the null KUID, then the summary.
inline std::string Failed(const std::string& message)
{
    return "- NULLKUID : " + message + "\nOK (1 Errors, 0 Warnings)\n";
}

// Polls `done` every `stepMs` until it holds, `tries` times at most; for what the daemon takes on its own time.
template <typename F>
bool Eventually(F done, int tries = 300, int stepMs = 50)
{
    for (int i = 0; i < tries; ++i)
    {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return done();
}

// The English text of an interface key with its placeholders filled, as a summary shows it.
inline std::string InterfaceText(const std::string& key, const std::map<std::string, std::string>& params = {})
{
    static const TDBTagRef texts = [] {
        TDBTagRef t;
        // Without the file every key stands for itself, which the test's comparison then shows.
        (void)LoadConfigFile(t, {}, VELMAR_SOURCE_DIR "/data/InterfaceText.txt");
        return t;
    }();
    std::string text = texts.GetChildString(key, key).str();
    for (const auto& [name, value] : params)
    {
        const std::string macro = "$(" + name + ")";
        const size_t at = text.find(macro);
        if (at != std::string::npos) text.replace(at, macro.size(), value);
    }
    return text;
}

// The result lines of each command of a batch run, one list per summary.
inline std::vector<std::vector<std::string>> BatchBlocks(const std::string& out)
{
    std::vector<std::vector<std::string>> blocks(1);
    for (const std::string& line : Lines(out))
    {
        if (line.rfind("OK (", 0) == 0)
            blocks.emplace_back();
        else if (!line.empty())
            blocks.back().push_back(line);
    }
    blocks.pop_back();
    return blocks;
}

// The files below a folder, as paths relative to it, in name order.
inline std::vector<std::string> FilesBelow(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) names.push_back(std::filesystem::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// The names in a folder (hidden ones, links and folders included) that start with `prefix`, in name order; none
// where there is no such folder.
inline std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix = "")
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (std::string name = e.path().filename().string(); name.starts_with(prefix)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

// The names in a folder of what an interrupted run may leave: temporary files and descriptions set aside.
inline std::vector<std::string> Leftovers(const std::string& folder)
{
    std::vector<std::string> names = NamesIn(folder);
    std::erase_if(names,
                  [](const std::string& n) { return n.find(".part-") == n.npos && n.find("convert-tex") == n.npos; });
    return names;
}

// Whether a file holds a compiled texture.
inline bool IsCompiledTexture(const std::string& path) { return ReadWholeFile(path).rfind("OIRF", 0) == 0; }

// A picture of `side` x `side` pixels with no two rows alike (1024: its conversion lasts a moment).
inline bool WritePicture(const std::string& path, uint32_t side = 1024)
{
    Orvo::Bitmap picture(side, side, Orvo::Bitmap::FormatXRGB32);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
        {
            uint8_t* p = picture.Row(y) + x * 4;
            p[0] = uint8_t(x * 7 + y), p[1] = uint8_t(x ^ y), p[2] = uint8_t(y * 3), p[3] = 255;
        }
    return picture.Save(path);
}

// How many command hosts have registered with the root's daemon, by its log.
inline size_t HostsRegistered(const InstallRoot& root)
{
    const std::string log = root.ReadFile("UserData/settings/vaddaemon.log");
    size_t n = 0;
    for (size_t at = log.find("command host registered"); at != std::string::npos;
         at = log.find("command host registered", at + 1))
        ++n;
    return n;
}

class DaemonRootTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.StartDaemon());
        std::filesystem::create_directories(root_.Path("work"));
    }
    RunResult Run(const std::vector<std::string>& args) const
    {
        return root_.Run(args, RunOptions::In(root_.Path("work")));
    }

    InstallRoot root_;
};

// Reads the daemon's settings with a client of its own, as the simulator would.
class SettingsReader
{
public:
    explicit SettingsReader(const std::string& root)
    {
        connection_.SetRoot(root);
        VADConnectionSettings settings;
        settings.startDaemon = 0;
        connected_ = connection_.Open(settings).Ok();
    }
    ~SettingsReader() { connection_.Close(); }
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;
    bool Connected() const { return connected_; }
    // The requests on the reader's own link.
    VADClient& Client() { return client_; }
    TDBTagRef Group(const char* name)
    {
        TDBTagRef tree;
        (void)client_.GetSettingsGroup(name, tree, 0);  // a group that cannot be read is the null tree
        return tree;
    }

private:
    VADConnection connection_;  // made before the constructor body uses it
    VADClient client_{connection_};
    bool connected_ = false;
};

}  // namespace e2e
