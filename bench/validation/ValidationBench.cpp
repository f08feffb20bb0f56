// Asset validation speed on a folder of generated assets (clean assets of every kind we define) and on the
// validation sample corpus (data/samples/validation: real images, compiled textures and wave files, and
// mutated copies that each give their one finding), with every check the tool registers:
//   library:    validations per second in this process, templates loaded once (ValidateConfig)
//   corpus:     the same on the corpus and on its mutated copies
//   templates:  loading and checking our templates and lists, in ms
//   first:      the first "validate" in a fresh installation: the daemon starts a command host, which
//               loads the templates; then the second, warm one, in ms
//   end to end: a batch file of "validate" lines in one tool run, through the daemon and the command
//               host, in validations per second, for the generated assets and for the corpus
//   rounds:     (alone, "rounds") the resident memory and the rate over many validations in one process
// Usage: bench_validation [assets=299] [library passes=5] [first runs=3]
//        bench_validation rounds [rounds=43000] [every=1000]
#include "assetdb/ResultsLog.h"
#include "core/InterfaceTextDB.h"
#include "engine/EngineObjects.h"
#include "engine/File.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "render/materials/MeshRenderCaches.h"
#include "render/materials/VelmarMaterialPlugins.h"
#include "tests/e2e/E2EHarness.h"
#include "tests/e2e/ValidationCorpus.h"
#include "tests/e2e/ValidationSamples.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidateAsset.h"
#include "validation/ValidationHooks.h"
#include "validation/mesh/MeshChecks.h"
#include "validation/rules/SoundRule.h"
#include "validation/upgrade/ConfigNormaliser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

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

void AddType(Orvo::PluginType* type) { Orvo::PluginBase::RegisterPluginType(type); }

// The summary of one "validate" without errors or warnings (a message may come before it).
bool CleanSummary(const std::string& out)
{
    return out.size() >= 26 && out.substr(out.size() - 26) == "OK (0 Errors, 0 Warnings)\n";
}

size_t Findings(const ResultsLog& log) { return log.ErrorCount() + log.WarningCount(); }

// Validates each configuration `passes` times; the median and best validations per second. `clean` is
// cleared when an asset does not give the number of findings it should.
void Rates(TETLib::DataManager& manager, const std::vector<std::pair<std::string, size_t>>& configs, int passes,
           bool& clean, double& median, double& best)
{
    std::vector<double> rates;
    for (int p = 0; p < passes; ++p)
    {
        const auto start = Clock::now();
        for (const auto& [path, findings] : configs)
        {
            ResultsLog log;
            TETLib::Container root(manager);
            manager.SetInstalledSource(true);
            TETLib::ValidateConfig(root, Orvo::PString("local"), Orvo::File::Path(path), log);
            if (Findings(log) != findings) clean = false;
        }
        rates.push_back(double(configs.size()) * 1000.0 / Ms(start, Clock::now()));
    }
    std::sort(rates.begin(), rates.end());
    median = rates[rates.size() / 2];
    best = rates.back();
}

// The corpus's assets (from the source tree) and its mutated copies (written below `scratch`).
std::vector<std::pair<std::string, size_t>> CorpusConfigs(const std::string& scratch, bool mutated)
{
    std::vector<std::pair<std::string, size_t>> out;
    if (!mutated)
    {
        for (const e2e::CorpusAsset& a : e2e::CorpusAssets())
            out.emplace_back(e2e::CorpusFolder() + "/" + a.folder + "/config.txt", 0);
        return out;
    }
    int content = 500;
    for (const e2e::Mutation& m : e2e::CorpusMutations())
    {
        const std::string folder = scratch + "/mutated/" + m.name;
        std::string why;
        if (e2e::WriteMutation(m, folder, KUID(940002, content++, 0), why))
            out.emplace_back(folder + "/config.txt", m.Problems());
    }
    return out;
}

// The validation library as the command host starts it: templates from a copy of ours below `scratch`,
// the engine objects and material plug-ins the tool starts (so that meshes load as they do there) and every
// check the tool registers. Prints the template load; false when something did not start.
class LibraryHost
{
public:
    explicit LibraryHost(const std::string& scratch)
    {
        data_ = scratch + "/TETData";
        fs::copy(std::string(VELMAR_SOURCE_DIR) + "/data/TETData", data_, fs::copy_options::recursive);
        InterfaceTextDB::SetFolder(std::string(VELMAR_SOURCE_DIR) + "/data");
        manager_ = TETLib::DataManager::Create(data_, errors_);
        Orvo::RegisterMaterialPlugins(&AddType);
        engine_.os = &os_;
        engine_.renderKernel = &kernel_;
        engine_.resourceSystem = &resources_;
        started_ = manager_ && os_.Init() && kernel_.Init(&os_, nullptr) && manager_->SetupScene(&engine_);
        if (!manager_) return;
        Plug(manager_->Plugins());
        TETLib::RegisterDummyLoadMaterials(*manager_);

        const auto loadStart = Clock::now();
        started_ = manager_->LoadTemplates() && started_;
        std::printf("templates   load and check                 %9.2f ms\n", Ms(loadStart, Clock::now()));
    }
    ~LibraryHost() { manager_.reset(); }
    bool Started() const { return started_; }
    TETLib::DataManager& Manager() { return *manager_; }
    // The library started again on the same engine objects: a new data manager reading the templates, its
    // scene and its placeholder materials.
    bool Restart()
    {
        manager_.reset();
        manager_ = TETLib::DataManager::Create(data_, errors_);
        if (!manager_ || !manager_->SetupScene(&engine_)) return false;
        Plug(manager_->Plugins());
        TETLib::RegisterDummyLoadMaterials(*manager_);
        return manager_->LoadTemplates();
    }

private:
    // What the tool plugs into its data manager at start-up.
    static void Plug(TETLib::ValidationPlugins& plugins)
    {
        TETLib::AssetDatabaseServices services;
        services.isValidUserId = AnyUserId;
        plugins.SetAssetDatabaseServices(services);
        plugins.SetRenderCachesMaker(&AddMeshRenderCaches);
        TETLib::RegisterConfigNormaliser(plugins);
        TETLib::RegisterMeshChecks(plugins);
        TETLib::RegisterSoundCheck(plugins);
    }

    std::string data_;
    Orvo::OS os_{"bench_validation", "-NullRender -LogFile=/dev/null"};
    Orvo::RenderKernel kernel_{nullptr, 1.0f};
    Orvo::ResourceSystem resources_;
    EngineObjects engine_;
    TETLib::ErrorHandler errors_;  // before the manager, which reports into it
    std::unique_ptr<TETLib::DataManager> manager_;
    bool started_ = false;
};

bool Library(const std::vector<e2e::SampleAsset>& assets, const std::string& scratch, int passes)
{
    LibraryHost host(scratch);
    WriteAssets(assets, scratch + "/assets");
    bool clean = host.Started();
    std::vector<std::pair<std::string, size_t>> generated;
    for (const e2e::SampleAsset& a : assets) generated.emplace_back(scratch + "/assets/" + a.folder + "/config.txt", 0);
    double median = 0, best = 0;
    Rates(host.Manager(), generated, passes, clean, median, best);
    std::printf("library     %zu assets x %d passes  median %9.0f validations/s  best %9.0f\n", assets.size(), passes,
                median, best);
    for (const bool mutated : {false, true})
    {
        const auto configs = CorpusConfigs(scratch, mutated);
        Rates(host.Manager(), configs, passes * 20, clean, median, best);
        std::printf("corpus      %zu %s x %d passes  median %9.0f validations/s  best %9.0f\n", configs.size(),
                    mutated ? "mutated copies" : "assets        ", passes * 20, median, best);
    }
    return clean;
}

// Resident memory of this process, in MB.
double ResidentMB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Memory over many rounds in one process: each round validates the next configuration (the generated
// assets, then the corpus and its mutated copies, over and over), first with the templates loaded once (a
// long-lived command host), then with the library started again before each one (templates, scene and
// placeholder materials, as the validation tests do on one engine); the resident memory every `every`
// rounds, with the rate of the rounds since the last line.
bool Rounds(const std::vector<e2e::SampleAsset>& assets, const std::string& scratch, int rounds, int every)
{
    LibraryHost host(scratch);
    WriteAssets(assets, scratch + "/assets");
    std::vector<std::pair<std::string, size_t>> configs;
    for (const e2e::SampleAsset& a : assets) configs.emplace_back(scratch + "/assets/" + a.folder + "/config.txt", 0);
    for (const bool mutated : {false, true})
        for (auto& c : CorpusConfigs(scratch, mutated)) configs.push_back(std::move(c));
    bool clean = host.Started();
    for (const bool restart : {false, true})
    {
        const char* what = restart ? "start-up and validate" : "validate";
        std::printf("rounds      %s, %d rounds over %zu configurations\n", what, rounds, configs.size());
        std::printf("rounds      %6d  resident %8.1f MB\n", 0, ResidentMB());
        auto start = Clock::now();
        for (int r = 1; r <= rounds; ++r)
        {
            const auto& [path, findings] = configs[size_t(r - 1) % configs.size()];
            if (restart && !host.Restart()) clean = false;
            ResultsLog log;
            TETLib::Container root(host.Manager());
            host.Manager().SetInstalledSource(true);
            TETLib::ValidateConfig(root, Orvo::PString("local"), Orvo::File::Path(path), log);
            if (Findings(log) != findings) clean = false;
            if (r % every == 0 || r == rounds)
            {
                const int done = r % every == 0 ? every : r % every;
                std::printf("rounds      %6d  resident %8.1f MB  %9.0f rounds/s\n", r, ResidentMB(),
                            double(done) * 1000.0 / Ms(start, Clock::now()));
                std::fflush(stdout);
                start = Clock::now();
            }
        }
    }
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
        ok = CleanSummary(root.Run({"validate", assets.front().kuid}).out) && ok;
        first.push_back(Ms(start, Clock::now()));
        start = Clock::now();
        ok = CleanSummary(root.Run({"validate", assets[1].kuid}).out) && ok;
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

    // The corpus and its mutated copies, in one batch.
    std::error_code ec;
    fs::copy(e2e::CorpusFolder(), root.Path("work/corpus"), fs::copy_options::recursive, ec);
    fs::remove(root.Path("work/corpus/mutations.txt"), ec);
    fs::remove(root.Path("work/corpus/make-files.py"), ec);
    std::vector<std::string> kuids;
    for (const e2e::CorpusAsset& a : e2e::CorpusAssets()) kuids.push_back(a.kuid);
    int content = 500;
    for (const e2e::Mutation& m : e2e::CorpusMutations())
    {
        const KUID kuid(940002, content++, 0);
        std::string why;
        if (e2e::WriteMutation(m, root.Path("work/corpus/mutated-" + m.name), kuid, why))
            kuids.push_back(KUID::ToText(kuid).str());
    }
    ok = root.Run({"installfrompath", root.Path("work/corpus")}).exitCode == 0 && ok;
    batch.clear();
    for (const std::string& k : kuids) batch += "validate \"" + k + "\"\n";
    root.WriteFile("work/corpus.txt", batch);
    const auto corpusStart = Clock::now();
    const e2e::RunResult c = root.Run({"@" + root.Path("work/corpus.txt")}, e2e::RunOptions{{}, {}, 600000});
    const double corpusMs = Ms(corpusStart, Clock::now());
    size_t summaries = 0;
    for (const std::string& line : e2e::Lines(c.out)) summaries += line.rfind("OK (", 0) == 0;
    ok = summaries == kuids.size() && ok;
    std::printf("end to end  corpus, %zu in one batch  %9.0f validations/s\n", kuids.size(),
                double(kuids.size()) * 1000.0 / corpusMs);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    // bench_validation rounds [rounds=43000] [every=1000]: the memory of many validations in one process.
    const bool roundsMode = argc > 1 && std::string(argv[1]) == "rounds";
    const int count = argc > 1 && !roundsMode ? std::max(2, std::atoi(argv[1])) : 299;
    const int passes = argc > 2 && !roundsMode ? std::max(1, std::atoi(argv[2])) : 5;
    const int firstRuns = argc > 3 && !roundsMode ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<e2e::SampleAsset> assets = Assets(count);

    std::string scratch = (fs::temp_directory_path() / "velmar-bench-validation-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    std::error_code ec;
    if (roundsMode)
    {
        const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 43000;
        const int every = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;
        const bool clean = Rounds(assets, scratch, rounds, every);
        fs::remove_all(scratch, ec);
        if (!clean) std::printf("FAILED: an asset did not give its findings\n");
        return clean ? 0 : 1;
    }
    const bool library = Library(assets, scratch, passes);
    fs::remove_all(scratch, ec);
    const bool endToEnd = EndToEnd(assets, firstRuns);
    if (!library || !endToEnd) std::printf("FAILED: an asset did not validate clean\n");
    return library && endToEnd ? 0 : 1;
}
