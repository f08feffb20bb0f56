#include "validation/RuleRegistry.h"

#include "engine/TextCase.h"
#include "validation/Container.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationRules.h"

#include <cstdlib>
#include <string>

namespace TETLib {
namespace {

constexpr const char* kNone[] = {nullptr};
constexpr const char* kMinMax[] = {"min", "max", nullptr};
constexpr const char* kSize[] = {"size", nullptr};
constexpr const char* kPair[] = {"0", "1", nullptr};

const ValidationRuleEntry<ContainerRuleFn> kContainerRules[] = {
    {"uniquenames", RuleUniqueNames, kNone},
    {"hasvalidtexturefile", RuleHasValidTextureFile, kNone},
    {"meshtablehasshadow", RuleMeshTableHasShadow, kNone},
    {"meshtablehasvisiblemesh", RuleMeshTableHasVisibleMesh, kNone},
    {"validaterunningnumberfonts", RuleValidateRunningNumberFonts, kNone},
    {"tracksoundhastarget", RuleTrackSoundHasTarget, kNone},
    {"soundisvalid", RuleSoundIsValid, kNone},
};

const ValidationRuleEntry<TagRuleFn> kTagRules[] = {
    {"istracksidetype", RuleIsTracksideType, kNone},
    {"isnottraincar", RuleIsNotTraincar, kNone},
    {"needcollatemeshes", RuleNeedCollateMeshes, kNone},
    {"ispositive", RuleIsPositive, kNone},
    {"isnotzero", RuleIsNotZero, kNone},
    {"scriptfileexists", RuleScriptFileExists, kNone},
    {"fileexists", RuleFileExists, kNone},
    {"range", RuleRange, kMinMax},
    {"arraysize", RuleArraySize, kSize},
    {"arraymaxsize", RuleArrayMaxSize, kSize},
    {"notownparent", RuleNotOwnParent, kNone},
    {"mustbeownparent", RuleMustBeOwnParent, kNone},
    {"mustbeinlightcontainer", RuleMustBeInLightContainer, kNone},
    {"mustbepaired", RuleMustBePaired, kPair},
};

template <typename Fn, size_t N>
Fn Find(const ValidationRuleEntry<Fn> (&table)[N], std::string_view name)
{
    for (const auto& e : table)
        if (Orvo::EqualsNoCase(e.name, name)) return e.rule;
    return nullptr;
}

// Calls `take` with each piece of the text between spaces and commas (empty pieces included).
template <typename Take>
void ForEachPiece(std::string_view text, Take take)
{
    std::string piece;
    for (char c : text)
    {
        if (c == ' ' || c == ',')
        {
            take(piece);
            piece.clear();
        }
        else
            piece.push_back(c);
    }
    take(piece);
}

}  // namespace

std::span<const ValidationRuleEntry<ContainerRuleFn>> ValidationRuleRegistry::ContainerRules()
{
    return kContainerRules;
}

std::span<const ValidationRuleEntry<TagRuleFn>> ValidationRuleRegistry::TagRules() { return kTagRules; }

TagRuleFn ValidationRuleRegistry::FindTagRule(std::string_view name) { return Find(kTagRules, name); }

ContainerRuleFn ValidationRuleRegistry::FindContainerRule(std::string_view name) { return Find(kContainerRules, name); }

const char* const* ValidationRuleRegistry::RequiredParameters(std::string_view name)
{
    for (const auto& e : kTagRules)
        if (Orvo::EqualsNoCase(e.name, name)) return e.required;
    for (const auto& e : kContainerRules)
        if (Orvo::EqualsNoCase(e.name, name)) return e.required;
    return kNone;
}

std::vector<float> ParseNumberList(std::string_view text)
{
    std::vector<float> out;
    ForEachPiece(text, [&](const std::string& piece) { out.push_back(static_cast<float>(std::atof(piece.c_str()))); });
    return out;
}

std::vector<int> ParseIntegerList(std::string_view text)
{
    std::vector<int> out;
    ForEachPiece(text, [&](const std::string& piece) { out.push_back(std::atoi(piece.c_str())); });
    return out;
}

bool WarnIfNullKUID(Tag& tag)
{
    if (tag.GetOwner() != nullptr && tag.GetOwner()->GetName().EqualsNoCase(std::string_view("obsolete-table")))
        return true;
    KUID k = KUID::Null();
    k.ParseText(tag.GetValue().View(), false);
    if (k.IsNull()) ReportWarning(&tag, "$tet_val_nullkuidwarn", {{"TAG_NAME", tag.GetName().View()}});
    return true;
}

}  // namespace TETLib
