// Packages and folder installs through the real tool and daemon, each beside the plain copy of the same
// data (tar, cp) in the same run:
//   installfrompath  N small assets and M large ones                      beside  cp -r
//   createcdp        1/4, 1/2 and all of the small assets (how it scales)  beside  tar cf
//   createcdp        the large assets                                      beside  tar cf
//   installcdp       the large assets' package into a fresh installation  beside  tar c | tar x
//   installcdp       the small assets' package into a fresh installation  beside  tar c | tar x
// and the same for T textured assets (two texture descriptions each, over 512 x 512 and 256 x 128 TGA pictures):
// their package, made from the installed assets, carries the compiled textures, which installcdp keeps,
// with the peak memory of the tool, the daemon and its command host. Every figure is the median of the runs.
//
//   bench_packages [small=5000] [small KB=10] [large=500] [large MB=1] [runs=3] [work folder] [textured=40]
//
// Or "installfrompath" of the small assets alone, each round into a fresh installation whose daemon runs:
//
//   bench_packages installfrompath [assets=2000] [KB=10] [rounds=8] [work folder]
//
// with VELMAR_BENCH_BEFORE naming another build's stage folder, the two builds take turns round by round (which
// goes first alternating, after one round of each not counted), and their medians and ratio are printed.
//
// Or "outputs": "createcdp" of the small assets, and "export-package" of T textured ones (a new package for
// "etc1", then the same package again for "dxtc", which replaces its copies), in one installation per build, taking
// turns with VELMAR_BENCH_BEFORE's as above. Their outputs are put on disk before the commands end: give a work
// folder on a real disk (a flush on a memory file system costs nothing).
//
//   bench_packages outputs [assets=2000] [textured=10] [rounds=6] [work folder]
//
// The work folder (default $TMPDIR, else /dev/shm) should be a memory file system, so that the figures are
// the programs' and not the disk's. VELMAR_BENCH_STAGE names another installation's stage folder (its bin/
// is used): the same run can then measure an older build beside this one.
#include "core/KUID.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Run
{
    double seconds = 0;
    long peakKB = 0;
    int exit = -1;
};

// Runs a program (its output thrown away) and waits for it.
Run Spawn(const std::vector<std::string>& args, const std::string& dir)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run r;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    wait4(pid, &status, 0, &ru);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peakKB = ru.ru_maxrss;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

Run Shell(const std::string& command, const std::string& dir) { return Spawn({"/bin/sh", "-c", command}, dir); }

std::string g_stage;  // the stage folder whose bin/ is used
std::string g_work;
int g_roots = 0;

// A fresh installation root: the bin/ of `stage` (by default the stage measured) and an empty UserData/.
std::string NewRoot(const std::string& stage = g_stage)
{
    const std::string root = g_work + "/root" + std::to_string(++g_roots);
    fs::remove_all(root);
    fs::create_directories(root + "/UserData");
    fs::copy(stage + "/bin", root + "/bin", fs::copy_options::recursive);
    return root;
}

Run Tool(const std::string& root, std::vector<std::string> args)
{
    args.insert(args.begin(), root + "/bin/VelmarUtil");
    return Spawn(args, root);
}

// The peak resident size (kB) of the processes started from this root's bin/ whose command line holds `word`.
long PeakOf(const std::string& root, const std::string& exe, const std::string& word)
{
    long peak = 0;
    for (const auto& e : fs::directory_iterator("/proc"))
    {
        const std::string pid = e.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        if (fs::read_symlink(e.path() / "exe", ec).string() != root + "/bin/" + exe) continue;
        std::ifstream cmd(e.path() / "cmdline");
        std::string line((std::istreambuf_iterator<char>(cmd)), std::istreambuf_iterator<char>());
        if (!word.empty() && line.find(word) == std::string::npos) continue;
        std::ifstream status(e.path() / "status");
        for (std::string l; std::getline(status, l);)
            if (l.rfind("VmHWM:", 0) == 0) peak = std::max(peak, std::atol(l.c_str() + 6));
    }
    return peak;
}

void CloseRoot(const std::string& root)
{
    Tool(root, {"closevaddaemon"});
    // The daemon ends its command host and itself; the root goes when nothing of it runs any more.
    for (int i = 0; i < 600 && (PeakOf(root, "VADDaemon", "") || PeakOf(root, "VelmarUtil", "")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fs::remove_all(root);
}

// The asset folder `name` under `folder` with its config.txt: KUID <user>:<i + 1>, `kind`, the user name "<title> <i>",
// `category` and the lines of `more`. Its KUID is added to `kuids`; the folder's path is returned.
std::string WriteBenchAsset(const std::string& folder, const std::string& name, int i, int user, const char* kind,
                            const char* title, const char* category, const std::string& more, std::vector<KUID>& kuids)
{
    const KUID k(user, i + 1, 0);
    kuids.push_back(k);
    const std::string a = folder + "/" + name;
    fs::create_directories(a);
    std::ofstream(a + "/config.txt") << "kuid " << k.ToString() << "\nkind \"" << kind << "\"\nusername \"" << title
                                     << " " << i << "\"\ncategory-class \"" << category << "\"\nvelmar-build 4.6\n"
                                     << more;
    return a;
}

// Asset folders a<i> under `folder`: a config and one data file of `bytes` bytes each.
std::vector<KUID> MakeAssets(const std::string& folder, int count, size_t bytes, int user)
{
    std::vector<KUID> kuids;
    std::string data(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    for (int i = 0; i < count; ++i)
    {
        const std::string a =
            WriteBenchAsset(folder, "a" + std::to_string(i), i, user, "scenery", "Bench asset", "BR", "", kuids);
        std::ofstream(a + "/data.bin", std::ios::binary).write(data.data(), static_cast<std::streamsize>(bytes));
    }
    return kuids;
}

// An uncompressed 24-bit TGA picture of w x h: ramps and a checker, different for each seed.
void WriteTga(const std::string& path, int w, int h, int seed)
{
    std::string data(18 + size_t(w) * h * 3, '\0');
    data[2] = 2;
    data[12] = char(w & 0xFF), data[13] = char(w >> 8), data[14] = char(h & 0xFF), data[15] = char(h >> 8);
    data[16] = 24;
    size_t at = 18;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            data[at++] = char((x + seed * 7) & 0xFF);
            data[at++] = char((y * 2 + seed) & 0xFF);
            data[at++] = char(((x / 16 + y / 16 + seed) % 2) ? 200 : 50);
        }
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Asset folders t<i> under `folder` of kind "texture", each with two texture descriptions and their pictures.
std::vector<KUID> MakeTexturedAssets(const std::string& folder, int count, int user)
{
    std::vector<KUID> kuids;
    for (int i = 0; i < count; ++i)
    {
        const std::string a = WriteBenchAsset(folder, "t" + std::to_string(i), i, user, "texture", "Bench texture",
                                              "TX", "texture \"big.texture\"\n", kuids);
        WriteTga(a + "/big.tga", 512, 512, i);
        WriteTga(a + "/small.tga", 256, 128, i + 3);
        std::ofstream(a + "/big.texture.txt") << "Primary=big.tga\n";
        std::ofstream(a + "/small.texture.txt") << "Primary=small.tga\n";
    }
    return kuids;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Row(const char* what, const std::vector<double>& ours, const char* reference, const std::vector<double>& ref,
         const char* note = "")
{
    const double a = Median(ours), b = Median(ref);
    std::printf("%-34s %8.3f s   %-14s %8.3f s   speed %5.2f of the reference%s\n", what, a, reference, b,
                a > 0 ? b / a : 0.0, note);
    std::fflush(stdout);
}

std::vector<std::string> KuidArgs(const std::vector<KUID>& kuids, size_t n)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < n && i < kuids.size(); ++i) out.push_back(kuids[i].ToString());
    return out;
}

// The seconds "installfrompath" of `folder` takes in a fresh installation of `stage` whose daemon runs.
double InstallFromPathOnce(const std::string& stage, const std::string& folder)
{
    const std::string root = NewRoot(stage);
    Tool(root, {"version"});
    const Run run = Tool(root, {"installfrompath", folder});
    if (run.exit != 0) std::printf("  (exit %d)\n", run.exit);
    CloseRoot(root);
    return run.seconds;
}

void Figures(const char* who, const std::string& stage, std::vector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    std::printf("  %-12s median %7.1f ms   min %7.1f   max %7.1f   (%s)\n", who, Median(seconds) * 1e3,
                seconds.front() * 1e3, seconds.back() * 1e3, stage.c_str());
}

// "installfrompath" of `count` assets alone, `rounds` times, and side by side with the stage `before` where one is
// named: the builds take turns, the one that goes first changing each round.
int InstallFromPathAlone(int count, size_t kb, int rounds, const std::string& before)
{
    const std::string src = g_work + "/src";
    MakeAssets(src, count, kb << 10, 810000);
    std::printf("installfrompath %d assets of %zu KB, median of %d rounds%s\n", count, kb, rounds,
                before.empty() ? "" : ", the builds taking turns");
    std::fflush(stdout);
    InstallFromPathOnce(g_stage, src);  // not counted: the first start of each
    if (!before.empty()) InstallFromPathOnce(before, src);
    std::vector<double> ours, theirs, ratios;
    for (int r = 0; r < rounds; ++r)
    {
        if (before.empty())
        {
            ours.push_back(InstallFromPathOnce(g_stage, src));
            continue;
        }
        const bool oursFirst = r % 2 == 1;
        if (oursFirst) ours.push_back(InstallFromPathOnce(g_stage, src));
        theirs.push_back(InstallFromPathOnce(before, src));
        if (!oursFirst) ours.push_back(InstallFromPathOnce(g_stage, src));
        ratios.push_back(ours.back() / theirs.back());
    }
    Figures("this build", g_stage, ours);
    if (before.empty()) return 0;
    Figures("before", before, theirs);
    std::printf("  ratio this/before: %.3f of the medians, %.3f the median of the rounds' ratios\n",
                Median(ours) / Median(theirs), Median(ratios));
    return 0;
}

// One build's installation for "outputs", with every figure of its rounds.
struct OutputsBuild
{
    const char* who;
    std::string stage;
    std::string root;
    std::vector<double> createcdp, exportNew, exportOver;
};

// One round of "outputs" in `b`'s installation: the figures are kept when `counted`.
void OutputsRound(OutputsBuild& b, const std::vector<KUID>& small, const std::vector<KUID>& textured, int round,
                  bool counted)
{
    const std::string package = b.root + "/out" + std::to_string(round) + ".cdp";
    std::vector<std::string> args{"createcdp", package};
    for (const std::string& id : KuidArgs(small, small.size())) args.push_back(id);
    const Run made = Tool(b.root, args);
    fs::remove(package);
    const std::string name = "pk" + std::to_string(round);
    std::vector<std::string> exported{"export-package", "etc1", name};
    for (const std::string& id : KuidArgs(textured, textured.size())) exported.push_back(id);
    const Run fresh = Tool(b.root, exported);
    exported[1] = "dxtc";
    const Run over = Tool(b.root, exported);
    fs::remove_all(b.root + "/UserData/packages/" + name);
    if (made.exit != 0 || fresh.exit != 0 || over.exit != 0)
        std::printf("  (%s: exit %d / %d / %d)\n", b.who, made.exit, fresh.exit, over.exit);
    if (!counted) return;
    b.createcdp.push_back(made.seconds);
    b.exportNew.push_back(fresh.seconds);
    b.exportOver.push_back(over.seconds);
}

int OutputsSideBySide(int small, int textured, int rounds, const std::string& before)
{
    const std::string src = g_work + "/src";
    const std::vector<KUID> smallKuids = MakeAssets(src + "/small", small, 10 << 10, 810000);
    const std::vector<KUID> texturedKuids = MakeTexturedAssets(src + "/textured", textured, 830000);
    std::vector<OutputsBuild> builds{{"this build", g_stage, {}, {}, {}, {}}};
    if (!before.empty()) builds.push_back({"before", before, {}, {}, {}, {}});
    for (OutputsBuild& b : builds)
    {
        b.root = NewRoot(b.stage);
        if (Tool(b.root, {"installfrompath", src}).exit != 0) std::printf("  (%s: the install failed)\n", b.who);
        OutputsRound(b, smallKuids, texturedKuids, -1, false);  // not counted: the command host's first start
    }
    std::printf("work folder %s; createcdp of %d assets of 10 KB, export-package of %d textured assets, median of %d "
                "rounds%s\n",
                g_work.c_str(), small, textured, rounds, before.empty() ? "" : ", the builds taking turns");
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < builds.size(); ++i)
            OutputsRound(builds[(i + static_cast<size_t>(r)) % builds.size()], smallKuids, texturedKuids, r, true);
    for (const OutputsBuild& b : builds)
    {
        std::printf("%s\n", b.who);
        Figures("createcdp", b.stage, b.createcdp);
        Figures("export new", b.stage, b.exportNew);
        Figures("export over", b.stage, b.exportOver);
        CloseRoot(b.root);
    }
    if (builds.size() == 2)
        std::printf("ratio this/before of the medians: createcdp %.3f, export new %.3f, export over %.3f\n",
                    Median(builds[0].createcdp) / Median(builds[1].createcdp),
                    Median(builds[0].exportNew) / Median(builds[1].exportNew),
                    Median(builds[0].exportOver) / Median(builds[1].exportOver));
    return 0;
}

// The work folder: a new folder in `base` (g_work), and the stage measured (g_stage).
bool MakeWorkFolder(const std::string& base)
{
    const char* stage = std::getenv("VELMAR_BENCH_STAGE");
    g_stage = stage && *stage ? stage : VELMAR_STAGE_DIR;
    char tmpl[PATH_MAX];
    std::snprintf(tmpl, sizeof tmpl, "%s/bench-packages-XXXXXX", base.c_str());
    if (!mkdtemp(tmpl)) return false;
    g_work = tmpl;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string defaultBase = tmp && *tmp ? tmp : "/dev/shm";
    if (argc > 1 && std::strcmp(argv[1], "installfrompath") == 0)
    {
        const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
        const size_t kb = argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 10;
        const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 8;
        const char* before = std::getenv("VELMAR_BENCH_BEFORE");
        if (count < 1) return 2;
        if (!MakeWorkFolder(argc > 5 ? argv[5] : defaultBase)) return 1;
        const int status = InstallFromPathAlone(count, kb, rounds, before ? before : "");
        fs::remove_all(g_work);
        return status;
    }

    if (argc > 1 && std::strcmp(argv[1], "outputs") == 0)
    {
        const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
        const int textured = argc > 3 ? std::atoi(argv[3]) : 10;
        const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 6;
        const char* before = std::getenv("VELMAR_BENCH_BEFORE");
        if (count < 1 || textured < 1) return 2;
        if (!MakeWorkFolder(argc > 5 ? argv[5] : defaultBase)) return 1;
        const int status = OutputsSideBySide(count, textured, rounds, before ? before : "");
        fs::remove_all(g_work);
        return status;
    }

    const int small = argc > 1 ? std::atoi(argv[1]) : 5000;
    const size_t smallKB = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 10;
    const int large = argc > 3 ? std::atoi(argv[3]) : 500;
    const size_t largeMB = argc > 4 ? static_cast<size_t>(std::atoi(argv[4])) : 1;
    const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
    const int textured = argc > 7 ? std::atoi(argv[7]) : 40;
    if (small < 4 || large < 1 || textured < 1) return 2;

    // Many KUIDs on one command line: room for them (the argument space is a quarter of the stack limit).
    struct rlimit stack;
    getrlimit(RLIMIT_STACK, &stack);
    stack.rlim_cur = std::min<rlim_t>(stack.rlim_max, rlim_t(256) << 20);
    setrlimit(RLIMIT_STACK, &stack);

    if (!MakeWorkFolder(argc > 6 ? argv[6] : defaultBase)) return 1;
    std::printf("work folder %s, stage %s, median of %d runs\n", g_work.c_str(), g_stage.c_str(), runs);
    const std::string src = g_work + "/src";
    const std::vector<KUID> smallKuids = MakeAssets(src + "/small", small, smallKB << 10, 810000);
    const std::vector<KUID> largeKuids = MakeAssets(src + "/large", large, largeMB << 20, 820000);
    const std::vector<KUID> texturedKuids = MakeTexturedAssets(src + "/textured", textured, 830000);

    struct Set
    {
        const char* name;
        std::string folder;
        const std::vector<KUID>& kuids;
    };
    const Set sets[] = {{"small", src + "/small", smallKuids},
                        {"large", src + "/large", largeKuids},
                        {"textured", src + "/textured", texturedKuids}};
    std::string packages[std::size(sets)];
    for (const Set& set : sets)
    {
        const bool isSmall = &set == &sets[0];
        char label[96];
        // installfrompath into a fresh installation whose daemon is running.
        std::vector<double> ours, ref;
        for (int r = 0; r < runs; ++r)
        {
            const std::string root = NewRoot();
            Tool(root, {"version"});
            Run a = Tool(root, {"installfrompath", set.folder});
            Run b = Shell("cp -r '" + set.folder + "' '" + root + "/copy'", root);
            if (a.exit != 0 || b.exit != 0) std::printf("  (exit %d / %d)\n", a.exit, b.exit);
            ours.push_back(a.seconds);
            ref.push_back(b.seconds);
            // The installed assets make the package: createcdp of part and of all of them, beside tar.
            if (r == runs - 1)
            {
                std::vector<size_t> counts{set.kuids.size()};
                if (isSmall) counts = {set.kuids.size() / 4, set.kuids.size() / 2, set.kuids.size()};
                for (size_t n : counts)
                {
                    std::vector<double> c, t;
                    for (int k = 0; k < runs; ++k)
                    {
                        std::vector<std::string> args{"createcdp", g_work + "/" + set.name + ".cdp"};
                        const std::vector<std::string> ids = KuidArgs(set.kuids, n);
                        args.insert(args.end(), ids.begin(), ids.end());
                        Run cc = Tool(root, args);
                        if (cc.exit != 0) std::printf("  (createcdp exit %d)\n", cc.exit);
                        c.push_back(cc.seconds);
                        // tar of the same asset folders.
                        std::string list = g_work + "/list.txt";
                        {
                            std::ofstream l(list);
                            for (size_t i = 0; i < n; ++i) l << set.kuids[i].ToSpacedString() << "\n";
                        }
                        t.push_back(
                            Shell("tar cf '" + g_work + "/x.tar' -C '" + root + "/UserData/local' -T '" + list + "'",
                                  root)
                                .seconds);
                    }
                    std::snprintf(label, sizeof label, "createcdp %zu %s", n, set.name);
                    Row(label, c, "tar cf", t);
                }
                packages[&set - sets] = g_work + "/" + set.name + ".cdp";
            }
            CloseRoot(root);
        }
        std::snprintf(label, sizeof label, "installfrompath %zu %s", set.kuids.size(), set.name);
        Row(label, ours, "cp -r", ref);
    }

    // installcdp into a fresh installation whose daemon is running (the command host starts on demand).
    for (const Set& set : sets)
    {
        const std::string& package = packages[&set - sets];
        std::vector<double> ours, ref;
        long tool = 0, daemon = 0, host = 0;
        for (int r = 0; r < runs; ++r)
        {
            const std::string root = NewRoot();
            Tool(root, {"version"});
            Run a = Tool(root, {"installcdp", package});
            if (a.exit != 0) std::printf("  (installcdp exit %d)\n", a.exit);
            ours.push_back(a.seconds);
            tool = std::max(tool, a.peakKB);
            daemon = std::max(daemon, PeakOf(root, "VADDaemon", ""));
            host = std::max(host, PeakOf(root, "VelmarUtil", "vadcommandhost"));
            fs::create_directories(root + "/copy");
            ref.push_back(Shell("tar c -C '" + set.folder + "' . | tar x -C '" + root + "/copy'", root).seconds);
            CloseRoot(root);
        }
        char label[96], note[160];
        std::snprintf(label, sizeof label, "installcdp %zu %s", set.kuids.size(), set.name);
        std::snprintf(note, sizeof note,
                      "\n%34s peak memory: tool %.1f MB, daemon %.1f MB, command host %.1f MB"
                      " (package %.1f MB)",
                      "", tool / 1024.0, daemon / 1024.0, host / 1024.0,
                      static_cast<double>(fs::file_size(package)) / 1048576.0);
        Row(label, ours, "tar c | tar x", ref, note);
    }
    fs::remove_all(g_work);
    return 0;
}
