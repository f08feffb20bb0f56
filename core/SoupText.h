#pragma once
// The text form of a soup ("config.txt").
//
// Printing: `name<TAB>value`, strings always quoted (with \" and \\ escaped), floats always with "." or an
// exponent, arrays joined with "," and no space, containers as the name, "{", the children indented by one
// tab, "}". A null tag is its name alone. Binary data has no text form of its own and prints as a string
// of hexadecimal digits. Spellings that only this writer makes (see core/README.md): "#float[]", "#int[]",
// "#kuid[]" for empty arrays, "#inf", "#-inf", "#nan" and "#nan:hhhhhhhh" for non-finite floats.
// Everything but binary data reads back as the tree it was written from.
#include "core/TDBTagRef.h"

#include <string>
#include <string_view>

// Appends the children of a container (or the value of a data tag) to out. False when a tag name holds a
// line break: the text is then only fit for display, since it would read back as other tags.
bool WriteSoupText(const TDBTagRef& tag, std::string& out);

// Reads the text form into a new container. On failure logs one line naming `fileName` and the line and
// returns false, leaving `out` null.
bool ReadSoupText(std::string_view text, const char* fileName, TDBTagRef& out);
