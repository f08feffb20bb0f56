#pragma once
// The DXT encoder's settings side by side on level 0 of the corpus: mean PSNR over the opaque pixels
// (decoded by libsquish) and single-thread speed, so that the front end's choice can be read against the
// others. Prints one line per setting.
#include <string>
#include <vector>

void CompareEncoderSettings(const std::vector<std::string>& images);
