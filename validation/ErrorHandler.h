#pragma once
// The validation library's message sink: the tool makes one at start-up (before the data manager, which
// reports into it, and ends it after). The checks hand it finished message texts with a severity and,
// where the message is about a validation container or tag, that object as its owner; the asset checks
// copy the messages into the command's results log.
//
// Repeats: a text already recorded for the same owner (any record at all, for a message without owner)
// is not recorded again. A repeat that is more severe than the record it repeats raises that record's
// severity instead, so an error that follows a warning of the same text is never lost.
#include "engine/PString.h"

#include <unordered_map>
#include <vector>

namespace TETLib {

class Container;
class Tag;

enum Severity : int
{
    kSeverityMessage = 0,
    kSeverityWarning = 2,
    kSeverityError = 3,
};

// One message about a container, a tag or nothing.
struct ValidationMessage
{
    Container* container = nullptr;
    Tag* tag = nullptr;
    Orvo::PString text;
    int severity = kSeverityMessage;
};

class ErrorHandler
{
public:
    // Echo off, no messages.
    ErrorHandler() = default;
    ErrorHandler(const ErrorHandler&) = delete;
    ErrorHandler& operator=(const ErrorHandler&) = delete;
    // Frees every message.
    virtual ~ErrorHandler();
    virtual void ClearMessages();

    // Each returns true when the message was recorded (or raised a repeat's severity), false for a repeat.
    virtual bool Error(const Orvo::PString& text, Container* owner);
    virtual bool Error(const Orvo::PString& text, Tag* owner);
    virtual bool Error(const Orvo::PString& text);
    virtual bool Warning(const Orvo::PString& text, Container* owner);
    virtual bool Warning(const Orvo::PString& text, Tag* owner);
    virtual bool Warning(const Orvo::PString& text);
    virtual bool Message(const Orvo::PString& text, Container* owner);
    virtual bool Message(const Orvo::PString& text, Tag* owner);
    virtual bool Message(const Orvo::PString& text);
    // Progress texts of the walk; discarded. Callers form them only when WantsTrace says so.
    virtual bool WantsTrace() const { return false; }
    virtual bool Trace(const Orvo::PString&, Container*) { return true; }
    virtual bool Trace(const Orvo::PString&, Tag*) { return true; }

    // True when no record carries the text.
    virtual bool IsNewMessage(const Orvo::PString& text) const;
    // Replaces the list by copies of the given records.
    virtual void SetMessages(const std::vector<ValidationMessage*>& messages);
    virtual void SetEcho(bool echo) { echo_ = echo; }
    // Removes every record owned by the object, which is going away: no record may keep its address.
    virtual void RemoveTagMessage(const Tag* tag);
    virtual void RemoveContainerMessage(const Container* container);
    virtual const std::vector<ValidationMessage*>& GetMessages() const { return messages_; }

protected:
    bool Record(const Orvo::PString& text, int severity, Container* container, Tag* tag, bool anyOwner);

    void Forget(ValidationMessage* m);
    void RemoveOwned(const void* owner, bool isTag);

    bool echo_ = false;
    std::vector<ValidationMessage*> messages_;  // owned
    // Indexes, so that reports and removals stay cheap when an asset has very many findings.
    std::unordered_multimap<const void*, ValidationMessage*> byText_;  // by the text's interned node
    std::unordered_map<const void*, size_t> owned_;                    // records per owner
};

}  // namespace TETLib
