// Batch texture conversion through the real "compresstexture": a folder of game textures (one description
// per image) is converted by VelmarUtil in a temporary installation, once pinned to one processor (serial)
// and once on all of them (parallel). Reports textures/s, Mpix/s, the processors' use during the parallel
// run and the share of the serial time spent outside the encoders (nvtt's mip chains and our block encoders,
// timed in this process on the same images).
#include "engine/Bitmap.h"
#include "platform/Process.h"
#include "textures/TextureCompress.h"
#include "textures/TextureTargets.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Timing
{
    double wall = 0;
    double cpu = 0;
    int exitCode = -1;
};

// Runs a program to its end and measures its wall time and the processor time of it and its children.
Timing RunTimed(const std::vector<std::string>& argv, const std::string& workDir)
{
    Timing t;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
    {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    t.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return t;
}

void LayOutRoot(const fs::path& stage, const fs::path& root)
{
    fs::create_directories(root / "bin");
    for (const auto& e : fs::directory_iterator(stage))
    {
        const fs::path target = root / "bin" / e.path().filename();
        std::error_code ec;
        if (e.is_regular_file()) fs::create_hard_link(e.path(), target, ec);
        if (!e.is_regular_file() || ec) fs::copy(e.path(), target, fs::copy_options::recursive);
    }
    fs::create_directories(root / "UserData");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s LIST_OR_FOLDER [max-images]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> images;
    if (fs::is_directory(argv[1]))
    {
        for (const auto& e : fs::recursive_directory_iterator(argv[1]))
            if (e.path().extension() == ".png") images.push_back(e.path().string());
    }
    else
    {
        std::ifstream list(argv[1]);
        for (std::string line; std::getline(list, line);)
            if (!line.empty()) images.push_back(line);
    }
    std::sort(images.begin(), images.end());
    if (argc > 2) images.resize(std::min(images.size(), size_t(std::atoi(argv[2]))));

    const fs::path root = fs::temp_directory_path() / ("velmar-texconvert-" + std::to_string(getpid()));
    LayOutRoot(VELMAR_STAGE_DIR "/bin", root);
    const fs::path folder = root / "UserData" / "editing" / "bench";
    fs::create_directories(folder);

    // The images, their descriptions, and the encoders' own time on them on one processor, as in the serial
    // run (the codec's threads, started here, inherit the mask).
    cpu_set_t all, one;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    double pixels = 0, encoderSeconds = 0;
    size_t textures = 0;
    const PStringArray targets = DefaultTextureTargets();
    for (size_t i = 0; i < images.size(); ++i)
    {
        Orvo::String reason;
        std::unique_ptr<Orvo::Bitmap> image = Orvo::Bitmap::Load(images[i], reason);
        if (!image || image->GetWidth() % 4 != 0 || image->GetHeight() % 4 != 0 ||
            std::max(image->GetWidth(), image->GetHeight()) < 64)
            continue;  // converted uncompressed, so no encoder work to compare with
        const std::string name = "t" + std::to_string(i);
        fs::copy_file(images[i], folder / (name + ".png"));
        std::ofstream(folder / (name + ".texture.txt")) << "Primary=" << name << ".png\n";
        const auto start = std::chrono::steady_clock::now();
        TextureCompress t;
        const bool alpha = image->GetFormat() == Orvo::Bitmap::FormatARGB32;
        if (!t.Compress(*image, targets, alpha ? 12 : 10, false, true, false, true))
            std::fprintf(stderr, "encoder failed on %s: %s\n", images[i].c_str(), t.GetLastError().c_str());
        encoderSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        pixels += double(image->GetWidth()) * image->GetHeight();
        ++textures;
    }
    sched_setaffinity(0, sizeof all, &all);
    const std::string tool = (root / "bin" / "VelmarUtil").string();
    const unsigned processors = unsigned(Platform::ProcessorCount());
    // The first run starts the daemon and warms the file cache; it is not counted.
    RunTimed({tool, "compresstexture", folder.string()}, root.string());
    const Timing serial = RunTimed({"taskset", "-c", "0", tool, "compresstexture", folder.string()}, root.string());
    const Timing parallel = RunTimed({tool, "compresstexture", folder.string()}, root.string());
    RunTimed({tool, "closevaddaemon"}, root.string());
    fs::remove_all(root);
    if (serial.exitCode != 0 || parallel.exitCode != 0)
    {
        std::fprintf(stderr, "compresstexture failed (%d, %d)\n", serial.exitCode, parallel.exitCode);
        return 1;
    }

    const double mpix = pixels / 1e6;
    std::printf("what,value\n");
    std::printf("textures,%zu\nmpix,%.2f\nprocessors,%u\n", textures, mpix, processors);
    std::printf("serial wall s,%.2f\nserial textures/s,%.2f\nserial Mpix/s,%.2f\n", serial.wall, textures / serial.wall,
                mpix / serial.wall);
    std::printf("parallel wall s,%.2f\nparallel textures/s,%.2f\nparallel Mpix/s,%.2f\n", parallel.wall,
                textures / parallel.wall, mpix / parallel.wall);
    std::printf("speed-up,%.2f\n", serial.wall / parallel.wall);
    std::printf("processors busy in the parallel run,%.0f%%\n", 100.0 * parallel.cpu / (parallel.wall * processors));
    std::printf("encoder time (in-process),%.2f s\n", encoderSeconds);
    std::printf("share of serial time outside the encoders,%.1f%%\n",
                100.0 * std::max(0.0, serial.wall - encoderSeconds) / serial.wall);
    return 0;
}
