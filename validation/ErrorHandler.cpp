#include "validation/ErrorHandler.h"

#include "core/InterfaceTextDB.h"

#include <algorithm>
#include <cstdio>

namespace TETLib {
namespace {
const char* HeadingKey(int severity)
{
    switch (severity)
    {
    case kSeverityError: return "$tet_eh_error";
    case kSeverityWarning: return "$tet_eh_warning";
    default: return "$tet_eh_message";
    }
}
}  // namespace

ErrorHandler::~ErrorHandler() { ClearMessages(); }

void ErrorHandler::ClearMessages()
{
    for (ValidationMessage* m : messages_) delete m;
    messages_.clear();
    byText_.clear();
    owned_.clear();
}

bool ErrorHandler::Record(const Orvo::PString& text, int severity, Container* container, Tag* tag, bool anyOwner)
{
    auto [first, last] = byText_.equal_range(text.Node());
    for (auto it = first; it != last; ++it)
    {
        ValidationMessage* m = it->second;
        if (!anyOwner && (m->container != container || m->tag != tag)) continue;
        if (severity <= m->severity) return false;
        m->severity = severity;
        return true;
    }
    if (echo_)
    {
        const Orvo::PString heading = InterfaceTextDB::GetString(HeadingKey(severity));
        std::printf("%s%s\n", heading.c_str(), text.c_str());
    }
    auto* m = new ValidationMessage;
    m->container = container;
    m->tag = tag;
    m->text = text;
    m->severity = severity;
    messages_.push_back(m);
    byText_.emplace(text.Node(), m);
    if (container != nullptr) ++owned_[container];
    if (tag != nullptr) ++owned_[tag];
    return true;
}

bool ErrorHandler::Error(const Orvo::PString& text, Container* owner)
{
    return Record(text, kSeverityError, owner, nullptr, false);
}
bool ErrorHandler::Error(const Orvo::PString& text, Tag* owner)
{
    return Record(text, kSeverityError, nullptr, owner, false);
}
bool ErrorHandler::Error(const Orvo::PString& text) { return Record(text, kSeverityError, nullptr, nullptr, true); }
bool ErrorHandler::Warning(const Orvo::PString& text, Container* owner)
{
    return Record(text, kSeverityWarning, owner, nullptr, false);
}
bool ErrorHandler::Warning(const Orvo::PString& text, Tag* owner)
{
    return Record(text, kSeverityWarning, nullptr, owner, false);
}
bool ErrorHandler::Warning(const Orvo::PString& text) { return Record(text, kSeverityWarning, nullptr, nullptr, true); }
bool ErrorHandler::Message(const Orvo::PString& text, Container* owner)
{
    return Record(text, kSeverityMessage, owner, nullptr, false);
}
bool ErrorHandler::Message(const Orvo::PString& text, Tag* owner)
{
    return Record(text, kSeverityMessage, nullptr, owner, false);
}
bool ErrorHandler::Message(const Orvo::PString& text) { return Record(text, kSeverityMessage, nullptr, nullptr, true); }

bool ErrorHandler::IsNewMessage(const Orvo::PString& text) const { return byText_.count(text.Node()) == 0; }

void ErrorHandler::SetMessages(const std::vector<ValidationMessage*>& messages)
{
    std::vector<ValidationMessage*> copies;
    copies.reserve(messages.size());
    for (const ValidationMessage* m : messages) copies.push_back(new ValidationMessage(*m));
    ClearMessages();
    for (ValidationMessage* m : copies)
    {
        messages_.push_back(m);
        byText_.emplace(m->text.Node(), m);
        if (m->container != nullptr) ++owned_[m->container];
        if (m->tag != nullptr) ++owned_[m->tag];
    }
}

void ErrorHandler::Forget(ValidationMessage* m)
{
    auto [first, last] = byText_.equal_range(m->text.Node());
    for (auto it = first; it != last; ++it)
    {
        if (it->second != m) continue;
        byText_.erase(it);
        break;
    }
    delete m;
}

void ErrorHandler::RemoveOwned(const void* owner, bool isTag)
{
    auto count = owned_.find(owner);
    if (owner == nullptr || count == owned_.end()) return;
    owned_.erase(count);
    std::erase_if(messages_, [&](ValidationMessage* m) {
        if ((isTag ? static_cast<const void*>(m->tag) : static_cast<const void*>(m->container)) != owner) return false;
        Forget(m);
        return true;
    });
}

void ErrorHandler::RemoveTagMessage(const Tag* tag) { RemoveOwned(tag, true); }

void ErrorHandler::RemoveContainerMessage(const Container* container) { RemoveOwned(container, false); }

}  // namespace TETLib
