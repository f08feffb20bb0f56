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

// What an error report does after logging: the program goes on; a caller that wants to stop at the
// report (a test watching one) asks for the throw.
enum class OnError : int
{
    Log,
    Throw,
};

// Logs the formatted message (LogPrintf); then, with OnError::Throw, throws VelmarEx with it.
void LogErrorAndThrow(OnError onError, const char* format, ...) __attribute__((format(printf, 2, 3)));
