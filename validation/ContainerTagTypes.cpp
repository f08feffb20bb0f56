// Tag type assignment: the type code a tag's definition gives it, the settings later checks need, and
// the value checks of booleans and fixed choice lists.
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"

#include <string_view>

namespace TETLib {
namespace {

// Tags a new asset takes from the author's personal details.
const Orvo::PString* PersonalDetail(const PersonalDetails& details, std::string_view name)
{
    if (name == "license") return &details.licence;
    if (name == "author") return &details.author;
    if (name == "contact-email") return &details.email;
    if (name == "contact-website" || name == "website") return &details.website;
    if (name == "organisation") return &details.organisation;
    return nullptr;
}

bool IsAssetSource(std::string_view source)
{
    return source == "mesh-table" || source == "attached-track" || source == "queues";
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool InList(const DataManager& manager, const Orvo::PString& listName, std::string_view value)
{
    const std::vector<ListEntry>* list = manager.GetList(listName);
    if (list == nullptr) return false;
    for (const ListEntry& e : *list)
        if (Orvo::EqualsNoCase(e.value.View(), value)) return true;
    return false;
}

struct TypeWord
{
    const char* word;
    int code;
};

// The type words whose handling is only their code.
constexpr TypeWord kPlainTypes[] = {
    {"vector2", kTagVector2}, {"vector3", kTagVector3}, {"rgb", kTagVector3},         {"vector4", kTagVector4},
    {"vector5", kTagVector5}, {"vector6", kTagVector6}, {"floatlist", kTagFloatList},
};

}  // namespace

bool Container::IsComboBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const
{
    return InList(manager_, Orvo::PString(definition.GetChildString("source").View()), value.View());
}

bool Container::IsIntComboBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const
{
    return IsComboBoxChoice(value, definition);
}

bool Container::IsListBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const
{
    const Orvo::PString source(definition.GetChildString("source").View());
    std::string_view rest = value.View();
    for (;;)
    {
        const size_t cut = rest.find(';');
        if (InList(manager_, source, rest.substr(0, cut))) return true;
        if (cut == std::string_view::npos) return false;
        rest.remove_prefix(cut + 1);
    }
}

bool Container::AssignTagType(Tag& tag, const TDBTagRef& definition, const TDBTagRef* config, Container& owner)
{
    DataManager* manager = &manager_;
    tag.SetDefinition(definition);
    tag.SetStrict(definition.GetChildFloat("compulsory", 0.0f) != 0.0f);
    const Orvo::String typeText = definition.GetChildString("type");
    const std::string_view type = typeText.View();
    const bool disabled = definition.GetChildInt("disabled", 0) != 0;

    if (type == "string")
    {
        tag.SetTypeCode(kTagString);
        if (config == nullptr)
        {
            if (const Orvo::PString* detail = PersonalDetail(manager->GetPersonalDetails(), tag.GetName().View()))
                tag.SetValue(*detail);
        }
        tag.SetDisabled(disabled);
        if (definition.HasChild("filter")) tag.SetFilter(Orvo::PString(definition.GetChildString("filter").View()));
        return true;
    }
    if (type == "string-token" || type == "int" || type == "float")
    {
        tag.SetTypeCode(type == "float" ? kTagFloat : type == "int" ? kTagInt : kTagStringToken);
        tag.SetDisabled(disabled);
        return true;
    }
    if (type == "bool")
    {
        tag.SetTypeCode(kTagBool);
        const std::string_view v = tag.GetValue().View();
        if (!v.empty() && v != "0" && v != "1")
            ReportWarning(&tag, "$tet_container_notboolean",
                          {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", owner.GetName().View()}});
        return true;
    }
    if (type == "listbox")
    {
        tag.SetTypeCode(kTagListBox);
        if (!tag.GetValue().empty() && !IsListBoxChoice(tag.GetValue(), definition)) tag.SetValue(Orvo::PString());
        return true;
    }
    if (type == "combobox")
    {
        tag.SetTypeCode(kTagComboBox);
        const Orvo::PString source(definition.GetChildString("source").View());
        if (source.View() == "attachment")
        {
            if (definition.GetChildInt("unique", 0) != 0)
                manager->AppendUniqueAttachmentTag(&tag);
            else
                manager->AppendAttachmentTag(&tag);
            tag.SetChoiceSource(source);
        }
        else if (IsAssetSource(source.View()))
        {
            manager->RegisterSourceTag(source, &tag);
            tag.SetChoiceSource(source);
        }
        else if (!tag.GetValue().empty() && !IsComboBoxChoice(tag.GetValue(), definition))
            tag.SetValue(Orvo::PString());
        return true;
    }
    if (type == "intcombobox")
    {
        tag.SetTypeCode(kTagIntComboBox);
        if (!tag.GetValue().empty() && !IsIntComboBoxChoice(tag.GetValue(), definition)) tag.SetValue(Orvo::PString());
        return true;
    }
    if (type == "kuid")
    {
        tag.SetTypeCode(kTagKUID);
        if (tag.GetValue().empty()) tag.SetValue(KUID::ToText(KUID::Null()));
        return true;
    }
    if (type == "filepath" || type == "filepathedit")
    {
        tag.SetTypeCode(type == "filepath" ? kTagFilePath : kTagFilePathEdit);
        tag.SetDataType(Orvo::PString(definition.GetChildString("datatype").View()));
        tag.SetFilePath(true);
        if (tag.GetName().View() == "script") return true;
        if (config != nullptr && config->HasChild("mesh-asset"))
        {
            manager->SetMeshAsset(true);
            return true;
        }
        if (tag.GetValue().empty()) return true;
        Orvo::File::Path path = manager->GetAssetFolder();
        path.AddPath(tag.GetValue().View());
        if (ValidationMesh* mesh = manager->LoadMeshForOwner(path, owner)) owner.mesh_ = mesh;
        return true;
    }
    for (const TypeWord& t : kPlainTypes)
    {
        if (type == t.word)
        {
            tag.SetTypeCode(t.code);
            return true;
        }
    }
    if (type == "doublestring" || type == "stringkuid" || type == "stringkuidbrowser")
    {
        tag.SetTypeCode(type == "doublestring" ? kTagDoubleString
                        : type == "stringkuid" ? kTagStringKUID
                                               : kTagStringKUIDBrowser);
        return false;
    }
    if (type == "kuidbrowser")
    {
        tag.SetTypeCode(kTagKUIDBrowser);
        if (definition.HasChild("category"))
            tag.SetCategory(Orvo::PString(definition.GetChildString("category").View()));
        if (definition.HasChild("filter")) tag.SetFilter(Orvo::PString(definition.GetChildString("filter").View()));
        return true;
    }

    // No type: no definition, or a word this program does not know.
    tag.SetTypeCode(kTagText);
    const std::string_view name = tag.GetName().View();
    const float build = manager->GetAssetBuild();
    if ((name == "!" || name == "rem" || name == ";") && Build::IsBelow(build, 2.5f)) return true;
    bool obsolete = StartsWith(name, "category-region-") || StartsWith(name, "category-era-");
    for (const Orvo::PString& o : obsoleteTagNames_) obsolete = obsolete || o.EqualsNoCase(tag.GetName());
    const std::initializer_list<MessageParam> params = {{"TAG_NAME", name}, {"CONT_NAME", owner.GetName().View()}};
    if (obsolete)
        ReportBySeverity(Build::WholeHundredths(build) >= Build::kOldestSupported, &tag, "$tet_container_obsoletetag",
                         params);
    else
        ReportError(&tag, "$tet_container_nodefinition", params);
    return true;
}

}  // namespace TETLib
