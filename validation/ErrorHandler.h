#pragma once
// The validation library's message sink: one process-wide instance, created first at the tool's
// start-up and shut down last. The checks hand it finished message texts; the asset checks copy them
// into the command's results log.
#include "engine/PString.h"

#include <vector>

namespace TETLib {

class Container;
class Tag;

// One message about a container, a tag or nothing. Severity: 3 error, 2 warning, 0 message.
struct ValidationMessage
{
    Container* container = nullptr;
    Tag* tag = nullptr;
    Orvo::PString text;
    int severity = 0;
};

class ErrorHandler
{
public:
    // Creates the handler (echo off, no messages) and makes it the global instance; true.
    static bool Initialise();
    // Frees every message, deletes the handler and clears the global pointer; nothing without one.
    static void Shutdown();
    // The instance, or null before Initialise / after Shutdown.
    static ErrorHandler* Instance();

    virtual ~ErrorHandler();
    virtual void ClearMessages();
    virtual void SetEcho(bool echo) { echo_ = echo; }
    virtual const std::vector<ValidationMessage*>& GetMessages() const { return messages_; }

protected:
    ErrorHandler() = default;

    bool echo_ = false;
    std::vector<ValidationMessage*> messages_;  // owned
};

}  // namespace TETLib
