// Another local user against the owner's tool and daemon: a folder of theirs that the owner installs while they
// swap its files and folders for symbolic links to what only the owner may read, the discovery block's name
// taken before the owner's first command, a block of one of the owner's roots linked at another root's name, and
// a connection to the daemon over IPv6. The second user is user nobody, in a child process.
#include "OtherUserRoot.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/VADDiscovery.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string RandomHex()
{
    std::random_device rd;
    char text[33];
    std::snprintf(text, sizeof text, "%08x%08x%08x%08x", rd(), rd(), rd(), rd());
    return text;
}

class SecurityE2E : public OtherUserRootTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(OtherUserRootTest::SetUp());
        if (IsSkipped()) return;
        // What only the owner may read: a file, a folder holding it, and an asset folder holding it.
        secret_ = "SECRET-" + RandomHex();
        root_.WriteFile("private/secret.txt", secret_);
        root_.WriteFile("private/folder/secret.txt", secret_);
        root_.WriteFile("private/asset/config.txt", "kuid <kuid:900778:1>\nusername \"Private\"\nkind \"scenery\"\n");
        root_.WriteFile("private/asset/secret.txt", secret_);
        ASSERT_EQ(chmod(root_.Path("private").c_str(), 0700), 0);
        ASSERT_EQ(chmod(root_.Path("private/secret.txt").c_str(), 0600), 0);
    }
    void ExpectSecretNowhere(const std::string& package) const
    {
        for (const char* where : {"UserData/local", "UserData/backups", "UserData/editing", "UserData/cache"})
            EXPECT_EQ(FilesHolding(root_.Path(where), secret_), std::vector<std::string>()) << where;
        if (package.empty()) return;
        // The package's files are compressed: they are unpacked to be looked at.
        ContentArchive archive;
        Orvo::String reason;
        ASSERT_TRUE(archive.Load(reason, "", root_.Path(package))) << reason.c_str();
        ASSERT_GE(archive.GetAssetCount(), 1u);
        for (size_t i = 0; i < archive.GetAssetCount(); ++i)
        {
            const TDBTagRef entry = archive.GetAssetAt(i);
            const std::string out = root_.Path("unpacked/" + std::to_string(i));
            ASSERT_TRUE(ExportFileTree(GetArchiveEntryFiles(entry), Orvo::File::Path(out),
                                       GetArchiveEntryCompression(entry).View(), reason))
                << reason.c_str();
            EXPECT_EQ(FilesHolding(out, secret_), std::vector<std::string>()) << package;
        }
        EXPECT_EQ(ReadWholeFile(root_.Path(package)).find(secret_), std::string::npos);
    }

    std::string secret_;
};

TEST_F(SecurityE2E, LinksSwappedInDuringInstallsNeverCopyWhatTheOtherUserCannotRead)
{
    constexpr int kFiles = 200;
    constexpr int kInstalls = 25;
    const std::string asset = other_ + "/pack/asset";
    fs::create_directories(asset + "/sub");
    std::ofstream(asset + "/config.txt") << "kuid <kuid:900777:1>\nusername \"Raced\"\nkind \"scenery\"\n";
    std::ofstream(asset + "/sub/inner.txt") << "inner file\n";
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(asset + "/f" + std::to_string(1000 + i) + ".txt") << "plain file " << i << "\n";
    GiveToNobody();

    // The other user keeps swapping: every file for a link to the secret and back, half the time each; the
    // sub-folder, and now and then the asset folder or the folder named to the tool, for links to the owner's
    // private folders (exchanged atomically with links kept outside the folder the tool walks). Everything the
    // child needs is made before it starts.
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) names.push_back(asset + "/f" + std::to_string(1000 + i) + ".txt");
    const std::string link = asset + "/.link", plain = asset + "/.plain", subLink = asset + "/.sub";
    const std::string assetLink = other_ + "/.asset", pack = other_ + "/pack", packLink = other_ + "/.pack";
    const std::string secretFile = root_.Path("private/secret.txt");
    const std::string secretFolder = root_.Path("private/folder"), secretAsset = root_.Path("private/asset");
    const std::string secretParent = root_.Path("private");
    const std::string sub = asset + "/sub";
    RacingChild other(
        [&](unsigned round) {
            for (const std::string& name : names)
            {
                symlink(secretFile.c_str(), link.c_str());
                rename(link.c_str(), name.c_str());
            }
            renameat2(AT_FDCWD, subLink.c_str(), AT_FDCWD, sub.c_str(), RENAME_EXCHANGE);
            if (round % 4 == 0) renameat2(AT_FDCWD, assetLink.c_str(), AT_FDCWD, asset.c_str(), RENAME_EXCHANGE);
            if (round % 4 == 2) renameat2(AT_FDCWD, packLink.c_str(), AT_FDCWD, pack.c_str(), RENAME_EXCHANGE);
            for (const std::string& name : names)
            {
                const int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0 && write(fd, "plain file\n", 11) == 11) rename(plain.c_str(), name.c_str());
                if (fd >= 0) close(fd);
            }
            if (round % 4 == 2) renameat2(AT_FDCWD, packLink.c_str(), AT_FDCWD, pack.c_str(), RENAME_EXCHANGE);
            if (round % 4 == 0) renameat2(AT_FDCWD, assetLink.c_str(), AT_FDCWD, asset.c_str(), RENAME_EXCHANGE);
            renameat2(AT_FDCWD, subLink.c_str(), AT_FDCWD, sub.c_str(), RENAME_EXCHANGE);
        },
        [&] {
            if (!BecomeNobody()) return false;
            symlink(secretFolder.c_str(), subLink.c_str());
            symlink(secretAsset.c_str(), assetLink.c_str());
            symlink(secretParent.c_str(), packLink.c_str());
            return true;
        });
    ASSERT_TRUE(other.Started());

    int installed = 0;
    for (int i = 0; i < kInstalls; ++i)
    {
        const RunResult r = Run({"installfrompath", pack});
        EXPECT_FALSE(r.timedOut);
        // A run that failed never ends as a clean one.
        EXPECT_EQ(r.out.find("OK (0 Errors") != std::string::npos, r.exitCode == 0) << r.out;
        installed += r.exitCode == 0 ? 1 : 0;
    }
    ASSERT_TRUE(other.Stop()) << "the other user's child failed";
    EXPECT_GT(installed, 0) << "no install got through at all";

    const RunResult packed = Run({"createcdp", "raced.cdp", "<kuid:900777:1>"});
    ASSERT_EQ(packed.exitCode, 0) << packed.out << packed.err;
    ExpectSecretNowhere("work/raced.cdp");
    EXPECT_NE(Run({"status", "<kuid:900778:1>"}).exitCode, 0) << "the owner's private asset was installed";
}

TEST_F(SecurityE2E, ALinkTheOtherUserMadeIsNeverFollowedToAnAssetFolder)
{
    // Their folder holds a link to the owner's private asset folder, and one to a folder of its own.
    fs::create_directories(other_ + "/pack/real");
    std::ofstream(other_ + "/pack/real/config.txt") << "kuid <kuid:900777:2>\nusername \"Theirs\"\nkind \"scenery\"\n";
    fs::create_directory_symlink(root_.Path("private/asset"), other_ + "/pack/evil");
    fs::create_directory_symlink(other_ + "/pack/real", other_ + "/pack/alias");
    GiveToNobody();

    // Named, or met in the walk, the link is not followed: the user is told, and the run is no success.
    const RunResult named = Run({"installfrompath", other_ + "/pack/evil"});
    EXPECT_NE(named.exitCode, 0) << named.out;
    EXPECT_NE(named.out.find("symbolic link"), std::string::npos) << named.out;
    const RunResult walked = Run({"installfrompath", other_ + "/pack"});
    EXPECT_NE(walked.out.find("evil"), std::string::npos) << walked.out;
    EXPECT_EQ(Run({"status", "<kuid:900777:2>"}).exitCode, 0) << walked.out;
    EXPECT_NE(Run({"status", "<kuid:900778:1>"}).exitCode, 0) << "the owner's private asset was installed";
    ExpectSecretNowhere("");

    // A link of the owner's own, in a folder only the owner can change, is followed as before to the folders
    // it leads to (an asset folder that is itself a link is not installed, as before).
    fs::create_directories(root_.Path("work/mine"));
    fs::create_directory_symlink(root_.Path("private"), root_.Path("work/mine/linked"));
    const RunResult mine = Run({"installfrompath", "mine"});
    EXPECT_EQ(mine.exitCode, 0) << mine.out;
    EXPECT_EQ(Run({"status", "<kuid:900778:1>"}).exitCode, 0);
}

// The other user connects to the daemon's port and says a hello with a challenge, over IPv4 and over IPv6 (to
// ::ffff:127.0.0.1, the same listener): either connection is closed without a word, so no answer under the
// token, material for guessing it offline, ever reaches them. The owner goes on being served.
TEST_F(SecurityE2E, AnotherUsersHelloIsNeverAnsweredOverIPv4OrIPv6)
{
    VADDiscoveryBlock block;
    ASSERT_TRUE(VADFindDiscoveryBlock(root_.Root(), block));
    VADHello hello;
    hello.challenge.fill(0x3c);
    hello.program = "other";
    const VADBytes frame = VADEncodeFrame(kVADHelloCode, 0, VADEncodeHello(hello));
    const uint16_t port = block.port;
    // Per family, bit 0 for IPv4 and bit 1 for IPv6: an answer came, or the connection was still open after 10 s.
    const int answered = AsNobody([&] {
        int result = 0;
        for (const int family : {AF_INET, AF_INET6})
        {
            sockaddr_storage to{};
            if (family == AF_INET)
            {
                auto& a = reinterpret_cast<sockaddr_in&>(to);
                a.sin_family = AF_INET;
                a.sin_port = htons(port);
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            }
            else
            {
                auto& a = reinterpret_cast<sockaddr_in6&>(to);
                a.sin6_family = AF_INET6;
                a.sin6_port = htons(port);
                if (inet_pton(AF_INET6, "::ffff:127.0.0.1", &a.sin6_addr) != 1) return 100;
            }
            const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return family == AF_INET6 ? 77 : 100;
            const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            if (connect(fd, reinterpret_cast<sockaddr*>(&to), length) != 0) return 101;
            // Closed (or reset: the hello was never read) is right; a byte, or nothing in 10 s, is not.
            pollfd p{fd, POLLIN, 0};
            char c;
            if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size()) &&
                (poll(&p, 1, 10000) != 1 || read(fd, &c, 1) > 0))
                result |= family == AF_INET ? 1 : 2;
            close(fd);
        }
        return result;
    });
    if (answered == 77) GTEST_SKIP() << "no IPv6 sockets here";
    EXPECT_EQ(answered, 0) << "1: over IPv4, 2: over IPv6, 100 and above: the connection could not be made";
    const RunResult served = Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"});
    EXPECT_EQ(served.exitCode, 0) << served.out << served.err;
}

// What the other user leaves at the usual discovery name before the owner's first command: a block of theirs
// (mode 0644, any bytes), a FIFO (opening it would wait for a writer), a link to nowhere, a link to a file.
enum class Squat
{
    kBlock,
    kFifo,
    kDanglingLink,
    kLinkToFile,
};

class SecurityDiscoveryE2E : public testing::TestWithParam<Squat>
{};

// The usual discovery name taken by the other user: the owner's commands work at once, carried out by a daemon
// publishing under a private name, and the other user never learns the daemon's token.
TEST_P(SecurityDiscoveryE2E, ADiscoveryNameTakenByAnotherUserKeepsNobodyOut)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the second user as user nobody";
    InstallRoot root;
    fs::create_directories(root.Path("work"));
    const std::string usual = VADDiscoveryName(static_cast<uint32_t>(getuid()), root.Root());
    const std::string path = "/dev/shm" + usual, decoy = path + "-decoy";
    const std::string junk(64, '\x5a');
    ASSERT_EQ(AsNobody([&] {
                  if (GetParam() == Squat::kFifo) return mkfifo(path.c_str(), 0666) == 0 ? 0 : 1;
                  if (GetParam() == Squat::kDanglingLink)
                      return symlink((path + "-gone").c_str(), path.c_str()) == 0 ? 0 : 1;
                  const std::string made = GetParam() == Squat::kBlock ? path : decoy;
                  const int fd = open(made.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
                  if (fd < 0 || fchmod(fd, 0644) != 0 ||
                      write(fd, junk.data(), junk.size()) != static_cast<ssize_t>(junk.size()))
                      return 1;
                  return GetParam() == Squat::kBlock || symlink(decoy.c_str(), path.c_str()) == 0 ? 0 : 1;
              }),
              0);
    struct Unlink
    {
        std::vector<std::string> paths;
        ~Unlink()
        {
            for (const std::string& p : paths) unlink(p.c_str());
        }
    } unlinkLater{{path, decoy}};
    struct stat planted
    {};
    ASSERT_EQ(lstat(path.c_str(), &planted), 0);

    // Each command promptly: the first starts the daemon, validation needs the command host it starts.
    const RunOptions inWork = RunOptions::In(root.Path("work"));
    const std::vector<std::vector<std::string>> commands = {
        {"installfrompath", InstallRoot::SamplesDir() + "/signal-box"},
        {"status", "<kuid:900001:100>"},
        {"validate", "<kuid:900001:100>"},
    };
    RunOptions bounded = inWork;
    bounded.timeoutMs = 30000;
    for (const auto& args : commands)
    {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = root.Run(args, bounded);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_FALSE(r.timedOut) << args[0] << " still waited after 30 s";
        EXPECT_EQ(r.exitCode, 0) << args[0] << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("Failed to open asset database"), std::string::npos) << r.out;
        EXPECT_LT(seconds, 10.0) << args[0];
    }
    EXPECT_GE(HostsRegistered(root), 1u);

    VADDiscoveryBlock block;
    std::string name;
    ASSERT_TRUE(VADFindDiscoveryBlock(root.Root(), block, &name));
    EXPECT_NE(name, usual);
    EXPECT_EQ(static_cast<int>(block.pid), root.DaemonPid());
    const std::string record = root.Path(std::string(kVADDiscoveryRecordFolder) + "/" + kVADDiscoveryRecordName);
    // Nothing the other user can open holds the token: not the private block, not the record, nothing in /dev/shm.
    const uint64_t token = block.token;
    EXPECT_EQ(AsNobody([&] {
                  if (shm_open(name.c_str(), O_RDONLY, 0) >= 0 || open(record.c_str(), O_RDONLY) >= 0) return 1;
                  DIR* d = opendir("/dev/shm");
                  if (!d) return 2;
                  while (dirent* e = readdir(d))
                  {
                      const int fd = openat(dirfd(d), e->d_name, O_RDONLY | O_NONBLOCK);
                      if (fd < 0) continue;
                      static uint8_t bytes[1 << 16];
                      const ssize_t n = read(fd, bytes, sizeof bytes);
                      close(fd);
                      if (n > 0 && HoldsToken(bytes, static_cast<size_t>(n), token)) return 3;
                  }
                  closedir(d);
                  return 0;
              }),
              0);
    // What they left is as they left it.
    struct stat now
    {};
    ASSERT_EQ(lstat(path.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, planted.st_ino);
    EXPECT_EQ(now.st_mode, planted.st_mode);
    EXPECT_EQ(now.st_uid, kNobody);
    if (GetParam() == Squat::kBlock)
    {
        EXPECT_EQ(ReadWholeFile(path), junk);
    }

    // closevaddaemon finds the daemon and ends it; the private block and its record go with it.
    const RunResult close = root.Run({"closevaddaemon"}, inWork);
    EXPECT_EQ(close.exitCode, 0) << close.out << close.err;
    EXPECT_TRUE(Eventually([&] { return !root.DaemonRunning(); }));
    EXPECT_FALSE(fs::exists(record));
    EXPECT_FALSE(fs::exists("/dev/shm" + name));
}

std::string SquatName(const testing::TestParamInfo<Squat>& info)
{
    const char* names[] = {"Block", "Fifo", "DanglingLink", "LinkToFile"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Squats, SecurityDiscoveryE2E,
                         testing::Values(Squat::kBlock, Squat::kFifo, Squat::kDanglingLink, Squat::kLinkToFile),
                         SquatName);

// The owner's block of root A reached at the usual name of the owner's root B: a hard link another user can make
// where fs.protected_hardlinks is 0 (made here by the test). B's commands are never carried out by A's daemon:
// B's own daemon starts and answers for B, closevaddaemon in B leaves A's daemon alone, and the link stays as it
// was, A's block with it.
TEST(SecurityRootsE2E, ABlockOfAnotherRootAtARootsNameIsNeverUsed)
{
    constexpr char kSignalBox[] = "<kuid:900001:100>";
    InstallRoot a, b;
    for (const InstallRoot* root : {&a, &b}) fs::create_directories(root->Path("work"));
    const RunOptions inA = RunOptions::In(a.Path("work"));
    RunOptions inB = RunOptions::In(b.Path("work"));
    inB.timeoutMs = 30000;
    ASSERT_EQ(a.Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}, inA).exitCode, 0);
    const int daemonA = a.DaemonPid();
    ASSERT_GT(daemonA, 0);
    const uint32_t uid = static_cast<uint32_t>(getuid());
    const std::string blockA = "/dev/shm" + VADDiscoveryName(uid, a.Root());
    const std::string atB = "/dev/shm" + VADDiscoveryName(uid, b.Root());
    ASSERT_EQ(link(blockA.c_str(), atB.c_str()), 0);
    struct Unlink
    {
        std::string path;
        ~Unlink() { unlink(path.c_str()); }
    } unlinkLater{atB};
    struct stat linked
    {};
    ASSERT_EQ(lstat(atB.c_str(), &linked), 0);

    const RunResult status = b.Run({"status", kSignalBox}, inB);
    ASSERT_FALSE(status.timedOut);
    EXPECT_EQ(status.out, std::string("- ") + kSignalBox + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n")
        << "root A's daemon answered for root B";
    const int daemonB = b.DaemonPid();
    EXPECT_GT(daemonB, 0);
    EXPECT_NE(daemonB, daemonA);

    const RunResult close = b.Run({"closevaddaemon"}, inB);
    EXPECT_EQ(close.exitCode, 0) << close.out << close.err;
    EXPECT_TRUE(Eventually([&] { return !b.DaemonRunning(); }));
    EXPECT_EQ(a.DaemonPid(), daemonA) << "closevaddaemon of root B ended root A's daemon";
    struct stat now
    {};
    ASSERT_EQ(lstat(atB.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, linked.st_ino);
    EXPECT_EQ(now.st_nlink, 2u);
    const RunResult served = a.Run({"status", kSignalBox}, inA);
    EXPECT_EQ(served.exitCode, 0) << served.out << served.err;
    EXPECT_EQ(a.DaemonPid(), daemonA);
}

}  // namespace
}  // namespace e2e
