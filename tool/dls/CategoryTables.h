#pragma once
// The download station's own numbers for an asset's categories, and text made safe for the SQL files
// written for its database.
#include "engine/String.h"

#include <cstdint>
#include <string_view>

class VADAssetInfo;

// The text for a quoted SQL value: a backslash goes before every backslash, single quote and double
// quote. NUL, line feed, carriage return and Ctrl+Z become \0, \n, \r and \Z, so that the SQL files keep
// one row per line and can be read by tools that stop at a NUL. Every other byte is copied; the length of
// the input decides its end.
Orvo::String EscapeSQLText(std::string_view text);

// The asset type number of the record's category code list ("TR;TV;LOC;ELEC"); 21 when no row matches.
int32_t GetAssetTypeID(const VADAssetInfo& info);
int32_t GetAssetTypeIDForCodes(std::string_view codes);

// The output folder name of an asset type number; "UNKNOWN" for numbers without one.
const char* GetAssetTypeFolderName(int32_t typeId);

// The category element id of an era, category-class or region code (compared whole and with regard to
// case; where a code appears twice the first row wins); 0 when the table has no such code.
int32_t LookupCategoryElementID(std::string_view code);
