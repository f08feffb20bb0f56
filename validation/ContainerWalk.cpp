// The check walk: one configuration container against its definition, making the tags and nested
// containers of the target container and reporting every disagreement.
#include "engine/TextCase.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"

#include <cctype>
#include <string>

namespace TETLib {
namespace {

std::string LowerKey(std::string_view name)
{
    std::string key(name);
    Orvo::LowerInPlace(key);
    return key;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && Orvo::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSmokeSetting(std::string_view name)
{
    for (const char* s : {"lifetime", "maxsize", "minsize", "rate", "velocity"})
        if (Orvo::EqualsNoCase(name, s)) return true;
    return false;
}

}  // namespace

// What one level of the walk keeps while it runs.
struct Container::Walk
{
    const TDBTagRef& config;
    TDBTagRef definition;
    std::vector<NamedDefinition> inherited;  // in merge order: each base after its own bases
    Container* target;
    CompulsoryMap compulsoryTags;
    CompulsoryMap compulsoryContainers;
    int childCount = 0;
};

bool Container::CheckTags(const TDBTagRef& config, const TDBTagRef& definition, Container* target)
{
    Walk walk{config, definition, CollectInherited(definition), target, {}, {}, 0};

    // Compulsory entries: the bases' first, the definition's own last, so that its own build wins.
    for (const NamedDefinition& base : walk.inherited)
    {
        CollectCompulsoryTags(base.definition, walk.compulsoryTags);
        CollectCompulsoryContainers(base.definition, walk.compulsoryContainers);
    }
    CollectCompulsoryTags(walk.definition, walk.compulsoryTags);
    CollectCompulsoryContainers(walk.definition, walk.compulsoryContainers);

    ApplyObsoleteTags(walk.definition);
    for (NamedDefinition& base : walk.inherited) ApplyObsoleteTags(base.definition);

    for (size_t i = 0; i < config.GetChildCount(); ++i)
    {
        const Orvo::PString& name = config.GetChildName(i);
        if (Errors().WantsTrace()) Trace(target, std::string("we're now doing the tag: ") + name.str());
        if (config.GetChildTypeAt(i) == kACSContainer)
        {
            // A compulsory container that is there is not missing, whichever form its entry takes.
            walk.compulsoryContainers.erase(LowerKey(name.View()));
            if (!WalkContainerChild(walk, name, config.GetChildAt(i))) return false;
        }
        else
        {
            walk.compulsoryTags.erase(LowerKey(name.View()));
            WalkValueChild(walk, name, i);
        }
    }

    // Compulsory tags the configuration lacks, in name order.
    for (const auto& [key, entry] : walk.compulsoryTags)
    {
        const TDBTagRef definitionEntry = FindDefinitionInTemplates(entry.name, walk.definition, walk.inherited);
        if (IsSmokeSetting(key) && target->FindTag("file") != nullptr) continue;
        if (!IsRequiredForBuild(entry.build))
        {
            ReportWarning(Errors(), "$tet_container_missingtag", {{"TAG_NAME", entry.name.View()}});
            continue;
        }
        if (target->FindTag(entry.name.View()) != nullptr) continue;
        Tag* tag = FindOrCreateTag(target, entry.name, definitionEntry, &config);
        if (tag == nullptr) continue;
        if (!tag->IsMarked()) ReportError(tag, "$tet_container_missingtag", {{"TAG_NAME", entry.name.View()}});
        target->AddTag(tag);
    }
    for (const auto& [key, entry] : walk.compulsoryContainers)
    {
        ReportBySeverity(IsRequiredForBuild(entry.build), Errors(), "$tet_container_missingcontainer",
                         {{"CONT_NAME", entry.name.View()}});
    }
    // Each container read puts its key tags first (not only the walking one: a nested container's key
    // tags would otherwise never be exported).
    target->MoveKeyTagsFirst();
    return true;
}

bool Container::StartChild(Container* child, const TDBTagRef& childConfig, const TDBTagRef& childDefinition,
                           Container* target)
{
    manager_.RegisterContainer(target->GetName(), child);
    child->LoadTemplate(childDefinition, true);
    LoadContainerRules(childDefinition, child);
    target->AddChildContainer(child);
    return CheckTags(childConfig, childDefinition, child);
}

bool Container::WalkContainerChild(Walk& walk, const Orvo::PString& name, const TDBTagRef& child)
{
    Container* target = walk.target;
    // Extension data is the author's own: kept whole, not checked.
    if (name.EqualsNoCase(std::string_view("extensions")))
    {
        auto* extensions = new Container(manager_);
        extensions->name_ = name;
        extensions->definitionName_ = name;
        extensions->parent_ = target;
        extensions->index_ = walk.childCount++;
        extensions->config_ = child;
        extensions->SetExtensions(child);
        target->AddChildContainer(extensions);
        return true;
    }

    TDBTagRef entry;
    bool found = FindTagDefinition(name, walk.definition, entry);
    for (auto it = walk.inherited.rbegin(); !found && it != walk.inherited.rend(); ++it)
        found = FindTagDefinition(name, it->definition, entry);
    if (!found)
    {
        bool obsolete = false;
        if (!walk.inherited.empty())
        {
            for (const Orvo::PString& o : obsoleteTagNames_) obsolete = obsolete || o.EqualsNoCase(name);
        }
        if (obsolete)
        {
            ReportWarning(Errors(), "$tet_container_obsoletetag",
                          {{"TAG_NAME", name.View()}, {"CONT_NAME", target->GetName().View()}});
            return true;
        }
        ReportError(target, "$tet_container_nodefinition",
                    {{"TAG_NAME", name.View()}, {"CONT_NAME", target->GetName().View()}});
        if (name.View() == ".cache") ReportError(Errors(), "$tet_container_oldcontainer");
        return true;
    }

    const Orvo::String kind = entry.GetChildString("kind");
    if (entry.HasChild("container-type0"))
    {
        const Orvo::PString childKind(child.GetChildString("kind").View());
        const Orvo::PString type = SelectContainerType(entry, childKind);
        if (Errors().WantsTrace()) Trace(target, std::string("we're now up to ") + type.str());
        Container* made = CreateChildContainer(name, target, walk.childCount++, type, child);
        if (made == nullptr) return false;
        return StartChild(made, child, GetTemplateContainer(type), target);
    }
    if (kind.View() == "element")
    {
        const Orvo::PString type(entry.GetChildString("element-type").View());
        Container* made = CreateChildContainer(name, target, walk.childCount++, type, child);
        if (made == nullptr) return false;
        return StartChild(made, child, GetTemplateContainer(type), target);
    }
    if (entry.GetChildString("icon").View() == "smoke")
    {
        Container* made = CreateChildContainer(name, target, walk.childCount++, Orvo::PString("smoke"), child);
        if (made == nullptr) return false;
        return StartChild(made, child, entry, target);
    }
    if (kind.View() == "value" && entry.HasChild("type"))
    {
        ReportError(target, "$tet_container_notacontainer",
                    {{"TAG_NAME", name.View()}, {"TYPE", entry.GetChildString("type").View()}});
        return true;
    }
    ReportError(target, "$tet_container_errorintemplate", {{"KIND", kind.View()}});
    return true;
}

void Container::WalkValueChild(Walk& walk, const Orvo::PString& name, size_t index)
{
    Container* target = walk.target;
    Orvo::PString lookup = name;
    if (StartsWithNoCase(name.View(), "description-"))
        lookup = Orvo::PString("description");
    else if (StartsWithNoCase(name.View(), "username-"))
        lookup = Orvo::PString("username");

    TDBTagRef entry = FindDefinitionInTemplates(lookup, walk.definition, walk.inherited);
    const std::string_view n = lookup.View();
    if (entry.IsNull())
    {
        std::string numbered;
        if (n.size() > 3 && IsDigit(n[n.size() - 1]) && IsDigit(n[n.size() - 2]))
            numbered = std::string(n.substr(0, n.size() - 2)) + "0";
        else if (n.size() > 2 && IsDigit(n.back()))
            numbered = std::string(n.substr(0, n.size() - 1)) + "0";
        if (!numbered.empty())
        {
            const TDBTagRef family =
                FindDefinitionInTemplates(Orvo::PString(numbered), walk.definition, walk.inherited);
            if (!family.IsNull() && family.GetChildInt("sequence", 0) != 0) entry = family;
        }
    }

    // Every configuration child is one tag, owned once: a second child of the same name gets a tag of
    // its own (so "uniquenames" can see it) rather than the first child's.
    Tag* tag = CreateTag(static_cast<int>(target->tags_.size()), target, name);
    Orvo::String value = walk.config.GetChildAt(index).GetString();
    if (value.empty() && entry.HasChild("default"))
    {
        const Orvo::String def = entry.GetChildString("default");
        tag->SetValue(def.View() == "parent" ? target->GetName() : Orvo::PString(def.View()));
    }
    else
        tag->SetValue(Orvo::PString(value.View()));
    AssignTagType(*tag, entry, &walk.config, *target);
    tag->AttachValidationRules(entry);
    target->AddTag(tag);
}

}  // namespace TETLib
