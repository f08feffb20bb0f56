#pragma once
// Build-number arithmetic. An asset's build is a 32-bit float ("velmar-build"); the checks compare it in
// several ways, each of which content already validated depends on, so each has its own function here
// and no check does its own arithmetic:
//
//   WholeHundredths     (int)(build * 100)          the track refinement, the obsolete-tag severity
//   RoundedHundredths   (int)(build * 100 + 0.1f)   build gates (compulsory tags, obsolete tags, the
//                                                   obsolete-asset warning, the future-asset check)
//   HalfRoundedHundredths (int)(build * 100 + 0.5f) the empty list box gate
//   IsBelow             build < gate, as floats      the rule gates 3.4, 3.49, 3.59, 3.8
//
// All arithmetic is in 32-bit floats, as the build is stored. Truncation saturates: a NaN counts as 0 and
// a build too large for an int as the largest int, so no value read from a file is undefined behaviour.
#include <cstdint>

namespace TETLib::Build {

// The build an asset has when nothing says otherwise, and the one used when "velmar-build" is absent.
constexpr float kDefault = 3.7f;
constexpr float kMissing = 1.3f;
// What the kind check adds to the build it reads, so that a float just below a boundary is not.
constexpr float kReadMargin = 0.001f;

// Float gates, compared with IsBelow.
constexpr float kGate3_4 = 3.4f;
constexpr float kGate3_49 = 3.49f;
constexpr float kGate3_59 = 3.59f;
constexpr float kGate3_8 = 3.8f;

// Hundredths gates, compared with the rounded forms.
constexpr int32_t kOldestSupported = 290;   // 2.9: older assets are obsolete and normalised
constexpr int32_t kNewestKnown = 370;       // 3.7: newer assets are from the future
constexpr int32_t kEmptySoundString = 310;  // 3.10: from here an empty compulsory "sound" string is an error
constexpr int32_t kEmptyListBox = 350;      // 3.5: from here an empty list box is an error
constexpr int32_t kUploadOldest = 280;      // 2.8: the oldest build the validate command accepts

// (int)(value) with saturation; NaN gives 0.
int32_t Truncate(float value);

int32_t WholeHundredths(float build);
int32_t RoundedHundredths(float build);
int32_t HalfRoundedHundredths(float build);
inline bool IsBelow(float build, float gate) { return build < gate; }
// build * 100 < gate, compared as floats (the empty "sound" string gate).
inline bool HundredthsBelow(float build, int32_t gate) { return build * 100.0f < static_cast<float>(gate); }

// The validate command's upload rule: the build in hundredths, truncated, computed so that a build stored
// as 2.8 counts as 280 (in double arithmetic 2.8f * 100 is 279.99999...).
int32_t UploadHundredths(float build);

}  // namespace TETLib::Build
