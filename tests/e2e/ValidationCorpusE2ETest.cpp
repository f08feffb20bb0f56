// The validation sample corpus through the real tool and daemon: every asset of it validates clean, and
// every mutated copy gives exactly the findings its mutation names (or none), installed from a folder and
// validated in one batch run.
#include "E2EFixture.h"
#include "ValidationCorpus.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

using ValidationCorpusE2E = DaemonRootTest;

TEST_F(ValidationCorpusE2E, CorpusValidatesCleanAndEachMutationGivesItsFinding)
{
    const std::vector<CorpusAsset> assets = CorpusAssets();
    const std::vector<Mutation> mutations = CorpusMutations();
    ASSERT_GE(assets.size(), 23u);
    ASSERT_GE(mutations.size(), 20u);

    struct Expected
    {
        std::string name;
        std::string kuid;
        std::vector<std::string> lines;
    };
    std::vector<Expected> expected;
    std::filesystem::create_directories(root_.Path("work/assets"));
    for (const CorpusAsset& a : assets)
    {
        std::filesystem::copy(CorpusFolder() + "/" + a.folder, root_.Path("work/assets/" + a.folder),
                              std::filesystem::copy_options::recursive);
        expected.push_back({a.folder, a.kuid, {}});
    }
    int content = 500;
    for (const Mutation& m : mutations)
    {
        const KUID kuid(930002, content++, 0);
        std::string why;
        ASSERT_TRUE(WriteMutation(m, root_.Path("work/assets/mutated-" + m.name), kuid, why)) << m.name << ": " << why;
        Expected e{m.name, KUID::ToText(kuid).str(), {}};
        for (const Finding& f : m.findings)
            e.lines.push_back((f.severity == "error"     ? "- "
                               : f.severity == "warning" ? "! "
                                                         : "; ") +
                              e.kuid + " : " + InterfaceText(f.key, f.params));
        ASSERT_TRUE(std::any_of(assets.begin(), assets.end(), [&](const CorpusAsset& a) {
            return a.folder == m.asset;
        })) << m.name;
        expected.push_back(e);
    }

    RunResult install = Run({"installfrompath", "assets"});
    ASSERT_EQ(install.exitCode, 0) << install.out;
    std::string batch;
    for (const Expected& e : expected) batch += "validate \"" + e.kuid + "\"\n";
    root_.WriteFile("work/validate.txt", batch);
    const RunResult r = Run({"@validate.txt"});

    const std::vector<std::vector<std::string>> blocks = BatchBlocks(r.out);
    ASSERT_EQ(blocks.size(), expected.size()) << r.out << r.err;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(blocks[i], expected[i].lines) << expected[i].name;
}

// Every sample of data/samples (the README's first samples, the built-in pack and the corpus), installed
// through the tool, validates clean: their meshes are the program's own, their textures compiled as installed.
TEST_F(ValidationCorpusE2E, EverySampleInstalledValidatesClean)
{
    RunResult install = Run({"installfrompath", InstallRoot::SamplesDir()});
    ASSERT_EQ(install.exitCode, 0) << install.out;
    EXPECT_EQ(Lines(install.out).back(), "OK (0 Errors, 0 Warnings)");

    const std::vector<std::string> listed = Lines(Run({"searchbycategory", ""}).out);
    std::vector<std::string> kuids;
    for (size_t i = 1; i + 1 < listed.size(); ++i)
    {
        const std::string prefix = "+ #" + std::to_string(i - 1) + " : ";
        ASSERT_EQ(listed[i].rfind(prefix, 0), 0u) << listed[i];
        kuids.push_back(listed[i].substr(prefix.size()));
    }
    for (const char* first :
         {"<kuid:900001:100>", "<kuid:900001:101>", "<kuid:900001:102>", "<kuid2:900001:103:2>", "<kuid:44000:1001>"})
        EXPECT_NE(std::find(kuids.begin(), kuids.end(), first), kuids.end()) << first;
    ASSERT_GE(kuids.size(), CorpusAssets().size() + 5);

    std::string batch;
    for (const std::string& k : kuids) batch += "validate \"" + k + "\"\n";
    root_.WriteFile("work/validate.txt", batch);
    const RunResult r = Run({"@validate.txt"});
    const std::vector<std::vector<std::string>> blocks = BatchBlocks(r.out);
    ASSERT_EQ(blocks.size(), kuids.size()) << r.out << r.err;
    for (size_t i = 0; i < kuids.size(); ++i) EXPECT_EQ(blocks[i], std::vector<std::string>{}) << kuids[i];
}

}  // namespace
}  // namespace e2e
