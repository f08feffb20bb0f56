#pragma once
// The bodies of the named rules (the registry in RuleRegistry.h maps names to them).
#include "validation/RuleRegistry.h"

namespace TETLib {

// Tag rules.
bool RuleIsTracksideType(Tag& tag, const TDBTagRef* params);
bool RuleIsNotTraincar(Tag& tag, const TDBTagRef* params);
bool RuleNeedCollateMeshes(Tag& tag, const TDBTagRef* params);
bool RuleIsPositive(Tag& tag, const TDBTagRef* params);
bool RuleIsNotZero(Tag& tag, const TDBTagRef* params);
bool RuleScriptFileExists(Tag& tag, const TDBTagRef* params);
bool RuleFileExists(Tag& tag, const TDBTagRef* params);
bool RuleRange(Tag& tag, const TDBTagRef* params);
bool RuleArraySize(Tag& tag, const TDBTagRef* params);
bool RuleArrayMaxSize(Tag& tag, const TDBTagRef* params);
bool RuleNotOwnParent(Tag& tag, const TDBTagRef* params);
bool RuleMustBeOwnParent(Tag& tag, const TDBTagRef* params);
bool RuleMustBeInLightContainer(Tag& tag, const TDBTagRef* params);
bool RuleMustBePaired(Tag& tag, const TDBTagRef* params);

// Container rules.
bool RuleUniqueNames(Container& container, const TDBTagRef* params);
bool RuleHasValidTextureFile(Container& container, const TDBTagRef* params);
bool RuleMeshTableHasShadow(Container& container, const TDBTagRef* params);
bool RuleMeshTableHasVisibleMesh(Container& container, const TDBTagRef* params);
bool RuleValidateRunningNumberFonts(Container& container, const TDBTagRef* params);
bool RuleTrackSoundHasTarget(Container& container, const TDBTagRef* params);
bool RuleSoundIsValid(Container& container, const TDBTagRef* params);

}  // namespace TETLib
