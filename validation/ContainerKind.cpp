// The kind check: prepares the root container of an asset from its configuration and walks it.
#include "core/TextHelpers.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/ValidationHooks.h"

#include "core/InterfaceTextDB.h"

namespace TETLib {
namespace {

// The name of the definition that checks an asset of this kind: three kinds have variants.
Orvo::PString RefineKind(const Orvo::PString& kind, const TDBTagRef& config, float build)
{
    if (kind.View() == "bridge")
    {
        const float height = config.GetChildFloat("height", 0.0f);
        if (height < -0.001f) return Orvo::PString("bridge");
        if (height <= 0.001f) return Orvo::PString("double-track");
        return Orvo::PString("tunnel");
    }
    if (kind.View() == "track")
    {
        if (Build::WholeHundredths(build) >= Build::kOldestSupported) return Orvo::PString("track");
        if (config.HasChild("chunky_mesh")) return Orvo::PString("chunky-track");
        if (config.HasChild("unit_mesh")) return Orvo::PString("mesh-reducing-track");
        return Orvo::PString("obsolete-track");
    }
    if (kind.View() == "scenery") return Orvo::PString(config.HasChild("trackside") ? "scenery-trackside" : "scenery");
    return kind;
}

}  // namespace

bool Container::CheckKind(TDBTagRef config)
{
    DataManager* manager = &manager_;
    const float build = config.GetChildFloat("velmar-build", Build::kMissing) + Build::kReadMargin;
    manager->SetAssetBuild(build);
    manager->SetAlias(false);
    if (Build::RoundedHundredths(build) < Build::kOldestSupported)
    {
        Orvo::String text(InterfaceTextDB::GetString("$tet_obsolete_asset").View());
        ExpandTextMacro(text, "LOWEST_VELMARBUILD", "2.9");
        Errors().Warning(Orvo::PString(text.View()));
    }

    if (ConfigNormaliserFn normalise = manager_.Plugins().GetConfigNormaliser()) normalise(manager_, config);

    const Orvo::PString kind(config.GetChildString("kind").View());
    if (kind.empty())
    {
        ReportError(Errors(), "$tet_container_nokindtag");
        return false;
    }
    const Orvo::PString refined = RefineKind(kind, config, build);
    const TDBTagRef definition = GetKindTemplate(refined);
    if (definition.IsNull())
    {
        ReportError(Errors(), "$tet_container_nokindspecification");
        return false;
    }

    config_ = config;
    parent_ = nullptr;
    index_ = 0;
    name_ = refined;
    definitionName_ = refined;
    topLevel_ = true;
    LoadTemplate(definition, true);
    LoadContainerRules(definition, this);

    if (config.HasChild("alias"))
    {
        manager->SetAlias(true);
        ReportWarning(Errors(), "$tet_container_alias");
    }
    return CheckTags(config, definition, this);
}

}  // namespace TETLib
