#include "core/ACSConverter.h"
#include "core/SoupText.h"

#include "engine/ConfigParser.h"

#include <string_view>

namespace {

void AppendName(std::string& out, std::string_view name) { Orvo::AppendConfigName(out, name); }

void AppendQuoted(std::string& out, std::string_view text) { Orvo::AppendQuotedConfigString(out, text); }

void AppendValue(std::string& out, const ACSRawDataCore& d)
{
    const size_t n = d.GetCount();
    // An empty array has no items to print: it is spelled by its type, so that it does not read back as a
    // null tag.
    if (n == 0)
    {
        switch (d.GetType())
        {
        case kACSFloat: out.append("#float[]"); return;
        case kACSInteger: out.append("#int[]"); return;
        case kACSKUID: out.append("#kuid[]"); return;
        default: break;
        }
    }
    switch (d.GetType())
    {
    case kACSString: AppendQuoted(out, d.GetString()); break;
    case kACSFloat:
        for (size_t i = 0; i < n; ++i)
        {
            if (i) out.push_back(',');
            ACSConverter::AppendFloat(out, d.GetFloat(i), true);
        }
        break;
    case kACSInteger:
    case kACSKUID:
    {
        std::string t;
        ACSConverter::ToText(d, t);
        out.append(t);
        break;
    }
    case kACSBinary:
    {
        static const char hex[] = "0123456789abcdef";
        out.push_back('"');
        const uint8_t* b = d.GetBytes();
        for (size_t i = 0; i < d.GetByteSize(); ++i)
        {
            out.push_back(hex[b[i] >> 4]);
            out.push_back(hex[b[i] & 15]);
        }
        out.push_back('"');
        break;
    }
    default: break;
    }
}

void Indent(std::string& out, int depth) { out.append(static_cast<size_t>(depth), '\t'); }

// A quoted name ends with its line, so a name holding a line break cannot be written to read back as
// itself: the text after the break would read as tags of its own.
bool Writable(std::string_view name) { return name.find_first_of("\r\n") == std::string_view::npos; }

bool WriteChildren(const ACSChunk& c, std::string& out, int depth)
{
    bool ok = true;
    const size_t n = c.GetChildCount();
    for (size_t i = 0; i < n; ++i)
    {
        const ACSChunk* child = c.GetChildAt(i);
        Indent(out, depth);
        const std::string_view name = c.GetChildNameAt(i).View();
        ok = Writable(name) && ok;
        AppendName(out, name);
        if (child->IsContainer())
        {
            out.push_back('\n');
            Indent(out, depth);
            out.append("{\n");
            ok = WriteChildren(*child, out, depth + 1) && ok;
            Indent(out, depth);
            out.append("}\n");
            continue;
        }
        const ACSRawDataCore* d = child->GetData();
        if (d && d->GetType() != kACSNull)
        {
            out.push_back('\t');
            AppendValue(out, *d);
        }
        out.push_back('\n');
    }
    return ok;
}

}  // namespace

bool WriteSoupText(const TDBTagRef& tag, std::string& out)
{
    if (!tag.Get()) return true;
    if (tag.IsContainer()) return WriteChildren(*tag.Get(), out, 0);
    if (const ACSRawDataCore* d = tag.GetData()) AppendValue(out, *d);
    out.push_back('\n');
    return true;
}
