#include "core/ProcessFlags.h"

// Process-wide flags by definition: set by one command, read by the worker and the file helpers of any layer.
std::atomic<bool> ThrowOnErrorFlag{false};
