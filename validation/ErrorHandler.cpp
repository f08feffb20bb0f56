#include "validation/ErrorHandler.h"

namespace TETLib {
namespace {
// Process-wide: the validation library's error handler is reached through its instance operation from
// every check, as the library's interface defines it.
ErrorHandler* g_instance = nullptr;
}  // namespace

bool ErrorHandler::Initialise()
{
    // A second start-up in one process replaces the first handler rather than leaking it.
    Shutdown();
    g_instance = new ErrorHandler();
    return true;
}

void ErrorHandler::Shutdown()
{
    delete g_instance;
    g_instance = nullptr;
}

ErrorHandler* ErrorHandler::Instance() { return g_instance; }

ErrorHandler::~ErrorHandler() { ClearMessages(); }

void ErrorHandler::ClearMessages()
{
    for (ValidationMessage* m : messages_) delete m;
    messages_.clear();
}

}  // namespace TETLib
