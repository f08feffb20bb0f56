// The sound rule through assets of our kinds, beside what the corpus's mutated copies show
// (tests/e2e/ValidationCorpusE2ETest.cpp): ambient sounds, the build gate of the distance, names in any
// case, a folder named like a sound, empty names, a map's sound folder, waves in the shapes writers leave.
#include "WaveBytes.h"

#include "validation/rules/SoundRule.h"
#include "validation/tests/ValidationTestSupport.h"

namespace validation_test {
namespace {

using namespace wave_bytes;

// A sound script of one entry, "bell", with the given tags and sound files.
std::string Sounds(const std::string& tags, const std::string& files)
{
    return "soundscript\n{\n  bell\n  {\n" + tags + "    sound\n    {\n" + files + "    }\n  }\n}\n";
}

class SoundRuleTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        UsePlugins(TETLib::RegisterSoundCheck);
        WriteFile("asset/box.im", "x");
        WriteFile("asset/bell.wav", CanonicalWave());
        WriteFile("asset/Horn.WAV", CanonicalWave());
        WriteFile("asset/sound/wind.wav", CanonicalWave());
        WriteFile("asset/folder.wav/x", "");
        // Shapes of files that writers leave: streamed samples, stray bytes at the end, a short format.
        const std::string fmt = Chunk("fmt ", PcmFormat());
        WriteFile("asset/streamed.wav", Riff(fmt + ChunkClaiming("data", 0xFFFFFFFFu, Samples(400))));
        WriteFile("asset/trailing.wav", CanonicalWave() + std::string(3, '\0'));
        WriteFile("asset/short-ext.wav",
                  Riff(Chunk("fmt ", ExtensibleFormat().substr(0, 18)) + Chunk("data", Samples(400))));
        WriteFile("asset/list.wav", Riff(fmt + ChunkClaiming("LIST", 0xFFFFFFFFu, "INFO") + Chunk("data", Samples(8))));
    }
};

TEST_F(SoundRuleTest, DistanceFilesAndWaves)
{
    const std::string distance = "    distance 5,100\n";
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
    } cases[] = {
        {"a good sound", Head("scenery") + kMesh + Sounds(distance, "      0 \"bell.wav\"\n"), {}},
        {"names in any case",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"HORN.wav\"\n      1 \"Bell.Wav\"\n"),
         {}},
        {"ambient without distance", Head("scenery") + kMesh + Sounds("    ambient 1\n", "      0 \"bell.wav\"\n"), {}},
        {"no distance before 3.4",
         Head("scenery", "3.39") + kMesh + Sounds("    ambient 0\n", "      0 \"bell.wav\"\n"),
         {"! $tet_container_missingtag TAG_NAME=distance"}},
        // From 3.4 the rule stops there: the missing file is not looked for.
        {"no distance from 3.4",
         Head("scenery", "3.4") + kMesh + Sounds("", "      0 \"gone.wav\"\n"),
         {"- $tet_container_missingtag TAG_NAME=distance"}},
        {"streamed, trailing and short-format waves",
         Head("scenery") + kMesh +
             Sounds(distance, "      0 \"streamed.wav\"\n      1 \"trailing.wav\"\n      2 \"short-ext.wav\"\n"),
         {}},
        {"a chunk other than the samples claiming more than the file",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"list.wav\"\n"),
         {"- $tet_val_sound_file_load_failed FILE=list.wav REASON=its \"LIST\" chunk claims 4294967295 bytes but "
          "only 20 remain"}},
        {"a folder",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"folder.wav\"\n"),
         {"- $tet_val_sound_file_load_failed FILE=folder.wav REASON=it is not a file"}},
        {"empty name",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"\"\n"),
         {"! $tet_container_emptystringwarn CONT_NAME=sound TAG_NAME=0",
          "! $tet_container_emptystringwarn CONT_NAME=bell TAG_NAME=0"}},
        {"a map's sounds are in its sound folder",
         Head("map") + "region <kuid:900001:1>\n" + Sounds(distance, "      0 \"wind.wav\"\n      1 \"bell.wav\"\n"),
         {"! $tet_val_file_dne FILE=bell.wav"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.config), c.findings) << c.name;
}

TEST_F(SoundRuleTest, OneCheckLoadsAtMost1024SoundFiles)
{
    // 1024 files fill the check's wave table; the 1025th, a good file, is refused, and so are later ones.
    std::string files;
    for (int i = 0; i < 1024; ++i) files += "      " + std::to_string(i) + " \"bell.wav\"\n";
    const std::string distance = "    distance 5,100\n";
    EXPECT_EQ(Validate(Head("scenery") + kMesh + Sounds(distance, files)), std::vector<std::string>());
    files += "      1024 \"Horn.WAV\"\n      1025 \"bell.wav\"\n";
    const std::string full = " REASON=one sound entry can load at most 1024 sound files, and this is one more";
    EXPECT_EQ(Validate(Head("scenery") + kMesh + Sounds(distance, files)),
              (std::vector<std::string>{"- $tet_val_sound_file_load_failed FILE=Horn.WAV" + full,
                                        "- $tet_val_sound_file_load_failed FILE=bell.wav" + full}));
    // The table lasts for one check: a second entry starts with an empty one.
    const std::string entries = "soundscript\n{\n  a\n  {\n" + distance + "    sound\n    {\n" +
                                files.substr(0, files.find("      1024")) + "    }\n  }\n  b\n  {\n" + distance +
                                "    sound\n    {\n      0 \"Horn.WAV\"\n" + "    }\n  }\n}\n";
    EXPECT_EQ(Validate(Head("scenery") + kMesh + entries), std::vector<std::string>());
}

}  // namespace
}  // namespace validation_test
