// Which files of a temporary name count as descriptions left aside, and under what name, where the end-to-end tests
// cannot reach: a note whose file the user replaced, a file without a note, notes that name nothing.
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
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(dir_.Path() / name, std::ios::binary) << text;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.Path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Pairs Found() const
    {
        Pairs found;
        for (const LeftAside& l : FindLeftAside(dir_.Str(), Names())) found.push_back({l.aside, l.own});
        return found;
    }

    TestFolder dir_{"velmar-aside"};
    int error_ = 0;
};

// A note names its file only while the file is as noted: replaced by the user (other bytes, another link target),
// the file is taken by its looks alone. Another conversion writes over a note only where it names nothing, and a
// note that names nothing goes (a file of a note's name in another form is none).
TEST_F(SetAsideNoteTest, ANoteGivesTheExactNameOnlyForTheFileItNoted)
{
    Write("A.Texture.TXT", "Primary=a.png\n");
    fs::create_symlink("shared/b.txt", dir_.Path() / "b.TEXTURE.txt");
    for (const auto& [own, aside] :
         Pairs{{"A.Texture.TXT", "A.convert-tex.txt"}, {"b.TEXTURE.txt", "b.convert-tex.txt"}})
    {
        ASSERT_TRUE(WriteSetAsideNote(dir_.Str(), own, aside, error_));  // as a conversion does: first the note
        fs::rename(dir_.Path() / own, dir_.Path() / aside);
    }
    Write("A.texture.txt", "Primary=other.png\n");
    EXPECT_FALSE(WriteSetAsideNote(dir_.Str(), "A.texture.txt", "A.convert-tex.txt", error_));
    EXPECT_EQ(error_, EEXIST);
    fs::remove(dir_.Path() / "A.texture.txt");
    EXPECT_EQ(Found(), (Pairs{{"A.convert-tex.txt", "A.Texture.TXT"}, {"b.convert-tex.txt", "b.TEXTURE.txt"}}));

    Write("A.convert-tex.txt", "Primary=a.png\nTile=st\n");
    fs::remove(dir_.Path() / "b.convert-tex.txt");
    fs::create_symlink("elsewhere.txt", dir_.Path() / "b.convert-tex.txt");
    EXPECT_EQ(Found(), (Pairs{{"A.convert-tex.txt", "A.texture.txt"}}));
    Write("A.texture.txt", "Primary=a2.png\n");
    EXPECT_TRUE(WriteSetAsideNote(dir_.Str(), "A.texture.txt", "A.convert-tex.txt", error_));
    Write(".c.convert-tex.txt.own-name", "mine\n");
    RemoveStaleSetAsideNotes(dir_.Str(), Names());
    EXPECT_EQ(Names(), (std::vector<std::string>{".c.convert-tex.txt.own-name", "A.convert-tex.txt", "A.texture.txt",
                                                 "b.convert-tex.txt"}));
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
    fs::create_symlink("free.convert-tex.txt", dir_.Path() / "linked.convert-tex.txt");
    EXPECT_EQ(Found(),
              (Pairs{{"free.convert-tex.txt", "free.texture.txt"}, {"linked.convert-tex.txt", "linked.texture.txt"}}));
}

}  // namespace
