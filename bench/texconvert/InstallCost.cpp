#include "InstallCost.h"

#include "Runs.h"
#include "engine/Bitmap.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char* const kKuid = "<kuid:900001:7700>";

// An asset folder of kind "texture" holding the pictures, and their descriptions when `descriptions`.
void MakeAsset(const fs::path& folder, const std::vector<std::string>& pictures, bool descriptions)
{
    fs::create_directories(folder);
    std::ofstream(folder / "config.txt") << "kuid " << kKuid
                                         << "\nkind \"texture\"\nusername \"Bench textures\"\nvelmar-build 3.7\n"
                                            "category-class \"TX\"\ntexture \"t0.texture\"\n";
    for (size_t i = 0; i < pictures.size(); ++i)
    {
        const std::string t = "t" + std::to_string(i);
        fs::copy_file(pictures[i], folder / (t + ".png"));
        if (descriptions) std::ofstream(folder / (t + ".texture.txt")) << "Primary=" << t << ".png\n";
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string Rounds(const std::vector<double>& v)
{
    std::string text;
    for (double x : v)
    {
        char s[32];
        std::snprintf(s, sizeof s, "%s%.2f", text.empty() ? "" : " / ", x);
        text += s;
    }
    return text;
}

}  // namespace

double MeasureInstallCost(const fs::path& stageBin, const fs::path& base, const std::vector<std::string>& images,
                          size_t textures, int rounds)
{
    // The pictures the tool block-compresses, the first `textures` of them.
    std::vector<std::string> pictures;
    for (const std::string& path : images)
    {
        uint32_t w = 0, h = 0;
        if (pictures.size() < textures && Orvo::Bitmap::ReadSize(path, w, h) && w % 4 == 0 && h % 4 == 0 &&
            std::max(w, h) >= 64 && w <= 2048 && h <= 2048)
            pictures.push_back(path);
    }
    const fs::path root = base / "install";
    LayOutRoot(stageBin, root);
    const std::string tool = (root / "bin" / "VelmarUtil").string();
    // The daemon is started before the edit folder is laid out: at its start it would keep it among the backups.
    RunTimed({tool, "version"}, root.string());
    const fs::path with = base / "asset-with-textures", without = base / "asset-without-descriptions";
    const fs::path alone = root / "UserData" / "editing" / "convert-only";
    MakeAsset(with, pictures, true);
    MakeAsset(without, pictures, false);
    MakeAsset(alone, pictures, true);
    auto install = [&](const fs::path& folder) {
        const Timing t = RunTimed({tool, "installfrompath", folder.string()}, root.string());
        if (t.exitCode != 0) std::fprintf(stderr, "installfrompath %s failed (%d)\n", folder.c_str(), t.exitCode);
        RunTimed({tool, "delete", kKuid}, root.string());
        return t.wall;
    };
    // The first install starts the daemon and its command host; neither is counted.
    install(with);
    std::vector<double> withTimes, withoutTimes, convertTimes;
    for (int r = 0; r < rounds; ++r)
    {
        withTimes.push_back(install(with));
        withoutTimes.push_back(install(without));
        const Timing c = RunTimed({tool, "compresstexture", alone.string()}, root.string());
        if (c.exitCode != 0) std::fprintf(stderr, "compresstexture of the asset failed (%d)\n", c.exitCode);
        convertTimes.push_back(c.wall);
    }
    RunTimed({tool, "closevaddaemon"}, root.string());
    std::printf("install: textures in the asset,%zu\n", pictures.size());
    std::printf("install: installfrompath with textures s,%s\n", Rounds(withTimes).c_str());
    std::printf("install: installfrompath without descriptions s,%s\n", Rounds(withoutTimes).c_str());
    std::printf("install: compresstexture of the asset alone s,%s\n", Rounds(convertTimes).c_str());
    return Median(withTimes) / (Median(withoutTimes) + Median(convertTimes));
}
