// The sound rule through assets of our kinds: the distance a sound is heard at, the files its lists name,
// and the wave files themselves.
#include "WaveBytes.h"

#include "validation/rules/SoundRule.h"
#include "validation/tests/ValidationTestSupport.h"

namespace validation_test {
namespace {

using namespace wave_bytes;

const std::string kMesh = "mesh-table\n{\n  default\n  {\n    mesh \"box.im\"\n    auto-create 1\n  }\n}\n";

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
        TETLib::RegisterSoundCheck();
        WriteFile("asset/box.im", "x");
        WriteFile("asset/bell.wav", CanonicalWave());
        WriteFile("asset/Horn.WAV", CanonicalWave());
        WriteFile("asset/sound/wind.wav", CanonicalWave());
        WriteFile("asset/nodata.wav", Riff(Chunk("fmt ", PcmFormat())));
        WriteFile("asset/cut.wav", CanonicalWave().substr(0, 100));
        WriteFile("asset/folder.wav/x", "");
    }
    void TearDown() override
    {
        TETLib::SetSoundCheck(nullptr);
        ValidationTest::TearDown();
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
        {"missing file",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"gone.wav\"\n"),
         {"! $tet_val_file_dne FILE=gone.wav"}},
        {"no data chunk",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"nodata.wav\"\n"),
         {"- $tet_val_sound_file_load_failed FILE=nodata.wav REASON=it has no sample data (\"data\" chunk)"}},
        {"cut short",
         Head("scenery") + kMesh + Sounds(distance, "      0 \"cut.wav\"\n"),
         {"- $tet_val_sound_file_load_failed FILE=cut.wav REASON=its \"data\" chunk claims 400 bytes but only 56 "
          "remain"}},
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

}  // namespace
}  // namespace validation_test
