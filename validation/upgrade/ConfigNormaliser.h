#pragma once
// The normaliser of old asset configurations. Configurations written for builds before 2.9 use tags the
// templates no longer know: single-language names, licence and disclaimer lines, flat mesh and bogey
// tags, numbered category lists, tags under old names, stray words of unquoted descriptions. Before such
// a configuration is checked it is rewritten, in memory, into the current form; nothing is written to
// disk and nothing is reported: the later checks see the changed tags.
#include "core/TDBTagRef.h"

#include <string_view>

namespace TETLib {

class DataManager;
class ValidationPlugins;

// The entry point, called with the configuration once the asset's build is known: assets before 2.9 are
// normalised (and their "velmar-build" set to 2.9), and assets before 3.5 lose an empty
// "category-region" or "category-era". The asset's build, folder and templates are those of `manager`.
void UpgradeOldAssetConfig(DataManager& manager, TDBTagRef& config);
// The rewrite itself.
void NormaliseAssetConfig(DataManager& manager, TDBTagRef& config);
// True when a top-level template (a kind) lists the name among its entries, its inherited ones included.
bool IsTopLevelTagName(DataManager& manager, std::string_view name);
// Removes the value tags after "description" that no kind lists: the words of an unquoted description.
void RemoveTagsAfterDescription(DataManager& manager, TDBTagRef& config);
// Removes "asset" and the tags named "asset-..." that no kind lists.
void RemoveAssetPrefixedTags(DataManager& manager, TDBTagRef& config);

// Makes UpgradeOldAssetConfig the normaliser among a manager's plug-ins (ValidationHooks.h).
void RegisterConfigNormaliser(ValidationPlugins& plugins);

}  // namespace TETLib
