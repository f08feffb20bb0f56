// Batch texture conversion through the real "compresstexture", side by side with NVIDIA Texture Tools'
// nvcompress, in one run. A folder of game textures (one description per image) is converted by VelmarUtil
// in a temporary installation, pinned to one processor (serial) and on all of them (parallel); an older
// build's stage (--before) runs the same in an installation of its own, and nvcompress -bc1 -fast and
// nvcompress -bc1 run on the same images, 8 at once. The runs of each round follow one another, so that
// every comparison is made under the same load. Then level 0 of every output is decoded by libsquish and
// compared with its source over the opaque pixels. In-process, the encoders' own time gives the share of
// the serial time spent elsewhere.
#include "EncoderSettings.h"
#include "InstallCost.h"
#include "Psnr.h"
#include "Runs.h"
#include "engine/Bitmap.h"
#include "platform/Process.h"
#include "textures/TextureCompress.h"
#include "textures/TextureTargets.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Arguments
{
    std::string list;
    size_t maxImages = SIZE_MAX;
    std::string before;  // an older build's stage folder (holding bin/)
    int rounds = 3;
    bool nvcompress = true;
    bool encoders = true;         // the in-process encoder time
    bool settings = false;        // the DXT encoder's settings side by side
    size_t installTextures = 32;  // textures of the asset whose install is measured (0: none)
};

bool ParseArguments(int argc, char** argv, Arguments& a)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--before")
            a.before = value();
        else if (arg == "--rounds")
            a.rounds = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--max-images")
            a.maxImages = size_t(std::max(1, std::atoi(value().c_str())));
        else if (arg == "--no-nvcompress")
            a.nvcompress = false;
        else if (arg == "--no-encoders")
            a.encoders = false;
        else if (arg == "--settings")
            a.settings = true;
        else if (arg == "--install")
            a.installTextures = size_t(std::max(0, std::atoi(value().c_str())));
        else if (a.list.empty())
            a.list = arg;
        else if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0])))
            a.maxImages = size_t(std::max(1, std::atoi(arg.c_str())));
        else
            return false;
    }
    return !a.list.empty();
}

std::vector<std::string> ReadImages(const Arguments& a)
{
    std::vector<std::string> images;
    if (fs::is_directory(a.list))
    {
        for (const auto& e : fs::recursive_directory_iterator(a.list))
            if (e.path().extension() == ".png") images.push_back(e.path().string());
    }
    else
    {
        std::ifstream list(a.list);
        for (std::string line; std::getline(list, line);)
            if (!line.empty()) images.push_back(line);
    }
    std::sort(images.begin(), images.end());
    if (images.size() > a.maxImages) images.resize(a.maxImages);
    return images;
}

// One installation that converts the corpus: its folder of descriptions and the figures of its runs.
struct Install
{
    std::string name;
    fs::path root;
    fs::path folder;
    std::vector<Timing> serial, parallel;

    std::string Tool() const { return (root / "bin" / "VelmarUtil").string(); }
    Timing Run(bool pinned) const
    {
        std::vector<std::string> argv = {Tool(), "compresstexture", folder.string()};
        if (pinned) argv.insert(argv.begin(), {"taskset", "-c", "0"});
        return RunTimed(argv, root.string());
    }
};

Install MakeInstall(const std::string& name, const fs::path& stageBin, const fs::path& base,
                    const std::vector<std::string>& images)
{
    Install in;
    in.name = name;
    in.root = base / name;
    LayOutRoot(stageBin, in.root);
    // The daemon is started first: at its start it keeps an edit folder without an open edit among the backups of
    // uncommitted work, which would take the folder away before the first conversion.
    RunTimed({in.Tool(), "version"}, in.root.string());
    in.folder = in.root / "UserData" / "editing" / "bench";
    fs::create_directories(in.folder);
    for (size_t i = 0; i < images.size(); ++i)
    {
        const std::string t = "t" + std::to_string(i);
        fs::copy_file(images[i], in.folder / (t + ".png"));
        std::ofstream(in.folder / (t + ".texture.txt")) << "Primary=" << t << ".png\n";
    }
    return in;
}

// Every figure of one kind of run, round by round ("a / b / c"), and their median.
std::string Rounds(const std::vector<Timing>& runs, double Timing::*field)
{
    std::string text;
    for (const Timing& t : runs)
    {
        char v[32];
        std::snprintf(v, sizeof v, "%s%.2f", text.empty() ? "" : " / ", t.*field);
        text += v;
    }
    return text;
}

double Median(const std::vector<Timing>& runs, double Timing::*field)
{
    std::vector<double> v;
    for (const Timing& t : runs) v.push_back(t.*field);
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Goal(const char* what, double value, const char* unit, const char* target, bool met)
{
    std::printf("goal,%s,%.2f%s,%s,%s\n", what, value, unit, target, met ? "met" : "missed");
}

// The encoders' own time on the images, in this process, pinned to one processor as the serial run is.
double EncoderSeconds(const std::vector<std::string>& images)
{
    cpu_set_t all, one;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    double seconds = 0;
    const PStringArray targets = DefaultTextureTargets();
    for (const std::string& path : images)
    {
        Orvo::String reason;
        std::unique_ptr<Orvo::Bitmap> image = Orvo::Bitmap::Load(path, reason);
        if (!image || image->GetWidth() % 4 != 0 || image->GetHeight() % 4 != 0 ||
            std::max(image->GetWidth(), image->GetHeight()) < 64)
            continue;  // converted uncompressed, no encoder work
        if (image->GetWidth() > 2048 || image->GetHeight() > 2048)
            image = image->Scale(
                std::min(image->GetWidth(), 2048u),
                uint32_t(uint64_t(image->GetHeight()) * std::min(image->GetWidth(), 2048u) / image->GetWidth()));
        const auto start = std::chrono::steady_clock::now();
        TextureCompress t;
        const bool alpha = image->GetFormat() == Orvo::Bitmap::FormatARGB32;
        if (!t.Compress(*image, targets, alpha ? 12 : 10, false, true, false, true))
            std::fprintf(stderr, "encoder failed on %s: %s\n", path.c_str(), t.GetLastError().c_str());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    sched_setaffinity(0, sizeof all, &all);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (!ParseArguments(argc, argv, args))
    {
        std::fprintf(stderr,
                     "usage: %s LIST_OR_FOLDER [max-images] [--before STAGE] [--rounds N] [--no-nvcompress] "
                     "[--no-encoders] [--settings] [--install N]\n",
                     argv[0]);
        return 2;
    }
    const std::vector<std::string> images = ReadImages(args);
    std::printf("what,value\nload average at start,%s\n", LoadAverage().c_str());

    const fs::path base = fs::temp_directory_path() / ("velmar-texconvert-" + std::to_string(getpid()));
    std::vector<Install> installs;
    installs.push_back(MakeInstall("after", VELMAR_STAGE_DIR "/bin", base, images));
    if (!args.before.empty()) installs.push_back(MakeInstall("before", fs::path(args.before) / "bin", base, images));

    const std::string nvcompress = args.nvcompress ? FindOnPath("nvcompress") : std::string();
    struct Peer
    {
        const char* name;
        std::vector<std::string> command;
        fs::path out;
        std::vector<Timing> runs;
    };
    std::vector<Peer> peers;
    if (!nvcompress.empty())
    {
        peers.push_back({"nvcompress -bc1 -fast", {nvcompress, "-bc1", "-fast"}, base / "nv-fast", {}});
        peers.push_back({"nvcompress -bc1", {nvcompress, "-bc1"}, base / "nv-production", {}});
    }
    else if (args.nvcompress)
    {
        std::printf("nvcompress,not found (Debian package libnvtt-bin)\n");
    }
    for (Peer& p : peers) fs::create_directories(p.out);
    auto peerFiles = [&](const Peer& p) {
        std::vector<std::pair<std::string, std::string>> files;
        for (size_t i = 0; i < images.size(); ++i)
            files.emplace_back(images[i], (p.out / ("t" + std::to_string(i) + ".dds")).string());
        return files;
    };

    // The first run of each installation starts its daemon and warms the file cache; it is not counted.
    for (const Install& in : installs) in.Run(false);
    for (int round = 0; round < args.rounds; ++round)
    {
        // Alternate which build goes first, so that neither always meets the machine as the other left it.
        std::vector<Install*> order;
        for (Install& in : installs) order.push_back(&in);
        if (round % 2 == 1) std::reverse(order.begin(), order.end());
        for (Install* in : order) in->parallel.push_back(in->Run(false));
        for (Peer& p : peers) p.runs.push_back(RunPool(p.command, peerFiles(p), 8));
        for (Install* in : order) in->serial.push_back(in->Run(true));
    }
    for (const Install& in : installs) RunTimed({in.Tool(), "closevaddaemon"}, in.root.string());

    bool failed = false;
    for (const Install& in : installs)
        for (const auto* runs : {&in.serial, &in.parallel})
            for (const Timing& t : *runs)
                if (t.exitCode != 0)
                {
                    std::fprintf(stderr, "compresstexture (%s) failed with %d\n", in.name.c_str(), t.exitCode);
                    failed = true;
                }
    for (const Peer& p : peers)
        for (const Timing& t : p.runs)
            if (t.exitCode != 0) std::fprintf(stderr, "%s failed on some images\n", p.name);

    // Level 0 of every output against its source, over the images the tool block-compressed.
    std::map<std::string, std::vector<double>> psnr;
    size_t sameLevel0 = 0, compared = 0;
    double pixels = 0;
    for (size_t i = 0; i < images.size(); ++i)
    {
        uint32_t w = 0, h = 0;
        Orvo::Bitmap::ReadSize(images[i], w, h);
        pixels += double(w) * h;
        const std::string t = "t" + std::to_string(i);
        DecodedLevel after;
        if (!DecodeCompiledTexture((installs[0].folder / (t + ".texture")).string(), after))
        {
            std::fprintf(stderr, "no output for %s\n", images[i].c_str());
            failed = true;
            continue;
        }
        if (!after.blockCompressed) continue;
        const std::unique_ptr<Orvo::Bitmap> scaled = LoadSource(images[i], after.width, after.height);
        const std::unique_ptr<Orvo::Bitmap> source = LoadSource(images[i], w, h);
        if (!scaled || !source) continue;
        psnr["after"].push_back(OpaquePsnr(*scaled, after));
        for (size_t k = 1; k < installs.size(); ++k)
        {
            DecodedLevel other;
            if (!DecodeCompiledTexture((installs[k].folder / (t + ".texture")).string(), other)) continue;
            psnr[installs[k].name].push_back(OpaquePsnr(*scaled, other));
            ++compared;
            if (other.bgra == after.bgra) ++sameLevel0;
        }
        for (const Peer& p : peers)
        {
            DecodedLevel level;
            if (DecodeDds((p.out / (t + ".dds")).string(), level)) psnr[p.name].push_back(OpaquePsnr(*source, level));
        }
    }
    auto mean = [&](const std::string& key) {
        const std::vector<double>& v = psnr[key];
        double sum = 0;
        for (double x : v) sum += x;
        return v.empty() ? 0.0 : sum / double(v.size());
    };

    const double mpix = pixels / 1e6;
    const unsigned processors = unsigned(Platform::ProcessorCount());
    std::printf("images,%zu\nblock-compressed by the tool,%zu\nMpix,%.2f\nprocessors,%u\n", images.size(),
                psnr["after"].size(), mpix, processors);
    for (const Install& in : installs)
    {
        const double serial = Median(in.serial, &Timing::wall), parallel = Median(in.parallel, &Timing::wall);
        std::printf("%s serial wall s,%s\n", in.name.c_str(), Rounds(in.serial, &Timing::wall).c_str());
        std::printf("%s serial Mpix/s,%.2f\n", in.name.c_str(), mpix / serial);
        std::printf("%s parallel wall s,%s\n", in.name.c_str(), Rounds(in.parallel, &Timing::wall).c_str());
        std::printf("%s parallel processor s,%s\n", in.name.c_str(), Rounds(in.parallel, &Timing::cpu).c_str());
        std::printf("%s parallel Mpix/s,%.2f\n", in.name.c_str(), mpix / parallel);
        std::printf("%s speed-up,%.2f\n", in.name.c_str(), serial / parallel);
        std::printf("%s processors busy in the parallel run,%.0f%%\n", in.name.c_str(),
                    100.0 * Median(in.parallel, &Timing::cpu) / (parallel * processors));
        std::printf("%s mean level-0 PSNR,%.3f dB\n", in.name.c_str(), mean(in.name));
    }
    for (const Peer& p : peers)
    {
        std::printf("%s (8 processes) wall s,%s\n", p.name, Rounds(p.runs, &Timing::wall).c_str());
        std::printf("%s (8 processes) processor s,%s\n", p.name, Rounds(p.runs, &Timing::cpu).c_str());
        std::printf("%s mean level-0 PSNR,%.3f dB\n", p.name, mean(p.name));
    }
    if (installs.size() > 1) std::printf("level 0 the same as before's,%zu of %zu\n", sameLevel0, compared);
    if (args.encoders)
    {
        const double encoders = EncoderSeconds(images);
        const double serial = Median(installs[0].serial, &Timing::wall);
        std::printf("encoder time (in-process),%.2f s\n", encoders);
        std::printf("share of serial time outside the encoders,%.1f%%\n",
                    100.0 * std::max(0.0, serial - encoders) / serial);
    }

    if (args.settings) CompareEncoderSettings(images);
    const double installRatio = args.installTextures > 0 ? MeasureInstallCost(VELMAR_STAGE_DIR "/bin", base, images,
                                                                              args.installTextures, args.rounds)
                                                         : -1.0;

    std::printf("goal,what,value,target,verdict\n");
    const double afterParallel = Median(installs[0].parallel, &Timing::wall);
    if (!peers.empty())
    {
        const double fast = Median(peers[0].runs, &Timing::wall);
        Goal("parallel wall / nvcompress -bc1 -fast (8 processes)", afterParallel / fast, "", "<= 2.00",
             afterParallel <= 2.0 * fast);
        const double margin = mean("after") - mean(peers[0].name);
        Goal("mean level-0 PSNR minus nvcompress -bc1 -fast's", margin, " dB", ">= +0.80", margin >= 0.8);
        if (installs.size() > 1)
            std::printf("goal,(before) parallel wall / nvcompress -bc1 -fast,%.2f,,info\n",
                        Median(installs[1].parallel, &Timing::wall) / fast);
    }
    if (installs.size() > 1)
    {
        const double speedUp = Median(installs[1].serial, &Timing::wall) / Median(installs[0].serial, &Timing::wall);
        Goal("serial throughput / before's", speedUp, "", ">= 3.00", speedUp >= 3.0);
        std::printf("goal,parallel throughput / before's,%.2f,,info\n",
                    Median(installs[1].parallel, &Timing::wall) / afterParallel);
    }
    if (installRatio >= 0)
        Goal("install with textures / (install without descriptions + conversion alone)", installRatio, "", "<= 1.00",
             installRatio <= 1.0);
    std::printf("load average at end,%s\n", LoadAverage().c_str());
    fs::remove_all(base);
    return failed ? 1 : 0;
}
