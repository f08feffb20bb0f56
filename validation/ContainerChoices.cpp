// The combo box and list box writers: a choice among names the asset itself defines (mesh-table entries,
// attached tracks, queues, attachment points) can only be tested once the whole asset has been read.
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationHooks.h"

#include <string>

namespace TETLib {
namespace {

// The containers from the tag's owner up to the root (which is left out), e.g. "mesh-table/0".
std::string ContainerPath(const Container* owner)
{
    std::string path;
    for (const Container* c = owner; c != nullptr && c->GetParent() != nullptr; c = c->GetParent())
        path = c->GetName().str() + (path.empty() ? "" : "/") + path;
    return path;
}

std::string_view OwnerName(const Tag& tag)
{
    return tag.GetOwner() != nullptr ? tag.GetOwner()->GetName().View() : std::string_view();
}

// Tests a pending choice against the names the asset defines; false after reporting a bad one.
bool CheckPendingChoice(Tag& tag, bool effectsToo)
{
    DataManager* manager = &tag.Manager();
    const Orvo::PString& value = tag.GetValue();
    if (!tag.IsChoicePending() || value.empty() || manager->IsKnownName(value, tag.GetChoiceSource())) return true;
    Container* owner = tag.GetOwner();
    const std::string_view source = tag.GetChoiceSource().View();
    const std::string_view definition = owner != nullptr ? owner->GetDefinitionName().View() : std::string_view();
    bool passed = true;
    auto badAttachment = [&](const ValidationMesh* mesh) {
        ReportError(
            &tag, "$tet_container_notavalidpossibility",
            {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", OwnerName(tag)}, {"MESH_NAME", mesh->GetFilePath()}});
        passed = false;
    };
    if (source == "attachment" && definition == "mesh-element")
    {
        const Tag* parentTag = owner->FindTag("att-parent");
        if (parentTag == nullptr)
        {
            ReportError(&tag, "$tet_container_noattparent", {{"CONT_NAME", OwnerName(tag)}});
            return false;
        }
        if (owner->GetParent() != nullptr)
        {
            for (const Container* sibling : owner->GetParent()->GetChildren())
            {
                if (!sibling->GetName().EqualsNoCase(parentTag->GetValue())) continue;
                if (const ValidationMesh* mesh = manager->GetMeshOf(sibling)) badAttachment(mesh);
            }
        }
        return passed;
    }
    if (effectsToo && source == "attachment" && (definition == "effect-corona" || definition == "effect-attachment"))
    {
        const Container* grandparent = owner->GetParent() != nullptr ? owner->GetParent()->GetParent() : nullptr;
        if (const ValidationMesh* mesh = manager->GetMeshOf(grandparent)) badAttachment(mesh);
        return passed;
    }
    if (manager->MeshFailed() || manager->IsMeshAsset()) return true;
    ReportError(&tag, "$tet_container_notavalidpossibility2",
                {{"TAG_NAME", tag.GetName().View()}, {"TAG_VAL", value.View()}, {"CONT_NAME", ContainerPath(owner)}});
    return false;
}

}  // namespace

bool Container::ExportComboBox(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_container_emptycombobox",
                    {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", OwnerName(tag)}});
        result = false;
    }
    if (!CheckPendingChoice(tag, true)) result = false;
    if (!tag.RunValidationRules()) result = false;
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

bool Container::ExportListBox(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    if (tag.GetValue().empty())
    {
        const bool error = Build::HalfRoundedHundredths(manager_.GetAssetBuild()) >= Build::kEmptyListBox;
        ReportBySeverity(error, &tag, "$tet_container_emptylistbox",
                         {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", OwnerName(tag)}});
        if (error) result = false;
    }
    if (!CheckPendingChoice(tag, false)) result = false;
    if (!tag.RunValidationRules()) result = false;
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

}  // namespace TETLib
