#include "validation/rules/SoundRule.h"

#include "core/TFile.h"
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationHooks.h"
#include "validation/rules/WaveFile.h"
#include "validation/rules/WaveTable.h"

#include <string>

namespace TETLib {
namespace {

// From this build a missing distance fails the rule (in rounded hundredths).
constexpr int32_t kDistanceRequired = 340;

// Reads the wave file's chunk structure into the check's wave table; empty when it loaded, else why not.
// Each file is closed once read: the table keeps what was found, not the file.
std::string AddWave(SoundManagerOpenALCWaves& table, const Orvo::File::Path& path)
{
    // Only a regular file is opened: a folder cannot be read, and a pipe would wait for a writer.
    if (!Orvo::File::IsFile(path.View())) return "it is not a file";
    TFile file(path.str(), TFile::kRead);
    if (!file.IsOpen()) return "it cannot be opened";
    uint32_t slot = 0;
    std::string reason;
    if (table.AddWave(&file, &slot, &reason) != kWaveReadOk) return reason.empty() ? "it cannot be read" : reason;
    if (WaveRecord* wave = table.GetWave(slot)) wave->stream = nullptr;
    return {};
}

}  // namespace

bool CheckSounds(Container& container, const TDBTagRef*)
{
    DataManager* manager = &container.Manager();
    const float build = manager->GetAssetBuild();
    const std::string_view name = container.GetName().View();

    const Tag* ambient = container.FindTag("ambient");
    if ((ambient == nullptr || ambient->GetValue().View() != "1") && container.FindTag("distance") == nullptr)
    {
        const bool required = Build::RoundedHundredths(build) >= kDistanceRequired;
        ReportBySeverity(required, &container, "$tet_container_missingtag", {{"TAG_NAME", "distance"}});
        if (required) return false;
    }

    Orvo::File::Path folder = manager->GetAssetFolder();
    if (container.GetRoot()->GetConfigTag().GetChildString("kind").View() == "map") folder.AddPath("sound");
    const bool strict = !Build::IsBelow(build, Build::kGate3_8);
    // The files of this check, the 1025th and later refused: the table lasts as long as the check.
    SoundManagerOpenALCWaves table;
    for (const Container* child : container.GetChildren())
    {
        if (!child->GetName().EqualsNoCase(std::string_view("sound"))) continue;
        for (const Tag* tag : child->GetTags())
        {
            const std::string_view value = tag->GetValue().View();
            if (value.empty())
            {
                ReportBySeverity(strict, &container, "$tet_container_emptystringwarn",
                                 {{"TAG_NAME", tag->GetName().View()}, {"CONT_NAME", name}});
                continue;
            }
            // The name as written: the engine's lookup finds the file in whatever case it was saved.
            Orvo::File::Path path = folder;
            path.AddPath(value);
            if (!Orvo::File::Exists(path.View()))
            {
                ReportBySeverity(strict, &container, "$tet_val_file_dne", {{"FILE", value}});
                continue;
            }
            const std::string fault = AddWave(table, path);
            if (!fault.empty())
                ReportError(&container, "$tet_val_sound_file_load_failed", {{"FILE", value}, {"REASON", fault}});
        }
    }
    return true;
}

void RegisterSoundCheck(ValidationPlugins& plugins) { plugins.SetSoundCheck(CheckSounds); }

}  // namespace TETLib
