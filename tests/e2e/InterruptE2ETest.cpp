// Work interrupted the moment an output starts to change, a temporary file appears or a description is set aside
// ("x.texture.txt" loaded as "x.convert-tex.txt"), or a package is being made. What is left is whole: an output in
// place is old or new, no temporary stays, the daemon's next start removes what a killed command recorded as its own
// work (and nothing a user's file merely named as such), and a description comes back under exactly its name, a link
// as that link, a user's file never taken for one.
#include "E2EFixture.h"
#include "SignalAtEvent.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kKuid[] = "<kuid:900002:31>", kEditing[] = "UserData/editing/kuid 900002 31/";
constexpr char kPrimary[] = "Primary=big.tga\n";

bool IsTemporary(const std::string& name) { return name.find(".part-") != std::string::npos; }

// The names in a folder, hidden ones, links and folders included, in name order; with `leftovers`, only temporary
// files and descriptions aside.
std::vector<std::string> Entries(const std::string& folder, bool leftovers = false)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (const std::string n = e.path().filename(); !leftovers || IsTemporary(n) || n.find("convert-tex") != n.npos)
            names.push_back(n);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsCompiledTexture(const std::string& path) { return ReadWholeFile(path).rfind("OIRF", 0) == 0; }

std::string GivenBack(const std::string& kuid, const std::string& aside, const std::string& own)
{
    return "! " + kuid + " : The texture description '" + aside +
           "', left under that name by a conversion that was cut short, has its own name '" + own + "' back\n";
}

class InterruptE2E : public DaemonRootTest
{
protected:
    // A texture asset installed and open for editing; `uncompressed`: its compiled texture is several MiB.
    void InstallBigTexture(bool uncompressed)
    {
        root_.WriteFile("work/big/config.txt", "kuid " + std::string(kKuid) +
                                                   "\nkind \"texture\"\nusername \"Big\"\nvelmar-build 3.7\n"
                                                   "category-class \"TX\"\ntexture \"big.texture\"\n");
        ASSERT_TRUE(WritePicture(root_.Path("work/big/big.tga")));
        root_.WriteFile("work/big/big.texture.txt", uncompressed ? "Primary=big.tga\nCompression=none\n" : kPrimary);
        ASSERT_EQ(Run({"installfrompath", "big"}).exitCode, 0);
        ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
    }
    // compresstexture on `folder` (below the root), sent `signal` the moment `watched` reports an event of a name
    // that starts with `prefix`.
    RunResult ConvertUntil(const std::string& folder, const std::string& watched, uint32_t mask,
                           const std::string& prefix, int signal, RunOptions options = RunOptions())
    {
        options.workDir = root_.Path("work");
        bool sent = false;
        const RunResult r = SignalWhen(root_, {"compresstexture", root_.Path(folder)}, options, root_.Path(watched),
                                       mask, prefix, signal, sent);
        EXPECT_TRUE(sent) << "no such event before the tool ended: " << r.out;
        return r;
    }
    // Kills compresstexture on `folder` the moment `aside` appears there, its picture big.tga written first. True
    // when the description `own` was left aside then (a conversion that gave it back first is run again).
    bool KillWhileAside(const std::string& folder, const std::string& own, const std::string& aside)
    {
        const std::string dir = root_.Path(folder) + "/";
        EXPECT_TRUE(WritePicture(dir + "big.tga"));
        for (int attempt = 0; attempt < 3; ++attempt)
        {
            ConvertUntil(folder, folder, IN_MOVED_TO | IN_CREATE, aside, SIGKILL);
            if (fs::exists(fs::symlink_status(dir + aside)) && !fs::exists(fs::symlink_status(dir + own))) return true;
        }
        return false;
    }
};
using SetAsideE2E = InterruptE2E;

// A compiled texture with a second name is written in place; a signal sent the moment it starts to change ends the
// tool only once the new texture is there whole, under both names.
TEST_F(InterruptE2E, ASignalNeverEndsTheToolInTheMiddleOfAnOutputWrittenInPlace)
{
    InstallBigTexture(true);
    const std::string texture = std::string(kEditing) + "big.texture";
    ASSERT_EQ(Run({"compresstexture", root_.Path(kEditing)}).exitCode, 0);
    fs::create_hard_link(root_.Path(texture), root_.Path("work/second-name"));
    const std::string whole = root_.ReadFile(texture);
    ASSERT_GT(whole.size(), size_t(4) << 20);
    std::ofstream(root_.Path(texture), std::ios::binary | std::ios::trunc) << std::string(8 << 20, 'o');
    const RunResult r = ConvertUntil(kEditing, texture, IN_MODIFY, "", SIGTERM);
    EXPECT_TRUE(r.exitCode == 128 + SIGTERM || r.exitCode == 0) << r.exitCode;
    EXPECT_TRUE(root_.ReadFile(texture) == whole && root_.ReadFile("work/second-name") == whole)
        << "neither the old texture nor the new one under both names";
    EXPECT_EQ(Entries(root_.Path(kEditing), true), std::vector<std::string>{});
}

// A signal sent the moment a temporary name appears leaves no temporary file. After a kill only what a process
// recorded as its own work goes: a command host killed by its converter leaves its private folder, which the daemon's
// next start removes. A user's file or folder that merely has the name of a temporary, of a private folder or of an
// export's folder or copies is the user's: a commit installs one in an edit folder as any file, and no start removes
// or renames one, whether or not a process of the id in its name is running.
TEST_F(InterruptE2E, NoTemporaryFileOutlivesASignalOrIsInstalled)
{
    InstallBigTexture(false);
    const RunResult r = ConvertUntil(kEditing, kEditing, IN_CREATE | IN_MOVED_TO, "big.texture.part-", SIGINT);
    EXPECT_TRUE(r.exitCode == 128 + SIGINT || r.exitCode == 0) << r.exitCode;
    EXPECT_EQ(Entries(root_.Path(kEditing), true), std::vector<std::string>{});

    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string named = "big.texture.part-" + std::to_string(gone) + "-7";
    root_.WriteFile(kEditing + named, "half a texture");
    const RunResult committed = Run({"commit", kKuid});
    EXPECT_EQ(committed.out.find("temporary"), std::string::npos) << committed.out;
    EXPECT_EQ(committed.exitCode, 0);
    EXPECT_EQ(FilesBelow(root_.Path("UserData/local/kuid 900002 31")),
              (std::vector<std::string>{"big.texture", named, "big.texture.txt", "big.tga", "config.txt"}));
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900002 31/" + named), "half a texture");

    // Files and folders of such names under UserData/ that no process recorded: all stay as they are.
    ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
    const std::string g = std::to_string(gone), live = std::to_string(getpid());
    const std::string handMade[] = {
        "packages/mine.export-partial/notes.txt",
        "packages/empty.export-partial/",
        "packages/q/q.cdp.part-" + g + "-1",
        "packages/q/package.txt.part-" + live + "-2",
        "packages/q/.vadnew-kuid 1 2-" + g + "-4/config.txt",
        "packages/q/.vadold-kuid 1 3-" + g + "-5/config.txt",  // not given the name "kuid 1 3"
        "settings/a.part-b.part-" + g + "-1",
        "dls-parse/new/scenery/a.cdp.part-" + g + "-1",
        "cache/analytics.log.part-" + g + "-1",
        "cache/orvo_texturecompress_" + g + "_abcdef/in.png",
        "editing/kuid 900002 31/big.texture.part-" + g + "-1",
    };
    for (const std::string& path : handMade)
        if (path.back() == '/')
            fs::create_directories(root_.Path("UserData/" + path));
        else
            root_.WriteFile("UserData/" + path, "x");

    // A converter that kills the command host running it (its parent) while the host's private folder is there.
    fs::remove(root_.Path("bin/PVRTexToolCLI"));
    root_.WriteFile("bin/PVRTexToolCLI", "#!/bin/sh\nkill -9 $PPID\n");
    ASSERT_EQ(::chmod(root_.Path("bin/PVRTexToolCLI").c_str(), 0755), 0);
    const RunResult exported = Run({"export-package", "pvrtc", "pack", kKuid});
    EXPECT_NE(exported.exitCode, 0) << exported.out;
    const auto privateFolders = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root_.Path("UserData/cache")))
            if (const std::string n = e.path().filename(); n.starts_with("orvo_texturecompress_")) names.push_back(n);
        return names;
    };
    EXPECT_EQ(privateFolders().size(), 2u);

    root_.StopProcesses();
    EXPECT_EQ(Run({"status", kKuid}).exitCode, 0);  // starts a daemon
    EXPECT_EQ(privateFolders(), std::vector<std::string>{"orvo_texturecompress_" + g + "_abcdef"});
    for (const std::string& path : handMade) EXPECT_TRUE(root_.Exists("UserData/" + path)) << path;
    EXPECT_FALSE(root_.Exists("UserData/packages/q/kuid 1 3") || root_.Exists("UserData/packages/pack") ||
                 root_.Exists("UserData/packages/pack.export-partial"));
}

// Ctrl-C while standard error is a pipe whose reader has gone: the description set aside gets its name back and the
// tool ends by SIGINT (exit 130), not by the SIGPIPE its last words would raise.
TEST_F(InterruptE2E, AGoneReaderOfStandardErrorNeitherKeepsADescriptionAsideNorChangesTheSignal)
{
    InstallBigTexture(false);
    RunOptions options;
    options.errorReaderGone = true;
    const RunResult r = ConvertUntil(kEditing, kEditing, IN_MOVED_TO, "big.convert-tex.txt", SIGINT, options);
    EXPECT_EQ(r.exitCode, 128 + SIGINT);
    EXPECT_EQ(root_.ReadFile(kEditing + std::string("big.texture.txt")), kPrimary);
    EXPECT_EQ(Entries(root_.Path(kEditing), true), std::vector<std::string>{});
}

// A description that is a symbolic link is set aside as that link; the conversion after a kill gives the link itself
// its name back (its target untouched) and compiles the texture.
TEST_F(SetAsideE2E, ALinkLeftAsideIsGivenBackAsThatLink)
{
    const std::string folder = root_.Path("UserData/editing/linked/"), target = "shared/big-description.txt";
    root_.WriteFile("UserData/editing/linked/" + target, "Primary=big.tga\n");
    fs::create_symlink(target, folder + "big.texture.txt");
    ASSERT_TRUE(KillWhileAside("UserData/editing/linked", "big.texture.txt", "big.convert-tex.txt"));

    const RunResult r = Run({"compresstexture", folder});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              GivenBack("NULLKUID", folder + "big.convert-tex.txt", "big.texture.txt") + "OK (0 Errors, 1 Warnings)\n");
    EXPECT_TRUE(fs::is_symlink(folder + "big.texture.txt") && fs::read_symlink(folder + "big.texture.txt") == target);
    EXPECT_EQ(ReadWholeFile(folder + target), "Primary=big.tga\n");
    EXPECT_TRUE(IsCompiledTexture(folder + "big.texture"));
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"big.texture", "big.texture.txt", "big.tga", "shared"}));
}

// A description comes back under exactly the name it had, whatever its case, also where another description's name
// differs from it only in case (both are converted under one temporary name); the commit installs it so.
TEST_F(SetAsideE2E, ADescriptionComesBackUnderExactlyItsOwnName)
{
    const struct
    {
        const char *own, *aside, *other;  // other: a description beside it, or none
    } rows[] = {{"Big.Texture.TXT", "Big.convert-tex.txt", ""},
                {"big.Texture.txt", "big.convert-tex.txt", "big.texture.txt"}};
    int asset = 0;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.own);
        const std::string n = std::to_string(++asset), kuid = "<kuid:900301:" + n + ">";
        const std::string editing = "UserData/editing/kuid 900301 " + n,
                          local = root_.Path("UserData/local/kuid 900301 " + n);
        root_.WriteFile("work/a" + n + "/config.txt", "kuid " + kuid + "\nusername \"A\"\nkind \"scenery\"\n");
        ASSERT_TRUE(Run({"installfrompath", "a" + n}).exitCode == 0 && Run({"edit", kuid}).exitCode == 0);
        std::vector<std::string> expected{"big.tga", "config.txt", row.own};
        root_.WriteFile(editing + "/" + row.own, "Primary=big.tga\n");
        if (*row.other) root_.WriteFile(editing + "/" + expected.emplace_back(row.other), "Primary=big.tga\nTile=st\n");
        ASSERT_TRUE(KillWhileAside(editing, row.own, row.aside));

        const RunResult r = Run({"commit", kuid});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find(GivenBack(kuid, root_.Path(editing + "/" + row.aside), row.own)), std::string::npos)
            << r.out;
        // Installed: the descriptions under their names, one compiled texture, nothing aside, no note of it.
        EXPECT_EQ(ReadWholeFile(local + "/" + row.own), "Primary=big.tga\n");
        std::vector<std::string> entries = Entries(local);
        EXPECT_EQ(std::erase_if(entries, [&](auto& name) { return IsCompiledTexture(local + "/" + name); }), 1u);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(entries, expected);
    }
}

// A user's own file of a description's temporary name, beside the description in any case, is never taken for a
// description left aside: neither an install nor the tool converting the folder where it lies renames it.
TEST_F(SetAsideE2E, AUsersFileOfTheTemporaryNameIsNeverTakenForADescription)
{
    const std::string notes = "the user's own notes\n";
    root_.WriteFile("work/wall/config.txt", "kuid <kuid:900302:1>\nusername \"Wall\"\nkind \"scenery\"\n");
    ASSERT_TRUE(WritePicture(root_.Path("work/wall/wall.tga"), 64));
    root_.WriteFile("work/wall/wall.Texture.txt", "Primary=wall.tga\n");
    root_.WriteFile("work/wall/wall.convert-tex.txt", notes);
    const std::vector<std::string> before = Entries(root_.Path("work/wall"));
    const std::string editing = root_.Path("UserData/editing/wall"), local = root_.Path("UserData/local/kuid 900302 1");
    fs::copy(root_.Path("work/wall"), editing);

    const RunResult installed = Run({"installfrompath", "wall"});
    EXPECT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out.find("has its own name"), std::string::npos) << installed.out;
    EXPECT_EQ(ReadWholeFile(local + "/wall.convert-tex.txt"), notes);
    EXPECT_EQ(ReadWholeFile(local + "/wall.Texture.txt"), "Primary=wall.tga\n");
    EXPECT_FALSE(fs::exists(local + "/wall.texture.txt"));
    EXPECT_EQ(Entries(root_.Path("work/wall")), before);

    const RunResult converted = Run({"compresstexture", editing});
    EXPECT_EQ(converted.out.find("has its own name"), std::string::npos) << converted.out;
    EXPECT_NE(converted.out.find("'wall.convert-tex.txt' already exists"), std::string::npos) << converted.out;
    EXPECT_EQ(Entries(editing), before);
    EXPECT_EQ(ReadWholeFile(editing + "/wall.convert-tex.txt"), notes);
}

// A note of a description's own name is whole or absent, never blocks, and is never installed. An empty one (as a kill
// just after it was made left it) goes and the conversion goes on; a kill the moment a note gets its name leaves it
// whole. A user's file of a note's name is never removed: beside a description it fails that conversion, named. No
// install or commit copy holds a note (empty, torn, or naming nothing), with a texture job or without one (a folder
// with no description, a package of an installed copy an earlier version left a note in); a user's file is installed.
TEST_F(SetAsideE2E, ANoteIsWholeOrAbsentNeverBlocksAndIsNeverInstalled)
{
    InstallBigTexture(false);
    const std::string editing = root_.Path(kEditing), note = ".big.convert-tex.txt.own-name", mine = "my own notes\n";
    root_.WriteFile(kEditing + note, "");
    RunResult r = Run({"compresstexture", editing});
    EXPECT_EQ(r.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_TRUE(!fs::exists(editing + note) && IsCompiledTexture(editing + "big.texture"));

    ConvertUntil(kEditing, kEditing, IN_CREATE | IN_MOVED_TO, note, SIGKILL);
    EXPECT_TRUE(!fs::exists(editing + note) || ReadWholeFile(editing + note).starts_with("velmar set-aside"));
    EXPECT_EQ(Run({"compresstexture", editing}).exitCode, 0);
    EXPECT_EQ(Entries(editing, true), std::vector<std::string>{});

    root_.WriteFile(kEditing + note, mine);
    r = Run({"compresstexture", editing});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("'" + note + "' already exists and is not a note the tool wrote"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("'big.convert-tex.txt'"), std::string::npos) << r.out;
    EXPECT_TRUE(root_.ReadFile(kEditing + note) == mine &&
                root_.ReadFile(kEditing + std::string("big.texture.txt")) == kPrimary);

    const std::string torn = "velmar set-aside texture description\nkind fi";
    const std::pair<std::string, std::string> notes[] = {
        {note, ""},
        {".mine.convert-tex.txt.own-name", mine},
        {".old.convert-tex.txt.own-name", torn + "le\nsize 1\nsha256 0\nown old.texture.txt"},
        {"sub/.torn.convert-tex.txt.own-name", torn}};
    for (const auto& [name, text] : notes) root_.WriteFile(kEditing + name, text);
    r = Run({"commit", kKuid});
    EXPECT_EQ(r.out, "OK (0 Errors, 0 Warnings)\n");
    const std::string local = root_.Path("UserData/local/kuid 900002 31");
    EXPECT_EQ(FilesBelow(local), (std::vector<std::string>{".mine.convert-tex.txt.own-name", "big.texture",
                                                           "big.texture.txt", "big.tga", "config.txt"}));

    root_.WriteFile("work/plain/config.txt", "kuid <kuid:900303:1>\nusername \"P\"\nkind \"scenery\"\n");
    for (const auto& [name, text] : notes) root_.WriteFile("work/plain/" + name, text);
    ASSERT_EQ(Run({"installfrompath", "plain"}).exitCode, 0);
    const std::string plain = root_.Path("UserData/local/kuid 900303 1");
    const std::vector<std::string> installed{".mine.convert-tex.txt.own-name", "config.txt"};
    EXPECT_EQ(FilesBelow(plain), installed);
    EXPECT_EQ(FilesBelow(root_.Path("work/plain")).size(), 5u);
    root_.WriteFile("UserData/local/kuid 900303 1/" + note, "");
    ASSERT_EQ(Run({"createcdp", "plain.cdp", "<kuid:900303:1>"}).exitCode, 0);
    EXPECT_EQ(Run({"installcdp", "plain.cdp"}).exitCode, 0);
    EXPECT_EQ(FilesBelow(plain), installed);
}

}  // namespace
}  // namespace e2e
