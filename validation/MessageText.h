#pragma once
// Validation findings as texts: the interface text of a key with its "$(NAME)" placeholders filled.
//
// The placeholders are found in the key's own text and each is replaced at its first occurrence there,
// all in one pass: a value is never searched again, so a tag name or value written in an asset that
// happens to contain "$(CONT_NAME)" shows as written instead of pulling in another placeholder's value.
#include "engine/PString.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace TETLib {

class Container;
class ErrorHandler;
class Tag;

struct MessageParam
{
    std::string_view name;  // without "$(" and ")", e.g. "TAG_NAME"
    std::string_view value;
};

// The interface text of `key` (the key itself when the table lacks it) with the placeholders filled.
Orvo::PString BuildMessage(std::string_view key, std::initializer_list<MessageParam> params = {});
// The same on a given text rather than a key's.
std::string FillMessage(std::string_view text, std::initializer_list<MessageParam> params);

// The interface text of `key` used as a printf format with string (%s) and integer (%d) arguments, in
// order. Only "%s", "%d" and "%%" are understood; anything else is copied as it stands, and a missing
// argument inserts nothing, so a text from a translation cannot make the program read what was not given.
struct FormatArg
{
    bool isText;
    std::string_view text;
    long long number;
    FormatArg(std::string_view t) : isText(true), text(t), number(0) {}
    FormatArg(const char* t) : isText(true), text(t ? t : ""), number(0) {}
    FormatArg(long long n) : isText(false), number(n) {}
    FormatArg(int n) : isText(false), number(n) {}
    FormatArg(unsigned n) : isText(false), number(n) {}
};
Orvo::PString FormatMessage(std::string_view key, std::initializer_list<FormatArg> args);

// Builds a message and hands it to the error handler with the given severity (3 error, 2 warning,
// 0 message) and owner: the owner's (its data manager's) handler, or the one given for a message about
// the asset as a whole. True when it was recorded (false for a repeat). An owner is never null.
bool ReportError(ErrorHandler& errors, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportError(Container* owner, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportError(Tag* owner, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportWarning(ErrorHandler& errors, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportWarning(Container* owner, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportWarning(Tag* owner, std::string_view key, std::initializer_list<MessageParam> params = {});
// An error when `error`, else a warning.
bool ReportBySeverity(bool error, ErrorHandler& errors, std::string_view key,
                      std::initializer_list<MessageParam> params = {});
bool ReportBySeverity(bool error, Tag* owner, std::string_view key, std::initializer_list<MessageParam> params = {});
bool ReportBySeverity(bool error, Container* owner, std::string_view key,
                      std::initializer_list<MessageParam> params = {});

// Progress texts of the walk; discarded by the owner's error handler, formed only when it listens.
void Trace(Container* owner, std::string_view text);

}  // namespace TETLib
