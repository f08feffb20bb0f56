#pragma once
// Texture target lists: the devices or format families a texture conversion must serve, as lower-case
// interned names ("dxtc", "etc1", "velmar", ...).
#include "assetdb/PStringArray.h"

#include <string>
#include <string_view>

// Splits a ";"-separated list into lower-cased names trimmed of blanks. "s3tc" is kept as "dxtc" and
// "etc" as "etc1"; other names pass unchanged. An empty name ends the list (so "a;;b" gives "a" alone,
// ";a" nothing); duplicates are kept.
PStringArray ParseTextureTargetList(std::string_view text);

// The list "compresstexture" converts for: "Velmar;DXTC" parsed once.
const PStringArray& DefaultTextureTargets();

// The names joined as "a; b; c"; empty for an empty list.
std::string FormatTextureTargetList(const PStringArray& list);

// True when the list holds the lower-cased form of `name` (compared by interned identity).
bool TextureTargetListHas(const PStringArray& list, std::string_view name);

// Replaces the destination's names by the source's.
void CopyTextureTargetList(PStringArray& destination, const PStringArray& source);
