// The registry of descriptions set aside: what the signal handlers of the tool give back while conversions go on.
#include "textures/DescriptionsAside.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Folder
{
    Folder() : path((fs::temp_directory_path() / "velmar-aside-XXXXXX").string())
    {
        if (!mkdtemp(path.data())) path.clear();
    }
    ~Folder() { fs::remove_all(path); }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(path + "/" + name) << text; }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(path + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Has(const std::string& name) const { return fs::exists(path + "/" + name); }
    std::string path;
};

// Once the process is ending every description has its own name back where that is free; one whose name was taken
// meanwhile stays aside, said, and the file that took its name is untouched; nothing more is set aside.
TEST(DescriptionsAsideTest, EndingGivesEveryNameBackThatIsFreeAndSetsNothingMoreAside)
{
    Folder f;
    DescriptionsAside registry;
    int error = 0;
    for (const char* name : {"a", "b", "c"}) f.Write(std::string(name) + ".texture.txt", name);
    f.Write("c.convert-tex.txt", "the user's own");
    ASSERT_TRUE(registry.SetAside(f.path, "a.texture.txt", "a.convert-tex.txt", error));
    ASSERT_TRUE(registry.SetAside(f.path, "b.texture.txt", "b.convert-tex.txt", error));
    EXPECT_FALSE(registry.SetAside(f.path, "c.texture.txt", "c.convert-tex.txt", error));
    EXPECT_EQ(error, EEXIST);
    f.Write("b.texture.txt", "written meanwhile");

    EXPECT_EQ(registry.GiveBackAll(), "The texture description '" + f.path +
                                          "/b.texture.txt' stays under the name 'b.convert-tex.txt': 'b.texture.txt' "
                                          "already exists.\n");
    EXPECT_EQ(f.Read("a.texture.txt"), "a");
    EXPECT_EQ(f.Read("b.convert-tex.txt"), "b");
    EXPECT_EQ(f.Read("b.texture.txt"), "written meanwhile");
    EXPECT_EQ(f.Read("c.texture.txt"), "c");
    EXPECT_EQ(f.Read("c.convert-tex.txt"), "the user's own");
    EXPECT_FALSE(registry.SetAside(f.path, "a.texture.txt", "a.convert-tex.txt", error));
    EXPECT_EQ(error, ECANCELED);
    EXPECT_TRUE(f.Has("a.texture.txt"));
    // A conversion that ends after the handler leaves the names as the handler left them.
    EXPECT_TRUE(registry.GiveBack(f.path, "b.texture.txt", "b.convert-tex.txt", error));
    EXPECT_EQ(f.Read("b.convert-tex.txt"), "b");
}

// Conversions set descriptions aside and give them back on threads of their own while the handler ends the process:
// whenever it comes, no description is left aside.
TEST(DescriptionsAsideTest, NoDescriptionStaysAsideWhateverTheConversionsAreDoing)
{
    Folder f;
    DescriptionsAside registry;
    constexpr int kThreads = 4;
    std::atomic<int> rounds{0}, ended{0};
    std::vector<std::thread> conversions;
    for (int t = 0; t < kThreads; ++t)
    {
        const std::string own = std::to_string(t) + ".texture.txt", temp = std::to_string(t) + ".convert-tex.txt";
        f.Write(own, own);
        conversions.emplace_back([&, own, temp] {
            for (int error = 0; registry.SetAside(f.path, own, temp, error); ++rounds)
                if (!registry.GiveBack(f.path, own, temp, error)) break;
            ++ended;
        });
    }
    while (rounds < 200 && ended == 0) std::this_thread::yield();
    EXPECT_EQ(registry.GiveBackAll(), "");
    for (std::thread& t : conversions) t.join();
    for (int t = 0; t < kThreads; ++t)
    {
        EXPECT_EQ(f.Read(std::to_string(t) + ".texture.txt"), std::to_string(t) + ".texture.txt");
        EXPECT_FALSE(f.Has(std::to_string(t) + ".convert-tex.txt"));
    }
}

}  // namespace
