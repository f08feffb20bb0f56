// Work interrupted the moment a temporary file appears or a description is set aside ("x.texture.txt" loaded as
// "x.convert-tex.txt"). What is left is whole: no temporary stays, and a description comes back under exactly its
// name, a link as that link, a user's file never taken for one.
#include "E2EFixture.h"
#include "SignalAtEvent.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kKuid[] = "<kuid:900002:31>", kEditing[] = "UserData/editing/kuid 900002 31/";
constexpr char kPrimary[] = "Primary=big.tga\n";

std::string GivenBack(const std::string& kuid, const std::string& aside, const std::string& own)
{
    return "! " + kuid + " : The texture description '" + aside +
           "', left under that name by a conversion that was cut short, has its own name '" + own + "' back\n";
}

class InterruptE2E : public DaemonRootTest
{
protected:
    // A texture asset installed and open for editing.
    void InstallBigTexture()
    {
        root_.WriteFile("work/big/config.txt", "kuid " + std::string(kKuid) +
                                                   "\nkind \"texture\"\nusername \"Big\"\nvelmar-build 3.7\n"
                                                   "category-class \"TX\"\ntexture \"big.texture\"\n");
        ASSERT_TRUE(WritePicture(root_.Path("work/big/big.tga")));
        root_.WriteFile("work/big/big.texture.txt", kPrimary);
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

// A signal sent the moment a temporary name appears leaves no temporary file.
TEST_F(InterruptE2E, ASignalSentAsATemporaryAppearsLeavesNoTemporary)
{
    InstallBigTexture();
    const RunResult r = ConvertUntil(kEditing, kEditing, IN_CREATE | IN_MOVED_TO, "big.texture.part-", SIGINT);
    EXPECT_TRUE(r.exitCode == 128 + SIGINT || r.exitCode == 0) << r.exitCode;
    EXPECT_EQ(Leftovers(root_.Path(kEditing)), std::vector<std::string>{});
}

// Ctrl-C while standard error is a pipe whose reader has gone: the description set aside gets its name back and the
// tool ends by SIGINT (exit 130), not by the SIGPIPE its last words would raise.
TEST_F(InterruptE2E, AGoneReaderOfStandardErrorNeitherKeepsADescriptionAsideNorChangesTheSignal)
{
    InstallBigTexture();
    RunOptions options;
    options.errorReaderGone = true;
    const RunResult r = ConvertUntil(kEditing, kEditing, IN_MOVED_TO, "big.convert-tex.txt", SIGINT, options);
    EXPECT_EQ(r.exitCode, 128 + SIGINT);
    EXPECT_EQ(root_.ReadFile(kEditing + std::string("big.texture.txt")), kPrimary);
    EXPECT_EQ(Leftovers(root_.Path(kEditing)), std::vector<std::string>{});
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
    EXPECT_EQ(NamesIn(folder), (std::vector<std::string>{"big.texture", "big.texture.txt", "big.tga", "shared"}));
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
        std::vector<std::string> entries = NamesIn(local);
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
    const std::vector<std::string> before = NamesIn(root_.Path("work/wall"));
    const std::string editing = root_.Path("UserData/editing/wall"), local = root_.Path("UserData/local/kuid 900302 1");
    fs::copy(root_.Path("work/wall"), editing);

    const RunResult installed = Run({"installfrompath", "wall"});
    EXPECT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out.find("has its own name"), std::string::npos) << installed.out;
    EXPECT_EQ(ReadWholeFile(local + "/wall.convert-tex.txt"), notes);
    EXPECT_EQ(ReadWholeFile(local + "/wall.Texture.txt"), "Primary=wall.tga\n");
    EXPECT_FALSE(fs::exists(local + "/wall.texture.txt"));
    EXPECT_EQ(NamesIn(root_.Path("work/wall")), before);

    const RunResult converted = Run({"compresstexture", editing});
    EXPECT_EQ(converted.out.find("has its own name"), std::string::npos) << converted.out;
    EXPECT_NE(converted.out.find("'wall.convert-tex.txt' already exists"), std::string::npos) << converted.out;
    EXPECT_EQ(NamesIn(editing), before);
    EXPECT_EQ(ReadWholeFile(editing + "/wall.convert-tex.txt"), notes);
}

// A note of a description's own name is whole or absent, never blocks, and is never installed. An empty one (as a kill
// just after it was made left it) goes and the conversion goes on; a kill the moment a note gets its name leaves it
// whole. A user's file of a note's name is never removed: beside a description it fails that conversion, named. No
// install or commit copy holds a note (empty, torn, or naming nothing), with a texture job or without one (a folder
// with no description, a package of an installed copy an earlier version left a note in); a user's file is installed.
TEST_F(SetAsideE2E, ANoteIsWholeOrAbsentNeverBlocksAndIsNeverInstalled)
{
    InstallBigTexture();
    const std::string editing = root_.Path(kEditing), note = ".big.convert-tex.txt.own-name", mine = "my own notes\n";
    root_.WriteFile(kEditing + note, "");
    RunResult r = Run({"compresstexture", editing});
    EXPECT_EQ(r.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_TRUE(!fs::exists(editing + note) && IsCompiledTexture(editing + "big.texture"));

    ConvertUntil(kEditing, kEditing, IN_CREATE | IN_MOVED_TO, note, SIGKILL);
    EXPECT_TRUE(!fs::exists(editing + note) || ReadWholeFile(editing + note).starts_with("velmar set-aside"));
    EXPECT_EQ(Run({"compresstexture", editing}).exitCode, 0);
    EXPECT_EQ(Leftovers(editing), std::vector<std::string>{});

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
