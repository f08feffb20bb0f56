// Replays the fuzz corpus kept in the tree through every mesh reader (under the sanitizers).
#include "render/fuzz/MeshFuzzTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TEST(MeshFuzzCorpus, EveryInputRunsThroughItsReader)
{
    const std::filesystem::path root = std::filesystem::path(VELMAR_SOURCE_DIR) / "render/fuzz/corpus";
    size_t inputs = 0;
    for (const std::string& target : MeshFuzzTargetNames())
    {
        const std::filesystem::path folder = root / target;
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
        {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            RunMeshFuzzTarget(target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 10u);
}
