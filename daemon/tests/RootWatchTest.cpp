#include "daemon/RootWatch.h"
#include "daemon/AssetStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TempRoot
{
    TempRoot()
    {
        char t[] = "/tmp/root-watch-XXXXXX";
        path = mkdtemp(t);
    }
    ~TempRoot()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

}  // namespace

// What happens to each watched name in turn; the first name that changed is the one said.
TEST(RootWatch, SaysWhichFileWasRemovedOrReplacedAndNothingElse)
{
    TempRoot root;
    Touch(root / "assets.tdx");
    Touch(root / "assets.tdx.lock");
    const int lockFd = open((root / "assets.tdx.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lockFd, 0);
    RootWatch watch;
    ASSERT_TRUE(watch.Add(root.path));
    ASSERT_TRUE(watch.AddOpen(lockFd, root / "assets.tdx.lock"));
    ASSERT_TRUE(watch.Add(root / "assets.tdx"));
    std::string error;
    EXPECT_FALSE(watch.Add(root / "missing", &error));
    EXPECT_EQ(error, "'" + (root / "missing") + "' cannot be read: No such file or directory");
    EXPECT_FALSE(RootWatch().AddOpen(-1, "x"));

    // Written to, grown, touched: still the same files.
    std::ofstream(root / "assets.tdx", std::ios::app) << "more";
    Touch(root / "UserData");
    EXPECT_EQ(watch.Changed(), "");

    // A file moved over the store replaces it, even with the same contents.
    Touch(root / "copy");
    fs::rename(root / "copy", root / "assets.tdx");
    EXPECT_EQ(watch.Changed(), "'" + (root / "assets.tdx") + "' was replaced");

    fs::remove(root / "assets.tdx.lock");
    EXPECT_EQ(watch.Changed(), "'" + (root / "assets.tdx.lock") + "' was removed");

    // The root laid out anew at the same path (as a rebuild does) is the first thing said.
    const std::string old = root.path + ".old";
    fs::rename(root.path, old);
    fs::create_directory(root.path);
    EXPECT_EQ(watch.Changed(), "'" + root.path + "' was replaced");
    fs::remove_all(root.path);
    EXPECT_EQ(watch.Changed(), "'" + root.path + "' was removed");
    fs::rename(old, root.path);
    close(lockFd);
}

TEST(DaemonStore, AStoreThatCannotBeMadeOrWrittenNamesTheFileAndTheReason)
{
    TempRoot root;
    AssetStore store;
    std::string error;
    EXPECT_FALSE(store.Open(root / "missing/assets.tdx", &error));
    EXPECT_EQ(error, "'" + (root / "missing/assets.tdx") + "' cannot be created: No such file or directory");
    fs::create_directory(root / "folder.tdx");
    EXPECT_FALSE(store.Open(root / "folder.tdx", &error));
    EXPECT_EQ(error, "'" + (root / "folder.tdx") + "' cannot be opened: Is a directory");

    // A store closed without touching its files by name leaves its journal where it was.
    ASSERT_TRUE(store.Open(root / "assets.tdx", &error)) << error;
    ASSERT_TRUE(store.SetMeta("k", "v"));
    store.CloseLeavingFiles();
    EXPECT_TRUE(fs::exists(root / "assets.tdx-wal"));
    ASSERT_TRUE(store.Open(root / "assets.tdx", &error)) << error;
    std::string v;
    EXPECT_TRUE(store.GetMeta("k", v));
    EXPECT_EQ(v, "v");
    store.Close();
    EXPECT_FALSE(fs::exists(root / "assets.tdx-wal"));
}
