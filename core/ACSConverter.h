#pragma once
// Conversions between soup values and text.
//
// Value to text: arrays joined with "," and no space ("1,2,3"); floats in their shortest exact form;
// KUIDs in "<kuid...>" form. Text to value (the typing of an unquoted value in a config file): items split
// at ","; all KUID texts give a KUID array, all integers that fit 32 bits an integer array, all numbers a
// float array, anything else the whole text as a string. Non-finite floats are "#inf", "#-inf", "#nan" and
// "#nan:hhhhhhhh" (the bits of any other NaN); "#float[]", "#int[]" and "#kuid[]" are empty arrays.
#include "core/ACSRawDataCore.h"

#include <string>
#include <string_view>
#include <vector>

class ACSConverter
{
public:
    // False for null, containers and binary data.
    static bool ToText(const ACSRawDataCore& v, std::string& out);
    // First element, converted; strings are parsed. False when there is nothing to convert.
    static bool ToInt(const ACSRawDataCore& v, int32_t& out);
    static bool ToFloat(const ACSRawDataCore& v, float& out);
    static bool ToBool(const ACSRawDataCore& v, bool& out);
    static bool ToKUID(const ACSRawDataCore& v, KUID& out);
    // Every element as a float (a string is split at ","); appends; false when none was read.
    static bool ToFloats(const ACSRawDataCore& v, std::vector<float>& out);

    // Types an unquoted value (already trimmed). An empty text gives a null value.
    static void FromRawText(std::string_view text, ACSRawDataCore& out);

    // Shortest text that reads back to the same float. With forceDecimal, a whole number gets ".0" so that
    // it stays a float when read back ("3.0").
    static void AppendFloat(std::string& out, float v, bool forceDecimal);

    // Parsing helpers shared with the readers: the whole (trimmed) text must be the number.
    static bool ParseInt(std::string_view text, int32_t& out);
    static bool ParseFloat(std::string_view text, float& out);
};
