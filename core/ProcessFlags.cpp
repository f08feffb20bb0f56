#include "core/ProcessFlags.h"

std::atomic<unsigned char> AllowAnyPathFlag{0};
std::atomic<bool> CommandRunningFlag{false};
std::atomic<bool> ThrowOnErrorFlag{false};
