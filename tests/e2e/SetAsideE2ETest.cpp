// Texture descriptions set aside while they are compiled ("x.texture.txt" loaded as "x.convert-tex.txt"), with the
// conversion killed (SIGKILL) the moment one is aside: the next conversion, by the tool or by a commit, gives each
// back under exactly the name it had, a link as that same link, and never takes a user's own file of the temporary
// name for one.
#include "E2EFixture.h"

#include "engine/Bitmap.h"
#include "platform/Process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The names in a folder, hidden ones too (links and folders included), in name order.
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsCompiledTexture(const std::string& text) { return text.size() > 12 && text.compare(0, 4, "OIRF") == 0; }

std::string GivenBack(const std::string& kuid, const std::string& aside, const std::string& own)
{
    return "! " + kuid + " : The texture description '" + aside +
           "', left under that name by a conversion that was cut short, has its own name '" + own + "' back\n";
}

class SetAsideE2E : public DaemonRootTest
{
protected:
    // A picture in `folder` large enough that its conversion lasts a moment.
    void AddPicture(const std::string& folder, const std::string& image, uint32_t side = 1024)
    {
        fs::create_directories(root_.Path(folder));
        Orvo::Bitmap b(side, side, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x)
            {
                uint8_t* p = b.Row(y) + x * 4;
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = 255;
            }
        ASSERT_TRUE(b.Save(root_.Path(folder + "/" + image)));
    }

    // Runs compresstexture on `folder` and kills it the moment `aside` appears there (watched for with inotify).
    // True when the description `own` was left aside then (a conversion that ended first is run again).
    bool KillWhileAside(const std::string& folder, const std::string& own, const std::string& aside)
    {
        const std::string dir = root_.Path(folder);
        for (int attempt = 0; attempt < 5; ++attempt)
        {
            const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
            if (watch < 0 || inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO | IN_CREATE) < 0) return false;
            std::unique_ptr<RunningProgram> tool = root_.Start({"compresstexture", dir}, RunOptions::In(dir));
            bool seen = false;
            while (!seen && Platform::IsProcessAlive(tool->Pid()))
            {
                pollfd p{watch, POLLIN, 0};
                if (poll(&p, 1, 100) <= 0) continue;  // (the bound only lets a tool that ended be noticed)
                alignas(inotify_event) char events[4096];
                const ssize_t n = read(watch, events, sizeof events);
                for (ssize_t at = 0; at < n;)
                {
                    const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                    seen = seen || (e->len > 0 && aside == e->name);
                    at += ssize_t(sizeof(inotify_event) + e->len);
                }
            }
            kill(tool->Pid(), SIGKILL);
            tool->Wait();
            close(watch);
            if (fs::exists(fs::symlink_status(dir + "/" + aside)) && !fs::exists(fs::symlink_status(dir + "/" + own)))
                return true;
        }
        return false;
    }

    // An asset with nothing to compile, open for edit; its edit folder.
    std::string EditedAsset(const std::string& kuid, const std::string& name)
    {
        root_.WriteFile("work/" + name + "/config.txt",
                        "kuid " + kuid + "\nusername \"" + name + "\"\nkind \"scenery\"\n");
        EXPECT_EQ(Run({"installfrompath", name}).exitCode, 0);
        EXPECT_EQ(Run({"edit", kuid}).exitCode, 0);
        const std::string spaced = kuid.substr(6, kuid.size() - 7);  // "<kuid:900301:1>" -> "900301:1"
        return "UserData/editing/kuid " + spaced.substr(0, spaced.find(':')) + " " +
               spaced.substr(spaced.find(':') + 1);
    }
};

// A description that is a symbolic link is set aside as that link; a conversion killed then leaves the link aside,
// and the next one gives the link itself its name back (its target untouched) and compiles the texture.
TEST_F(SetAsideE2E, ALinkLeftAsideIsGivenBackAsThatLink)
{
    const std::string folder = "UserData/editing/linked", target = "shared/big-description.txt";
    AddPicture(folder, "big.tga");
    root_.WriteFile(folder + "/" + target, "Primary=big.tga\n");
    fs::create_symlink(target, root_.Path(folder + "/big.texture.txt"));
    ASSERT_TRUE(KillWhileAside(folder, "big.texture.txt", "big.convert-tex.txt"));

    const RunResult r = Run({"compresstexture", root_.Path(folder)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, GivenBack("NULLKUID", root_.Path(folder + "/big.convert-tex.txt"), "big.texture.txt") +
                         "OK (0 Errors, 1 Warnings)\n");
    ASSERT_TRUE(fs::is_symlink(root_.Path(folder + "/big.texture.txt")));
    EXPECT_EQ(fs::read_symlink(root_.Path(folder + "/big.texture.txt")), target);
    EXPECT_EQ(root_.ReadFile(folder + "/" + target), "Primary=big.tga\n");
    EXPECT_TRUE(IsCompiledTexture(root_.ReadFile(folder + "/big.texture")));
    EXPECT_EQ(Entries(root_.Path(folder)),
              (std::vector<std::string>{"big.texture", "big.texture.txt", "big.tga", "shared"}));
}

// A description comes back under exactly the name it had, whatever its case, also where another description's
// name differs from it only in case (both are converted under one temporary name: the note beside it says whose
// it is); the commit then installs it under that name.
TEST_F(SetAsideE2E, ADescriptionComesBackUnderExactlyItsOwnName)
{
    struct Row
    {
        std::string kuid, asset, own, aside;
        std::vector<std::string> others;  // descriptions beside it
    } rows[] = {{"<kuid:900301:1>", "upper", "Big.Texture.TXT", "Big.convert-tex.txt", {}},
                {"<kuid:900301:2>", "pair", "big.Texture.txt", "big.convert-tex.txt", {"big.texture.txt"}}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.own);
        const std::string editing = EditedAsset(row.kuid, row.asset);
        AddPicture(editing, "big.tga");
        std::map<std::string, std::string> texts;
        for (const std::string& name : row.others) texts[name] = "Primary=big.tga\nTile=st\n";
        texts[row.own] = "Primary=big.tga\n";
        for (const auto& [name, text] : texts) root_.WriteFile(editing + "/" + name, text);
        ASSERT_TRUE(KillWhileAside(editing, row.own, row.aside));

        const RunResult r = Run({"commit", row.kuid});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find(GivenBack(row.kuid, root_.Path(editing + "/" + row.aside), row.own)), std::string::npos)
            << r.out;
        const std::string local = root_.Path("UserData/local/" + editing.substr(editing.rfind('/') + 1));
        std::vector<std::string> expected{"big.tga", "config.txt"};
        for (const auto& [name, text] : texts)
        {
            EXPECT_EQ(ReadWholeFile(local + "/" + name), text) << name;
            expected.push_back(name);
        }
        // Nothing else but the texture compiled (one, where two descriptions are one texture's): no other
        // spelling of the name, nothing left aside, no note of it.
        std::vector<std::string> entries = Entries(local);
        const auto compiled = std::find_if(entries.begin(), entries.end(), [](std::string n) {
            std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            return n == "big.texture";
        });
        ASSERT_NE(compiled, entries.end());
        EXPECT_TRUE(IsCompiledTexture(ReadWholeFile(local + "/" + *compiled))) << *compiled;
        entries.erase(compiled);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(entries, expected);
    }
}

// A user's own file of a description's temporary name, beside the description in any case, is never taken for a
// description left aside: neither an install nor the tool renames it, and the description stays as it is.
TEST_F(SetAsideE2E, AUsersFileOfTheTemporaryNameIsNeverTakenForADescription)
{
    const std::string src = "work/wall", notes = "the user's own notes\n", description = "Primary=wall.tga\n";
    root_.WriteFile(src + "/config.txt", "kuid <kuid:900302:1>\nusername \"Wall\"\nkind \"scenery\"\n");
    AddPicture(src, "wall.tga", 64);
    root_.WriteFile(src + "/wall.Texture.txt", description);
    root_.WriteFile(src + "/wall.convert-tex.txt", notes);
    const std::vector<std::string> before = Entries(root_.Path(src));

    const RunResult installed = Run({"installfrompath", "wall"});
    EXPECT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out.find("has its own name"), std::string::npos) << installed.out;
    const std::string local = root_.Path("UserData/local/kuid 900302 1");
    EXPECT_EQ(ReadWholeFile(local + "/wall.convert-tex.txt"), notes);
    EXPECT_EQ(ReadWholeFile(local + "/wall.Texture.txt"), description);
    EXPECT_FALSE(fs::exists(local + "/wall.texture.txt"));

    EXPECT_EQ(Entries(root_.Path(src)), before);

    // The tool converting such a folder where it lies.
    const std::string editing = root_.Path("UserData/editing/wall");
    fs::copy(root_.Path(src), editing);
    const RunResult converted = Run({"compresstexture", editing});
    EXPECT_EQ(converted.out.find("has its own name"), std::string::npos) << converted.out;
    EXPECT_NE(converted.out.find("'wall.convert-tex.txt' already exists"), std::string::npos) << converted.out;
    EXPECT_EQ(Entries(editing), before);
    EXPECT_EQ(ReadWholeFile(editing + "/wall.convert-tex.txt"), notes);
    EXPECT_EQ(ReadWholeFile(editing + "/wall.Texture.txt"), description);
}

}  // namespace
}  // namespace e2e
