#include "validation/MessageText.h"

#include "core/InterfaceTextDB.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/Tag.h"

#include <algorithm>
#include <vector>

namespace TETLib {

std::string FillMessage(std::string_view text, std::initializer_list<MessageParam> params)
{
    // The first occurrence of each placeholder in the text itself, then one pass in text order.
    struct Cut
    {
        size_t at;
        size_t length;
        std::string_view value;
    };
    std::vector<Cut> cuts;
    for (const MessageParam& p : params)
    {
        std::string macro = "$(";
        macro.append(p.name);
        macro.push_back(')');
        const size_t at = text.find(macro);
        if (at == std::string_view::npos) continue;
        bool overlaps = false;
        for (const Cut& c : cuts) overlaps = overlaps || (at < c.at + c.length && c.at < at + macro.size());
        if (!overlaps) cuts.push_back({at, macro.size(), p.value});
    }
    std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) { return a.at < b.at; });
    std::string out;
    out.reserve(text.size() + 32);
    size_t from = 0;
    for (const Cut& c : cuts)
    {
        out.append(text.substr(from, c.at - from));
        out.append(c.value);
        from = c.at + c.length;
    }
    out.append(text.substr(from));
    return out;
}

Orvo::PString BuildMessage(std::string_view key, std::initializer_list<MessageParam> params)
{
    const Orvo::PString text = InterfaceTextDB::GetString(key);
    if (params.size() == 0) return text;
    return Orvo::PString(FillMessage(text.View(), params));
}

Orvo::PString FormatMessage(std::string_view key, std::initializer_list<FormatArg> args)
{
    const Orvo::PString format = InterfaceTextDB::GetString(key);
    const std::string_view f = format.View();
    const FormatArg* next = args.begin();
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
    {
        if (f[i] != '%' || i + 1 >= f.size())
        {
            out.push_back(f[i]);
            continue;
        }
        const char spec = f[i + 1];
        if (spec == '%')
        {
            out.push_back('%');
            ++i;
            continue;
        }
        if (spec != 's' && spec != 'd')
        {
            out.push_back('%');
            continue;
        }
        ++i;
        if (next == args.end()) continue;
        const FormatArg& a = *next++;
        if (a.isText)
            out.append(a.text);
        else
            out.append(std::to_string(a.number));
    }
    return Orvo::PString(out);
}

namespace {

bool Record(ErrorHandler& handler, int severity, std::string_view key, std::initializer_list<MessageParam> params)
{
    const Orvo::PString text = BuildMessage(key, params);
    if (severity == kSeverityError) return handler.Error(text);
    if (severity == kSeverityWarning) return handler.Warning(text);
    return handler.Message(text);
}

template <typename Owner>
bool Report(int severity, Owner* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    ErrorHandler& handler = owner->Manager().Errors();
    const Orvo::PString text = BuildMessage(key, params);
    if (severity == kSeverityError) return handler.Error(text, owner);
    if (severity == kSeverityWarning) return handler.Warning(text, owner);
    return handler.Message(text, owner);
}

}  // namespace

bool ReportError(ErrorHandler& errors, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Record(errors, kSeverityError, key, params);
}
bool ReportError(Container* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(kSeverityError, owner, key, params);
}
bool ReportError(Tag* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(kSeverityError, owner, key, params);
}
bool ReportWarning(ErrorHandler& errors, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Record(errors, kSeverityWarning, key, params);
}
bool ReportWarning(Container* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(kSeverityWarning, owner, key, params);
}
bool ReportWarning(Tag* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(kSeverityWarning, owner, key, params);
}
bool ReportBySeverity(bool error, ErrorHandler& errors, std::string_view key,
                      std::initializer_list<MessageParam> params)
{
    return Record(errors, error ? kSeverityError : kSeverityWarning, key, params);
}
bool ReportBySeverity(bool error, Tag* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(error ? kSeverityError : kSeverityWarning, owner, key, params);
}
bool ReportBySeverity(bool error, Container* owner, std::string_view key, std::initializer_list<MessageParam> params)
{
    return Report(error ? kSeverityError : kSeverityWarning, owner, key, params);
}

void Trace(Container* owner, std::string_view text)
{
    ErrorHandler& handler = owner->Manager().Errors();
    if (handler.WantsTrace()) handler.Trace(Orvo::PString(text), owner);
}

}  // namespace TETLib
