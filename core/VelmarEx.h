#pragma once
// The program's exception type, and the error report that throws it on request.
#include "engine/Exception.h"

#include <string>

class VelmarEx : public Orvo::Exception
{
public:
    VelmarEx() = default;
    explicit VelmarEx(std::string message) : Orvo::Exception(std::move(message)) {}
};

// Logs the formatted message (LogPrintf); then, while ThrowOnErrorFlag is set, throws VelmarEx with it.
void LogErrorAndThrow(const char* format, ...) __attribute__((format(printf, 1, 2)));
