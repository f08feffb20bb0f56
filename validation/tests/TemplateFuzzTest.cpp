// Damaged templates (and assets), made by seeded random edits of our own: whatever they hold, loading them and
// validating assets against them ends in findings or in template errors, never in a crash, a hang, a
// leaked tag or container, or a pass the templates could not vouch for. VELMAR_FUZZ_ITERATIONS runs a
// longer campaign, VELMAR_FUZZ_SEED another one.
#include "ValidationTestSupport.h"

#include "../../tests/e2e/ValidationSamples.h"
#include "validation/Tag.h"

#include <random>
#include <sstream>

namespace validation_test {
namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> SplitWords(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

// Names that make edits meaningful: definitions, template words and rule names.
const std::vector<std::string> kWords = SplitWords(
    "asset-base mesh-object mesh-table mesh-element scenery inherit subpossibilities tagarray array-element "
    "validation range arraysize uniquenames container-type0 element-type compulsory top-level kind \"value\" "
    "\"element\" { } \" source obsolete-tag -1 1e30");

std::string Mutate(std::string text, std::mt19937& rng)
{
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e)
    {
        std::vector<std::string> lines = SplitLines(text);
        switch (rng() % 7)
        {
        case 0:  // flip a byte
            if (!text.empty()) text[pick(text.size())] ^= static_cast<char>(1 + rng() % 255);
            continue;
        case 1:  // cut the text short
            text.resize(pick(text.size() + 1));
            continue;
        case 2:  // drop a line
            if (!lines.empty()) lines.erase(lines.begin() + pick(lines.size()));
            break;
        case 3:  // repeat a run of lines elsewhere
            if (!lines.empty())
            {
                const size_t from = pick(lines.size());
                const size_t count = 1 + pick(std::min<size_t>(40, lines.size() - from));
                std::vector<std::string> run(lines.begin() + from, lines.begin() + from + count);
                lines.insert(lines.begin() + pick(lines.size() + 1), run.begin(), run.end());
            }
            break;
        case 4:  // put a word in place of a line's text
            if (!lines.empty()) lines[pick(lines.size())] = "  " + std::string(kWords[pick(kWords.size())]);
            break;
        case 5:  // a definition that inherits something, perhaps itself
            lines.push_back(std::string(kWords[pick(5)]) + "\n{\n  inherit\n  {\n    " + kWords[pick(5)] + "\n  }\n}");
            break;
        default:  // swap two lines
            if (lines.size() > 1) std::swap(lines[pick(lines.size())], lines[pick(lines.size())]);
            break;
        }
        text = JoinLines(lines);
    }
    return text;
}

using TemplateFuzzTest = ValidationTest;

TEST_F(TemplateFuzzTest, DamagedTemplatesGiveFindingsOrErrorsNeverACrash)
{
    std::map<std::string, std::string> ours;
    for (const char* file : {"inheritance.txt", "kind.txt", "container.txt", "lists/category-class.txt"})
    {
        std::string text;
        ASSERT_TRUE(Orvo::File::ReadFile(kSourceData + "/TETData/" + file, text));
        ours[file] = text;
    }
    std::vector<e2e::SampleAsset> samples = e2e::CleanSamples(900001, 100);
    for (const e2e::SampleAsset& a : samples)
        for (const auto& [name, text] : a.files) WriteFile("asset/" + name, text);

    const char* env = std::getenv("VELMAR_FUZZ_ITERATIONS");
    const int iterations = env != nullptr ? std::atoi(env) : 100;
    const char* seed = std::getenv("VELMAR_FUZZ_SEED");
    std::mt19937 rng(seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20240517u);
    for (int i = 0; i < iterations; ++i)
    {
        std::map<std::string, std::string> damaged = ours;
        for (auto& [name, text] : damaged)
            if (rng() % 3 == 0) text = Mutate(text, rng);
        UseTemplates(damaged);
        for (int s = 0; s < 3; ++s)
        {
            const e2e::SampleAsset& sample = samples[rng() % samples.size()];
            // The last asset of each round is damaged too.
            const std::vector<std::string> findings = Validate(s < 2 ? sample.config : Mutate(sample.config, rng));
            const bool broken = !Manager().GetTemplateProblems().empty();
            for (const std::string& f : findings)
            {
                ASSERT_TRUE(f.rfind("- ", 0) == 0 || f.rfind("! ", 0) == 0) << "iteration " << i << ": " << f;
            }
            if (broken)
            {
                ASSERT_FALSE(passed_) << "iteration " << i << ": broken templates let " << sample.folder << " pass";
            }
            ASSERT_EQ(Manager().LiveContainerCount(), 0) << "iteration " << i;
        }
        ASSERT_EQ(Manager().LiveTagCount(), 0) << "iteration " << i;
    }
    EXPECT_EQ(Manager().LiveTagCount(), 0);
}

}  // namespace
}  // namespace validation_test
