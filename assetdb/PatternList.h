#pragma once
// Category code lists and the pattern lists matched against them.
//
// A code list is ";"-separated codes ("TR;TV;LOC;ELEC"). A pattern list is "|"-separated alternatives,
// each a ";"-separated run of terms that must all match: a term matches when it equals one of the codes
// (exactly), a term "-X" when X is not among them. Blanks around codes and terms are ignored, and empty
// terms are skipped.
#include "engine/String.h"

#include <string_view>

// A null pattern list matches everything; a null text matches nothing.
bool MatchPatternList(const char* text, const char* patterns);
bool MatchPatternList(std::string_view text, std::string_view patterns);

// out = base; then for each term of `terms` (separated by ";" or "|"), prefix + term is appended after
// a ";" (no ";" before the first code of an empty list) unless the list already matches it.
void AppendMissingPatternTerms(std::string_view base, std::string_view terms, std::string_view prefix,
                               Orvo::String& out);

// The category code list of the first row of the category class table whose kind is empty or equals
// `kind` and whose class code equals `classCode` (both without regard to case); empty when none does.
Orvo::String LookupCategoryClassCodes(std::string_view kind, std::string_view classCode);
