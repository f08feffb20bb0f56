#include "core/ProcessFlags.h"

// Process-wide: tests set it around the calls whose reports they watch, in any layer.
std::atomic<bool> ThrowOnErrorFlag{false};
