// Asset validation speed on a folder of generated assets (clean assets of every kind we define):
//   library:    validations per second in this process, templates loaded once (ValidateConfig)
//   templates:  loading and checking our templates and lists, in ms
//   first:      the first "validate" in a fresh installation: the daemon starts a command host, which
//               loads the templates; then the second, warm one, in ms
//   end to end: a batch file of "validate" lines in one tool run, through the daemon and the command
//               host, in validations per second
// Usage: bench_validation [assets=299] [library passes=5] [first runs=3]
#include "assetdb/ResultsLog.h"
#include "core/InterfaceTextDB.h"
#include "engine/File.h"
#include "tests/e2e/E2EHarness.h"
#include "tests/e2e/ValidationSamples.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidateAsset.h"
#include "validation/ValidationHooks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

std::vector<e2e::SampleAsset> Assets(int count)
{
    std::vector<e2e::SampleAsset> out;
    for (int round = 0; static_cast<int>(out.size()) < count; ++round)
        for (e2e::SampleAsset& a :
             e2e::CleanSamples(940001, 100 + static_cast<int>(out.size()), "-" + std::to_string(round)))
            if (static_cast<int>(out.size()) < count) out.push_back(std::move(a));
    return out;
}

void WriteAssets(const std::vector<e2e::SampleAsset>& assets, const std::string& folder)
{
    for (const e2e::SampleAsset& a : assets)
    {
        fs::create_directories(folder + "/" + a.folder);
        Orvo::File::WriteFile(folder + "/" + a.folder + "/config.txt", a.config);
        for (const auto& [name, text] : a.files) Orvo::File::WriteFile(folder + "/" + a.folder + "/" + name, text);
    }
}

bool AnyUserId(int32_t) { return true; }

bool Library(const std::vector<e2e::SampleAsset>& assets, const std::string& scratch, int passes)
{
    const std::string data = scratch + "/TETData";
    fs::copy(std::string(VELMAR_SOURCE_DIR) + "/data/TETData", data, fs::copy_options::recursive);
    InterfaceTextDB::SetFolder(std::string(VELMAR_SOURCE_DIR) + "/data");
    TETLib::ErrorHandler::Initialise();
    TETLib::AssetDatabaseServices services;
    services.isValidUserId = AnyUserId;
    TETLib::SetAssetDatabaseServices(services);
    TETLib::DataManager::Initialise(data);

    const auto loadStart = Clock::now();
    const bool loaded = TETLib::DataManager::Instance()->LoadTemplates();
    const auto loadEnd = Clock::now();
    std::printf("templates   load and check                 %9.2f ms\n", Ms(loadStart, loadEnd));

    WriteAssets(assets, scratch + "/assets");
    bool clean = loaded;
    std::vector<double> rates;
    for (int p = 0; p < passes; ++p)
    {
        const auto start = Clock::now();
        for (const e2e::SampleAsset& a : assets)
        {
            ResultsLog log;
            TETLib::Container root;
            const Orvo::File::Path config(scratch + "/assets/" + a.folder + "/config.txt");
            clean =
                TETLib::ValidateConfig(root, Orvo::PString("local"), config, log) && log.GetResultCount() == 0 && clean;
        }
        rates.push_back(double(assets.size()) * 1000.0 / Ms(start, Clock::now()));
    }
    std::sort(rates.begin(), rates.end());
    std::printf("library     %zu assets x %d passes  median %9.0f validations/s  best %9.0f\n", assets.size(), passes,
                rates[rates.size() / 2], rates.back());
    TETLib::DataManager::Shutdown();
    TETLib::ErrorHandler::Shutdown();
    return clean;
}

bool EndToEnd(const std::vector<e2e::SampleAsset>& assets, int firstRuns)
{
    bool ok = true;
    std::vector<double> first, second;
    for (int r = 0; r < firstRuns; ++r)
    {
        e2e::InstallRoot root;
        ok = root.StartDaemon() && ok;
        WriteAssets({assets.front(), assets[1]}, root.Path("work"));
        ok = root.Run({"installfrompath", root.Path("work")}).exitCode == 0 && ok;
        auto start = Clock::now();
        ok = root.Run({"validate", assets.front().kuid}).out == "OK (0 Errors, 0 Warnings)\n" && ok;
        first.push_back(Ms(start, Clock::now()));
        start = Clock::now();
        ok = root.Run({"validate", assets[1].kuid}).out == "OK (0 Errors, 0 Warnings)\n" && ok;
        second.push_back(Ms(start, Clock::now()));
    }
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    std::printf("first       fresh command host  median %9.2f ms   then warm median %9.2f ms  (%d roots)\n",
                first[first.size() / 2], second[second.size() / 2], firstRuns);

    e2e::InstallRoot root;
    ok = root.StartDaemon() && ok;
    WriteAssets(assets, root.Path("work/assets"));
    ok = root.Run({"installfrompath", root.Path("work/assets")}).exitCode == 0 && ok;
    std::string batch;
    for (const e2e::SampleAsset& a : assets) batch += "validate \"" + a.kuid + "\"\n";
    root.WriteFile("work/validate.txt", batch);
    root.Run({"validate", assets.front().kuid});  // the command host is up before the clock starts
    const auto start = Clock::now();
    const e2e::RunResult r = root.Run({"@" + root.Path("work/validate.txt")}, e2e::RunOptions{{}, {}, 600000});
    const double ms = Ms(start, Clock::now());
    size_t clean = 0;
    for (const std::string& line : e2e::Lines(r.out)) clean += line == "OK (0 Errors, 0 Warnings)";
    ok = clean == assets.size() && ok;
    std::printf("end to end  %zu assets in one batch  %9.0f validations/s  (%zu clean)\n", assets.size(),
                double(assets.size()) * 1000.0 / ms, clean);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : 299;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int firstRuns = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<e2e::SampleAsset> assets = Assets(count);

    std::string scratch = (fs::temp_directory_path() / "velmar-bench-validation-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    const bool library = Library(assets, scratch, passes);
    std::error_code ec;
    fs::remove_all(scratch, ec);
    const bool endToEnd = EndToEnd(assets, firstRuns);
    if (!library || !endToEnd) std::printf("FAILED: an asset did not validate clean\n");
    return library && endToEnd ? 0 : 1;
}
