// Reading template definitions into a container: inheritance, the merged entries, element types and the
// container rules.
#include "engine/TextCase.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/Tag.h"

#include <set>

namespace TETLib {
namespace {

// Deeper inheritance than this is not followed (and the template check reports it).
constexpr size_t kMaxInheritanceDepth = 64;

void CollectBases(const DataManager& manager, const TDBTagRef& definition, std::vector<NamedDefinition>& out,
                  std::vector<std::string>& path, std::set<std::string>& done)
{
    const TDBTagRef inherit = definition.GetChildContainer("inherit");
    for (size_t i = 0; i < inherit.GetChildCount(); ++i)
    {
        const Orvo::PString& name = inherit.GetChildName(i);
        std::string key(name.View());
        Orvo::LowerInPlace(key);
        if (done.count(key) != 0) continue;
        bool cycle = false;
        for (const std::string& p : path) cycle = cycle || p == key;
        if (cycle || path.size() >= kMaxInheritanceDepth) continue;  // the template check reports it
        const TDBTagRef base = manager.GetDefinition(name);
        if (base.IsNull()) continue;  // an unknown name contributes nothing (the template check reports it)
        path.push_back(key);
        CollectBases(manager, base, out, path, done);
        path.pop_back();
        done.insert(key);
        out.push_back({name, base});
    }
}

// Puts every child of `from` into `into` under its name, replacing a child of that name.
void MergeChildren(TDBTagRef& into, const TDBTagRef& from)
{
    for (size_t i = 0; i < from.GetChildCount(); ++i)
    {
        const Orvo::PString& name = from.GetChildName(i);
        into.RemoveChild(name);
        into.AddChildTag(name, from.GetChildAt(i));
    }
}

}  // namespace

std::vector<NamedDefinition> Container::CollectInherited(const DataManager& manager, const TDBTagRef& definition)
{
    std::vector<NamedDefinition> out;
    std::vector<std::string> path;
    std::set<std::string> done;
    CollectBases(manager, definition, out, path, done);
    return out;
}

TDBTagRef Container::GetTemplateContainer(const Orvo::PString& name) const { return manager_.GetDefinition(name); }

TDBTagRef Container::GetKindTemplate(const Orvo::PString& kind) const
{
    DataManager* manager = &manager_;
    const Orvo::PString name = kind.ToLower();
    TDBTagRef definition = manager->GetDefinition(name);
    if (definition.IsNull() || definition.GetChildInt("top-level", 0) == 0)
    {
        manager->LoadTemplates();
        definition = manager->GetDefinition(name);
        if (definition.IsNull() || definition.GetChildInt("top-level", 0) == 0) return TDBTagRef();
    }
    return definition;
}

void Container::AddElementDefinition(const Orvo::PString& name)
{
    for (const Orvo::PString& known : elementTypeNames_)
        if (known.EqualsNoCase(name)) return;
    elementTypeNames_.push_back(name);
    elementDefinitions_.push_back(GetTemplateContainer(name));
}

void Container::AddCompulsoryElementDefinition(const Orvo::PString& name)
{
    compulsoryElementDefinitions_.push_back(GetTemplateContainer(name));
}

void Container::MergeInheritedTemplates(TDBTagRef& entries, TDBTagRef& tagArray, TDBTagRef& elementTypes,
                                        const TDBTagRef& definition)
{
    for (const NamedDefinition& base : CollectInherited(definition))
    {
        inheritedNames_.push_back(base.name);
        MergeChildren(entries, base.definition.GetChildContainer("subpossibilities"));
        MergeChildren(tagArray, base.definition.GetChildContainer("tagarray"));
        MergeChildren(elementTypes, base.definition.GetChildContainer("array-element"));
    }
}

void Container::LoadTemplate(const TDBTagRef& definition, bool walkFollows)
{
    definition_ = definition;
    TDBTagRef entries = TDBTagRef::NewContainer();
    TDBTagRef tagArray = TDBTagRef::NewContainer();
    TDBTagRef elementTypes = TDBTagRef::NewContainer();
    if (definition.HasChild("inherit")) MergeInheritedTemplates(entries, tagArray, elementTypes, definition);
    MergeChildren(entries, definition.GetChildContainer("subpossibilities"));
    MergeChildren(tagArray, definition.GetChildContainer("tagarray"));
    MergeChildren(elementTypes, definition.GetChildContainer("array-element"));

    for (size_t i = 0; i < entries.GetChildCount(); ++i)
    {
        const TDBTagRef entry = entries.GetChildContainerAt(i);
        if (entry.IsNull()) continue;
        const Orvo::PString& name = entries.GetChildName(i);
        const Orvo::String kind = entry.GetChildString("kind");
        const bool compulsory = entry.GetChildFloat("compulsory", 0.0f) != 0.0f;
        if (kind.View() == "element")
        {
            const Orvo::PString type(entry.GetChildString("element-type").View());
            if (compulsory) AddCompulsoryElementDefinition(type);
            AddElementDefinition(type);
        }
        else if (kind.View() == "value" && (!compulsory || !walkFollows))
        {
            if (FindTag(name.View()) != nullptr) continue;
            Tag* tag = FindOrCreateTag(this, name, entry, nullptr);
            tag->AttachValidationRules(entry);
            if (compulsory)
                AddTag(tag);
            else
                optionalTags_.push_back(tag);
        }
    }
    if (tagArray.GetChildCount() != 0) tagArray_ = tagArray;
    for (size_t i = 0; i < elementTypes.GetChildCount(); ++i)
    {
        if (!elementTypes.GetChildName(i).StartsWith("container-type")) continue;
        const Orvo::String type = elementTypes.GetChildAt(i).GetString();
        if (!type.empty()) AddElementDefinition(Orvo::PString(type.View()));
    }
}

void Container::LoadContainerRules(const TDBTagRef& definition, Container* receiver)
{
    TDBTagRef validation = TDBTagRef::NewContainer();
    MergeChildren(validation, definition.GetChildContainer("validation"));
    for (const NamedDefinition& base : CollectInherited(definition))
        MergeChildren(validation, base.definition.GetChildContainer("validation"));
    for (size_t i = 0; i < validation.GetChildCount(); ++i)
    {
        const ContainerRuleFn rule = ValidationRuleRegistry::FindContainerRule(validation.GetChildName(i).View());
        if (rule != nullptr) receiver->AddValidationRule(rule, validation.GetChildContainerAt(i));
    }
}

}  // namespace TETLib
