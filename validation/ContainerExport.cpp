// The export: the container written back out as a configuration tree, one writer per tag type, each
// checking the value and running the tag's rules. Every tag is checked and written, also after an
// earlier one failed, so one finding never hides another.
#include "core/KUID.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"

#include <climits>
#include <cstdlib>

namespace TETLib {
namespace {

// The kind definitions that are variants of a kind are written as the kind.
Orvo::PString ExportedKind(const Orvo::PString& lowered)
{
    const std::string_view k = lowered.View();
    if (k == "double-track" || k == "tunnel") return Orvo::PString("bridge");
    if (k == "chunky-track" || k == "mesh-reducing-track" || k == "obsolete-track") return Orvo::PString("track");
    if (k == "scenery-trackside") return Orvo::PString("scenery");
    return lowered;
}

int32_t ParseLong(const Orvo::PString& value)
{
    const long v = std::strtol(value.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

KUID ParseKUID(const Orvo::PString& value)
{
    KUID k = KUID::Null();
    if (!value.empty()) k.ParseText(value.View(), false);
    return k;
}

std::string_view OwnerName(const Tag& tag)
{
    return tag.GetOwner() != nullptr ? tag.GetOwner()->GetName().View() : std::string_view();
}

}  // namespace

bool Container::Export(TDBTagRef& out)
{
    out.EnsureContainer();
    if (extensions_)
    {
        out.RemoveChild("extensions");
        out.AddChildTag("extensions", *extensions_);
        return true;
    }
    bool result = true;
    for (size_t i = 0; i < tags_.size(); ++i)
    {
        Tag& tag = *tags_[i];
        if (tag.GetName().EqualsNoCase(std::string_view("kind"))) tag.SetValue(ExportedKind(tag.GetValue().ToLower()));
        if (!WriteTag(tag, out)) result = false;
    }
    for (size_t i = 0; i < children_.size(); ++i)
    {
        Container* child = children_[i];
        const Orvo::PString& name = child->exportName_.empty() ? child->name_ : child->exportName_;
        out.RemoveChild(name);
        if (child->extensions_)
        {
            out.AddChildTag(name, *child->extensions_);
            continue;
        }
        TDBTagRef written = TDBTagRef::NewContainer();
        out.AddChildTag(name, written);
        if (!child->Export(written)) result = false;
        if (!child->RunValidationRules()) result = false;
    }
    return result;
}

bool Container::WriteTag(Tag& tag, TDBTagRef& out)
{
    switch (tag.GetTypeCode())
    {
    case kTagFloat: return ExportFloat(tag, out);
    case kTagString: return ExportString(tag, out);
    case kTagStringToken: return ExportStringToken(tag, out);
    case kTagInt: return ExportInt(tag, out);
    case kTagBool: return ExportBool(tag, out);
    case kTagVector2: return ExportVector(tag, out, 2);
    case kTagVector3: return ExportVector(tag, out, 3);
    case kTagVector4: return ExportVector(tag, out, 4);
    case kTagVector5: return ExportVector(tag, out, 5);
    case kTagVector6: return ExportVector(tag, out, 6);
    case kTagFloatList: return ExportFloatList(tag, out);
    case kTagComboBox: return ExportComboBox(tag, out);
    case kTagIntComboBox: return ExportIntComboBox(tag, out);
    case kTagListBox: return ExportListBox(tag, out);
    case kTagDoubleString: return ExportDoubleString(tag, out);
    case kTagKUID: return ExportKUID(tag, out);
    case kTagFilePath:
    case kTagFilePathEdit: return ExportFilePath(tag, out);
    case kTagStringKUID: return ExportStringKUID(tag, out);
    case kTagKUIDBrowser: return ExportKUIDBrowser(tag, out);
    case kTagStringKUIDBrowser: return ExportStringKUIDBrowser(tag, out);
    case kTagText: return ExportText(tag, out);
    default: return true;  // codes without a writer
    }
}

bool Container::ExportFloat(Tag& tag, TDBTagRef& out)
{
    const bool passed = tag.RunValidationRules();
    out.SetChildFloat(tag.GetName(), static_cast<float>(std::atof(tag.GetValue().c_str())));
    return passed;
}

bool Container::ExportInt(Tag& tag, TDBTagRef& out)
{
    const bool passed = tag.RunValidationRules();
    out.SetChildInt(tag.GetName(), ParseLong(tag.GetValue()));
    return passed;
}

bool Container::ExportBool(Tag& tag, TDBTagRef& out)
{
    const bool passed = tag.RunValidationRules();
    out.SetChildInt(tag.GetName(), tag.GetValue().View() == "1" ? 1 : 0);
    return passed;
}

bool Container::ExportString(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    const std::initializer_list<MessageParam> params = {{"TAG_NAME", tag.GetName().View()},
                                                        {"CONT_NAME", OwnerName(tag)}};
    if (!tag.GetValue().empty())
        result = tag.RunValidationRules();
    else if (!tag.IsStrict())
        ReportWarning(&tag, "$tet_container_emptystringwarn", params);
    else
    {
        // Sound files of assets before 3.10 may leave a compulsory string empty.
        const bool oldSound = tag.GetOwner() != nullptr &&
                              Build::HundredthsBelow(manager_.GetAssetBuild(), Build::kEmptySoundString) &&
                              tag.GetOwner()->GetName().View() == "sound";
        if (!oldSound)
        {
            ReportError(&tag, "$tet_container_emptystringerr", params);
            result = false;
        }
    }
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

bool Container::ExportStringToken(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_container_emptystringerr",
                    {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", OwnerName(tag)}});
        result = false;
    }
    else
    {
        Container* root = tag.GetOwner() != nullptr ? tag.GetOwner()->GetRoot() : this;
        const TDBTagRef table = root->GetConfigTag().GetChildContainer("string-table");
        if (table.GetChildString(tag.GetValue()).empty())
        {
            ReportBySeverity(tag.IsStrict(), &tag, "$tet_container_invalid_string_token",
                             {{"VALUE", tag.GetValue().View()}, {"TAG", tag.GetName().View()}});
            if (tag.IsStrict()) result = false;
        }
        if (result) result = tag.RunValidationRules();
    }
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

bool Container::ExportVector(Tag& tag, TDBTagRef& out, int count)
{
    bool result = tag.RunValidationRules();
    if (!CheckArraySize(tag, count)) result = false;
    out.SetChildFloats(tag.GetName(), ParseNumberList(tag.GetValue().View()));
    return result;
}

bool Container::ExportFloatList(Tag& tag, TDBTagRef& out)
{
    const bool result = tag.RunValidationRules();
    out.SetChildFloats(tag.GetName(), ParseNumberList(tag.GetValue().View()));
    return result;
}

bool Container::ExportIntComboBox(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_container_emptycombobox",
                    {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", OwnerName(tag)}});
        result = false;
    }
    if (!tag.RunValidationRules()) result = false;
    out.SetChildInt(tag.GetName(), ParseLong(tag.GetValue()));
    return result;
}

bool Container::ExportKUID(Tag& tag, TDBTagRef& out)
{
    const KUID kuid = ParseKUID(tag.GetValue());
    const bool result = tag.RunValidationRules();
    out.SetChildKUID(tag.GetName(), kuid);
    return result;
}

bool Container::ExportKUIDBrowser(Tag& tag, TDBTagRef& out)
{
    const KUID kuid = ParseKUID(tag.GetValue());
    bool result = tag.RunValidationRules();
    if (!WarnIfNullKUID(tag)) result = false;
    out.SetChildKUID(tag.GetName(), kuid);
    return result;
}

bool Container::ExportStringKUID(Tag& tag, TDBTagRef& out)
{
    const KUID kuid = ParseKUID(tag.GetValue());
    bool result = true;
    if (tag.GetName().empty())
    {
        ReportError(&tag, "$tet_container_emptyname", {{"TAG_NAME", ""}, {"CONT_NAME", OwnerName(tag)}});
        result = false;
    }
    if (!tag.RunValidationRules()) result = false;
    tag.SetName(tag.GetName().ToLower());
    out.SetChildKUID(tag.GetName(), kuid);
    return result;
}

bool Container::ExportStringKUIDBrowser(Tag& tag, TDBTagRef& out)
{
    const KUID kuid = ParseKUID(tag.GetValue());
    bool result = true;
    if (tag.GetName().empty())
    {
        ReportError(&tag, "$tet_container_emptyname", {{"TAG_NAME", ""}, {"CONT_NAME", OwnerName(tag)}});
        result = false;
    }
    if (!tag.RunValidationRules()) result = false;
    if (!WarnIfNullKUID(tag)) result = false;
    out.SetChildKUID(tag.GetName(), kuid);
    return result;
}

bool Container::ExportDoubleString(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    const std::initializer_list<MessageParam> params = {{"TAG_NAME", tag.GetName().View()},
                                                        {"CONT_NAME", OwnerName(tag)}};
    if (tag.GetName().empty())
    {
        ReportError(&tag, "$tet_container_emptyname", params);
        result = false;
    }
    if (tag.GetValue().empty()) ReportWarning(&tag, "$tet_container_emptystringwarn", params);
    if (!tag.RunValidationRules()) result = false;
    tag.SetName(tag.GetName().ToLower());
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

bool Container::ExportText(Tag& tag, TDBTagRef& out)
{
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return true;
}

}  // namespace TETLib
