// Which files of a temporary name count as descriptions left aside, and under what name: what the end-to-end tests
// cannot reach (a note whose file the user replaced, a file without a note, notes that name nothing).
#include "core/SetAsideNote.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class SetAsideNoteTest : public testing::Test
{
protected:
    std::string Dir() const { return folder_.Str(); }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(folder_.Path() / name, std::ios::binary) << text;
    }
    // What a conversion does: the note first, then the rename.
    void SetAside(const std::string& own, const std::string& aside) const
    {
        int error = 0;
        ASSERT_TRUE(WriteSetAsideNote(Dir(), own, aside, error)) << error;
        fs::rename(folder_.Path() / own, folder_.Path() / aside);
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder_.Path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Pairs Found() const
    {
        Pairs found;
        for (const LeftAside& l : FindLeftAside(Dir(), Names())) found.push_back({l.aside, l.own});
        return found;
    }

    TestFolder folder_{"velmar-aside"};
};

TEST_F(SetAsideNoteTest, ANoteGivesTheExactNameOnlyForTheFileItNoted)
{
    const std::string description = "Primary=a.png\n";
    Write("A.Texture.TXT", description);
    SetAside("A.Texture.TXT", "A.convert-tex.txt");
    fs::create_symlink("shared/b.txt", folder_.Path() / "b.TEXTURE.txt");
    SetAside("b.TEXTURE.txt", "b.convert-tex.txt");
    EXPECT_EQ(Found(), (Pairs{{"A.convert-tex.txt", "A.Texture.TXT"}, {"b.convert-tex.txt", "b.TEXTURE.txt"}}));

    // Replaced by the user (other bytes, another link target): the note names nothing, and the file is taken by
    // its looks alone, under the name without a note.
    Write("A.convert-tex.txt", description + "Tile=st\n");
    fs::remove(folder_.Path() / "b.convert-tex.txt");
    fs::create_symlink("elsewhere.txt", folder_.Path() / "b.convert-tex.txt");
    EXPECT_EQ(Found(), (Pairs{{"A.convert-tex.txt", "A.texture.txt"}}));
    Write("A.convert-tex.txt", "the user's own notes\n");
    EXPECT_EQ(Found(), Pairs{});

    // Notes that name nothing go; a file of a note's name in another form is not one.
    Write(".c.convert-tex.txt.own-name", "mine\n");
    RemoveStaleSetAsideNotes(Dir(), Names());
    EXPECT_EQ(Names(),
              (std::vector<std::string>{".c.convert-tex.txt.own-name", "A.convert-tex.txt", "b.convert-tex.txt"}));
}

// Without a note (left by a version that wrote none): given back in lower case, and only where no file of the folder
// has that name in any case and the file reads as a description.
TEST_F(SetAsideNoteTest, AFileWithoutANoteIsADescriptionOnlyByItsLooksAndAFreeStem)
{
    Write("free.convert-tex.txt", "Primary=free.png\n");
    Write("claimed.convert-tex.txt", "Primary=claimed.png\n");
    Write("claimed.TEXTURE.TXT", "Primary=other.png\n");
    Write("notes.convert-tex.txt", "the user's own notes\n");
    Write("upper.Convert-Tex.txt", "Primary=upper.png\n");  // not a name the conversion makes
    fs::create_symlink("free.convert-tex.txt", folder_.Path() / "linked.convert-tex.txt");
    EXPECT_EQ(Found(),
              (Pairs{{"free.convert-tex.txt", "free.texture.txt"}, {"linked.convert-tex.txt", "linked.texture.txt"}}));
}

// The note of a description aside is never written over by another one's conversion (its rename then fails, and
// the note would go with it); a note that names nothing (a kill between the note and the rename) is.
TEST_F(SetAsideNoteTest, ANewNoteReplacesOnlyANoteThatNamesNothing)
{
    Write("d.texture.txt", "Primary=d.png\n");
    SetAside("d.texture.txt", "d.convert-tex.txt");
    Write("d.texture.txt", "Primary=d2.png\n");
    int error = 0;
    EXPECT_FALSE(WriteSetAsideNote(Dir(), "d.texture.txt", "d.convert-tex.txt", error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(Found(), (Pairs{{"d.convert-tex.txt", "d.texture.txt"}}));

    fs::remove(folder_.Path() / "d.convert-tex.txt");
    EXPECT_TRUE(WriteSetAsideNote(Dir(), "d.texture.txt", "d.convert-tex.txt", error));
}

}  // namespace
