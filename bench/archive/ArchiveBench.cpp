// Speed of content archives: LZSS on asset-like data (mesh-like binary, texture-like noise, text), and
// packing an asset folder into an entry, saving, loading and exporting it again as a .cdp.
// Usage: bench_archive [megabytes per data kind, default 16]
#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "engine/File.h"
#include "engine/LZSS.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<uint8_t> MakeData(const char* kind, size_t bytes)
{
    std::vector<uint8_t> d(bytes);
    std::mt19937 rng(7);
    std::string kinds(kind);
    if (kinds == "mesh")
    {
        // Float vertex records whose high bytes repeat and whose low bytes vary.
        for (size_t i = 0; i < bytes; ++i)
            d[i] = (i % 4 < 2) ? static_cast<uint8_t>(rng() & 0x0F) : static_cast<uint8_t>(0x3F + (i / 4096) % 3);
    }
    else if (kinds == "noise")
    {
        for (auto& b : d) b = static_cast<uint8_t>(rng());
    }
    else
    {
        const char* words[] = {"kuid ", "<kuid2:523:1001:2> ",      "mesh-table ",     "{\n",
                               "}\n",   "username \"Red coach\"\n", "auto-create 1\n", "texture \"body.texture\"\n"};
        size_t i = 0;
        while (i < bytes)
            for (char c : std::string(words[rng() % 8]))
            {
                if (i >= bytes) break;
                d[i++] = static_cast<uint8_t>(c);
            }
    }
    return d;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mb = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 16;
    if (mb == 0 || mb > 512) mb = 16;
    const size_t bytes = mb << 20;

    std::printf("kind,MB,ratio,compress MB/s,decompress MB/s\n");
    for (const char* kind : {"mesh", "text", "noise"})
    {
        std::vector<uint8_t> data = MakeData(kind, bytes), packed, unpacked;
        auto t0 = std::chrono::steady_clock::now();
        Orvo::LZSSCompress::Compress(data.data(), data.size(), packed);
        double c = Seconds(t0);
        t0 = std::chrono::steady_clock::now();
        bool ok = Orvo::LZSSCompress::Decompress(packed.data(), packed.size(), unpacked);
        double dsec = Seconds(t0);
        if (!ok || unpacked != data)
        {
            std::fprintf(stderr, "round trip failed for %s\n", kind);
            return 1;
        }
        std::printf("%s,%zu,%.3f,%.1f,%.1f\n", kind, mb, double(packed.size()) / double(data.size()), mb / c,
                    mb / dsec);
    }

    // One asset folder of mb MB in 64 files, through the whole archive path.
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("bench_archive_" + std::to_string(::getpid()));
    fs::create_directories(dir / "asset" / "textures");
    Orvo::File::WriteFile((dir / "asset" / "config.txt").string(), "kuid\t<kuid:523:1001>\nusername\t\"Bench\"\n");
    std::vector<uint8_t> mesh = MakeData("mesh", bytes / 64);
    for (int i = 0; i < 64; ++i)
        Orvo::File::WriteFile(
            (dir / "asset" / (i % 2 ? "textures" : ".") / ("f" + std::to_string(i) + ".bin")).string(),
            std::string_view(reinterpret_cast<const char*>(mesh.data()), mesh.size()));
    Orvo::String reason;
    TDBTagRef entry;
    auto t0 = std::chrono::steady_clock::now();
    bool ok = MakeArchiveEntryFromFolder(entry, Orvo::File::Path((dir / "asset").string()), true, reason);
    double pack = Seconds(t0);
    ContentArchive archive;
    ok = ok && archive.AddAsset(reason, entry);
    t0 = std::chrono::steady_clock::now();
    ok = ok && archive.Save(reason, Orvo::File::Path((dir / "a.cdp").string()));
    double save = Seconds(t0);
    ContentArchive loaded;
    t0 = std::chrono::steady_clock::now();
    ok = ok && loaded.Load(reason, "", (dir / "a.cdp").string());
    double load = Seconds(t0);
    t0 = std::chrono::steady_clock::now();
    TDBTagRef back = loaded.GetAssetAt(0);
    ok = ok && ExportFileTree(GetArchiveEntryFiles(back), Orvo::File::Path((dir / "out").string()),
                              GetArchiveEntryCompression(back).View(), reason);
    double exp = Seconds(t0);
    std::error_code ec;
    fs::remove_all(dir, ec);
    if (!ok)
    {
        std::fprintf(stderr, "archive path failed: %s\n", reason.c_str());
        return 1;
    }
    std::printf("\narchive of %zu MB: pack %.1f MB/s, save %.1f MB/s, load %.1f MB/s, export %.1f MB/s\n", mb,
                mb / pack, mb / save, mb / load, mb / exp);
    return 0;
}
