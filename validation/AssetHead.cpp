#include "validation/AssetHead.h"

#include "assetdb/ResultsLog.h"
#include "core/CodePageText.h"
#include "core/ConfigFile.h"
#include "core/InterfaceTextDB.h"
#include "core/VelmarProperty.h"
#include "engine/ConfigFileBound.h"
#include "engine/ConfigParser.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/ValidationHooks.h"

#include <memory>
#include <vector>

namespace TETLib {
namespace {

VelmarPropertyRef AssetSource(const KUID& kuid)
{
    return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid));
}

// Copies the error handler's warnings and errors into the log, in the order they were recorded.
void PostMessages(const ErrorHandler& handler, ResultsLog& log, const KUID& kuid)
{
    const VelmarPropertyRef source = AssetSource(kuid);
    for (const ValidationMessage* m : handler.GetMessages())
    {
        if (m->severity == kSeverityMessage) continue;
        log.PostResult(static_cast<uint32_t>(m->severity), source, m->text.View());
    }
}

void PostError(ResultsLog& log, const KUID& kuid, std::string_view text)
{
    log.PostResult(kResultError, AssetSource(kuid), text);
}

// Why a configuration file did not load, for the user.
std::string ReadFailure(const Orvo::File::Path& path, ConfigFileResult result)
{
    if (result == ConfigFileResult::kSyntaxError)
    {
        std::string text;
        if (Orvo::File::ReadFile(path.View(), text, Orvo::ConfigParser::kMaxFileSize))
        {
            Orvo::ConfigParser parser;
            if (parser.ParseText(text, path.GetFileName().View()) != Orvo::ConfigParser::Ok) return parser.GetError();
        }
    }
    switch (result)
    {
    case ConfigFileResult::kNotValid: return "it is not a configuration file";
    case ConfigFileResult::kDamaged: return "the file is damaged";
    case ConfigFileResult::kNewerVersion: return "it was written by a newer version";
    case ConfigFileResult::kTooLarge: return "it is " + Orvo::ConfigFileTooLargeReason();
    default: return "it cannot be read";
    }
}

}  // namespace

Orvo::PString Utf8ToAnsiPString(std::string_view text)
{
    if (text.empty()) return Orvo::PString();
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const int needed = ConvertCodePageInPlace(buffer.data(), static_cast<int>(buffer.size()), 65001, 0);
    if (needed > 0)
    {
        buffer.resize(static_cast<size_t>(needed) + 1, '\0');
        ConvertCodePageInPlace(buffer.data(), static_cast<int>(buffer.size()), 65001, 0);
    }
    return Orvo::PString(buffer.data());
}

bool CheckAssetHead(const Orvo::PString& sourceName, const Orvo::File::Path& configPath, ResultsLog& log,
                    Container& root)
{
    DataManager* manager = &root.Manager();
    manager->LoadTemplates();
    Orvo::File::Path folder = configPath;
    folder.DelName();
    manager->SetCurrentAsset(sourceName, folder);
    manager->Errors().ClearMessages();

    TDBTagRef config;
    const ConfigFileResult read = LoadConfigFileEx(config, {}, configPath.View());
    const KUID kuid = read == ConfigFileResult::kOK ? config.GetChildKUID("kuid", KUID::Null()) : KUID::Null();
    manager->SetAssetKUID(kuid, !kuid.IsNull());
    if (read != ConfigFileResult::kOK)
    {
        PostError(log, kuid,
                  FillMessage(InterfaceTextDB::GetString("$tet_config_unreadable").View(),
                              {{"FILE", configPath.View()}, {"REASON", ReadFailure(configPath, read)}}));
        return false;
    }
    // Templates that cannot be trusted would give a verdict that cannot be either.
    if (!manager->GetTemplateProblems().empty())
    {
        for (const std::string& problem : manager->GetTemplateProblems()) PostError(log, kuid, problem);
        return false;
    }

    const int32_t hundredths = Build::RoundedHundredths(config.GetChildFloat("velmar-build", Build::kMissing));
    if (hundredths > Build::kNewestKnown)
    {
        PostError(log, kuid, Utf8ToAnsiPString(InterfaceTextDB::GetString("$tet_future_asset").View()).View());
        return false;
    }
    const Orvo::String kind = config.GetChildString("kind");
    for (const auto& [obsoleteKind, key] :
         {std::pair{"water", "$tet_obsolete_water"}, std::pair{"tintbay-skin", "$tet_obsolete_tintbay"}})
    {
        if (!Orvo::EqualsNoCase(kind.View(), obsoleteKind)) continue;
        log.PostResult(kResultWarning, AssetSource(kuid),
                       Utf8ToAnsiPString(InterfaceTextDB::GetString(key).View()).View());
        return true;
    }
    if (hundredths >= Build::kOldestSupported && kuid.userId >= 0 && !manager->Plugins().IsValidUserId(kuid.userId))
        PostError(log, kuid, InterfaceTextDB::GetString("$tet_invalid_kuid_userid").View());

    const bool result = root.CheckKind(config);
    PostMessages(manager->Errors(), log, kuid);
    return result;
}

bool ValidateContainerAndPost(Container& root, ResultsLog& log)
{
    if (root.GetConfigTag().GetChildCount() == 0) return true;
    root.Errors().ClearMessages();
    bool passed = true;
    if (TextureFolderCheckFn check = root.Manager().Plugins().GetTextureFolderCheck())
        passed = check(root.Manager().GetAssetFolder(), root);
    TDBTagRef out = TDBTagRef::NewContainer();
    if (!root.Export(out)) passed = false;
    // The root's rules run also after a failed export: one finding must not hide another.
    if (!root.RunValidationRules()) passed = false;
    PostMessages(root.Errors(), log, root.GetConfigTag().GetChildKUID("kuid", KUID::Null()));
    return passed;
}

}  // namespace TETLib
