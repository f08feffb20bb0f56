// Template lookups: which definition a name gets, the compulsory entries, the container type of a nested
// container and the obsolete tags of a definition.
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"

#include <cstdlib>
#include <string>

namespace TETLib {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && Orvo::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

void CollectCompulsory(const TDBTagRef& definition, bool containers, CompulsoryMap& out)
{
    const TDBTagRef entries = definition.GetChildContainer("subpossibilities");
    for (size_t i = 0; i < entries.GetChildCount(); ++i)
    {
        const TDBTagRef entry = entries.GetChildContainerAt(i);
        if (entry.IsNull()) continue;
        const bool isContainer = !entry.GetChildString("element-type").empty();
        if (isContainer != containers) continue;
        const float build = entry.GetChildFloat("compulsory", 0.0f);
        if (!(build > 0.0f)) continue;
        const Orvo::PString& name = entries.GetChildName(i);
        std::string key(name.View());
        Orvo::LowerInPlace(key);
        out[key] = {name, build};
    }
}

}  // namespace

TDBTagRef Container::FindSubDefinition(const Orvo::PString& name, const TDBTagRef& definition) const
{
    const TDBTagRef entries = definition.GetChildContainer("subpossibilities");
    TDBTagRef found = entries.GetChildContainer(name);
    if (!found.IsNull()) return found;
    found = definition.GetChildContainer("array-element");
    if (!found.IsNull()) return found;
    if (name.View() == "0" || std::strtol(name.c_str(), nullptr, 10) != 0)
    {
        for (size_t i = 0; i < entries.GetChildCount(); ++i)
        {
            const TDBTagRef entry = entries.GetChildContainerAt(i);
            if (!entry.IsNull() && entry.GetChildInt("numarray", 0) != 0) return entry;
        }
    }
    return TDBTagRef();
}

bool Container::FindTagDefinition(const Orvo::PString& name, const TDBTagRef& definition, TDBTagRef& out)
{
    out = FindSubDefinition(name, definition);
    if (!out.IsNull()) return true;
    if (StartsWithNoCase(name.View(), "string-table-"))
    {
        out = FindSubDefinition(Orvo::PString("string-table"), definition);
        return !out.IsNull();
    }
    if (StartsWithNoCase(name.View(), "smoke"))
    {
        out = GetTemplateContainer(Orvo::PString("smoke"));
        if (out.IsNull())
        {
            ReportError(Errors(), "$tet_container_nosmoke");
            return false;
        }
        return true;
    }
    return false;
}

TDBTagRef Container::FindDefinitionInTemplates(const Orvo::PString& name, const TDBTagRef& definition,
                                               const std::vector<NamedDefinition>& inherited) const
{
    TDBTagRef found = definition.GetChildContainer("subpossibilities").GetChildContainer(name);
    if (!found.IsNull()) return found;
    // The nearest base first: the reverse of the order in which their entries are merged.
    for (auto it = inherited.rbegin(); it != inherited.rend(); ++it)
    {
        found = it->definition.GetChildContainer("subpossibilities").GetChildContainer(name);
        if (!found.IsNull()) return found;
        found = it->definition.GetChildContainer("tagarray");
        if (!found.IsNull()) return found;
    }
    return definition.GetChildContainer("tagarray");
}

Orvo::PString Container::SelectContainerType(const TDBTagRef& entry, const Orvo::PString& kind) const
{
    const size_t count = entry.GetChildCount();
    for (size_t i = 0; i < count; ++i)
    {
        const Orvo::String type = entry.GetChildString("container-type" + std::to_string(i));
        if (type.empty()) continue;
        if (Orvo::FindText(type.View(), kind.View(), 0, true) >= 0) return Orvo::PString(type.View());
    }
    return Orvo::PString(entry.GetChildString("container-type0").View());
}

void Container::CollectCompulsoryTags(const TDBTagRef& definition, CompulsoryMap& out) const
{
    CollectCompulsory(definition, false, out);
}

void Container::CollectCompulsoryContainers(const TDBTagRef& definition, CompulsoryMap& out) const
{
    CollectCompulsory(definition, true, out);
}

void Container::ApplyObsoleteTags(TDBTagRef& definition)
{
    const TDBTagRef obsolete = definition.GetChildContainer("obsolete-tag");
    if (obsolete.GetChildCount() == 0) return;
    const int32_t asset = Build::RoundedHundredths(manager_.GetAssetBuild());
    bool copied = false;
    for (size_t i = 0; i < obsolete.GetChildCount(); ++i)
    {
        const Orvo::PString& name = obsolete.GetChildName(i);
        const TDBTagRef entry = obsolete.GetChildAt(i);
        const int32_t from = Build::RoundedHundredths(entry.GetChildFloat("obsolete-version", 2.6f));
        if (asset >= from)
        {
            obsoleteTagNames_.push_back(name);
            continue;
        }
        // Still a valid tag for this asset: an ordinary entry of (a copy of) the definition.
        if (!copied)
        {
            definition = definition.Clone();
            copied = true;
        }
        TDBTagRef entries = definition.GetChildContainer("subpossibilities");
        if (entries.IsNull()) entries = definition.CreateChildContainer("subpossibilities");
        entries.RemoveChild(name);
        entries.AddChildTag(name, entry);
    }
}

}  // namespace TETLib
