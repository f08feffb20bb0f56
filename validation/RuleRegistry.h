#pragma once
// The named validation rules: the two fixed tables that map rule names to rule functions, and the
// shared routines several rules and value checks use. A template definition lists rules by name in its
// "validation" container; each child there names a rule and holds its parameters.
#include "core/TDBTagRef.h"
#include "engine/PString.h"

#include <span>
#include <string_view>
#include <vector>

namespace TETLib {

class Container;
class Tag;

// A rule returns true when the object passes; it reports its own findings before it returns.
using TagRuleFn = bool (*)(Tag& tag, const TDBTagRef* params);
using ContainerRuleFn = bool (*)(Container& container, const TDBTagRef* params);

template <typename Fn>
struct ValidationRuleEntry
{
    const char* name;
    Fn rule;
    // The parameter children the rule cannot do without (null-terminated); the template check reports
    // a rule written without them.
    const char* const* required;
};

struct ValidationRuleRegistry
{
    // The container rules, in table order.
    static std::span<const ValidationRuleEntry<ContainerRuleFn>> ContainerRules();
    // The tag rules, in table order.
    static std::span<const ValidationRuleEntry<TagRuleFn>> TagRules();
    // The rule of that name (exact), or null.
    static TagRuleFn FindTagRule(std::string_view name);
    static ContainerRuleFn FindContainerRule(std::string_view name);
    static const char* const* RequiredParameters(std::string_view name);
};

// The numbers of a value text: a space or a comma ends a number (atof of each piece, an empty piece
// gives 0), so a text yields one number more than it has separators.
std::vector<float> ParseNumberList(std::string_view text);
// The same pieces read as integers (atoi).
std::vector<int> ParseIntegerList(std::string_view text);

// Warns "$tet_val_nullkuidwarn" about a KUID tag that holds the null KUID, except inside an
// "obsolete-table" container; always true.
bool WarnIfNullKUID(Tag& tag);

// The bodies of "arraysize" and "arraymaxsize" after their parameter is read; the fixed-length number
// writers call CheckArraySize too.
bool CheckArraySize(Tag& tag, int expected);
bool CheckArrayMaxSize(Tag& tag, int maximum);

}  // namespace TETLib
