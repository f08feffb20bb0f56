// A device package written again into the folder that stands at its place: each earlier copy of an asset goes
// only when the new copy has every name it has, and is kept among the backups of uncommitted work otherwise.
#include "DaemonHarness.h"

#include "daemon/PackageFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(PackageFolder, EarlierCopiesGoOnlyWhenTheNewOnesHaveEveryName)
{
    TempDir d;
    const std::string making = d.path() + "/pkg.export-partial", place = d.path() + "/pkg";
    const std::string backups = d.path() + "/backups";
    // The earlier copies: none, the same names, one name more, a file where the copy goes.
    struct Case
    {
        KUID kuid;
        std::vector<std::string> earlier;  // "" for a plain file at the copy's name
        bool kept;
    } cases[] = {
        {KUID(1, 1), {}, false},
        {KUID(1, 2), {"config.txt", "sub/t.texture"}, false},
        {KUID(1, 3), {"config.txt", "sub/mine.txt"}, true},
        {KUID(1, 4), {""}, true},
    };
    std::vector<KUID> assets;
    for (const Case& c : cases)
    {
        const std::string name = "/" + c.kuid.ToSpacedString();
        WriteFile(making + name + "/config.txt", "new");
        WriteFile(making + name + "/sub/t.texture", "new");
        for (const std::string& file : c.earlier) WriteFile(place + name + (file.empty() ? "" : "/" + file), "old");
        assets.push_back(c.kuid);
    }
    WriteFile(place + "/notes.txt", "mine");

    DaemonResults results;
    ASSERT_TRUE(PlaceDeviceCopies(making, place, "pkg", assets, backups, &results));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kuid.ToString());
        const std::string name = c.kuid.ToSpacedString();
        EXPECT_EQ(ReadFile(place + "/" + name + "/config.txt"), "new");
        EXPECT_FALSE(fs::exists(making + "/" + name));
        size_t keptHere = 0;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(backups))
            keptHere += e.path().filename() == "pkg " + name + " (earlier package copy)";
        EXPECT_EQ(keptHere, c.kept ? 1u : 0u);
    }
    EXPECT_EQ(ReadFile(place + "/notes.txt"), "mine");
    ASSERT_EQ(results.size(), 2u) << "a warning for each copy kept";
    EXPECT_EQ(std::distance(fs::directory_iterator(place), fs::directory_iterator()), 5)
        << "the four copies and the note, nothing set aside";

    // A package file with a second name in an asset's folder is found there, a copy of it is not.
    WriteFile(d.path() + "/asset/sub/f", "x");
    fs::create_hard_link(d.path() + "/asset/sub/f", d.path() + "/linked");
    fs::copy_file(d.path() + "/asset/sub/f", d.path() + "/copied");
    EXPECT_TRUE(FolderTreeHoldsFile(d.path() + "/asset", Platform::FileIdentity::OfPath(d.path() + "/linked")));
    EXPECT_FALSE(FolderTreeHoldsFile(d.path() + "/asset", Platform::FileIdentity::OfPath(d.path() + "/copied")));
}

}  // namespace
