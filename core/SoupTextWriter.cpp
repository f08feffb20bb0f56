#include "core/ACSConverter.h"
#include "core/SoupText.h"

#include "engine/ConfigParser.h"

namespace {

void AppendName(std::string& out, std::string_view name) { Orvo::AppendConfigName(out, name); }

void AppendQuoted(std::string& out, std::string_view text) { Orvo::AppendQuotedConfigString(out, text); }

void AppendValue(std::string& out, const ACSRawDataCore& d)
{
    const size_t n = d.GetCount();
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

void WriteChildren(const ACSChunk& c, std::string& out, int depth)
{
    const size_t n = c.GetChildCount();
    for (size_t i = 0; i < n; ++i)
    {
        const ACSChunk* child = c.GetChildAt(i);
        Indent(out, depth);
        AppendName(out, c.GetChildNameAt(i).View());
        if (child->IsContainer())
        {
            out.push_back('\n');
            Indent(out, depth);
            out.append("{\n");
            WriteChildren(*child, out, depth + 1);
            Indent(out, depth);
            out.append("}\n");
            continue;
        }
        const ACSRawDataCore* d = child->GetData();
        // Empty arrays have no text; they print like a null tag.
        if (d && d->GetType() != kACSNull && (d->GetCount() > 0 || d->GetType() == kACSString ||
                                              d->GetType() == kACSBinary))
        {
            out.push_back('\t');
            AppendValue(out, *d);
        }
        out.push_back('\n');
    }
}

}  // namespace

void WriteSoupText(const TDBTagRef& tag, std::string& out)
{
    if (!tag.Get()) return;
    if (tag.IsContainer())
    {
        WriteChildren(*tag.Get(), out, 0);
        return;
    }
    if (const ACSRawDataCore* d = tag.GetData()) AppendValue(out, *d);
    out.push_back('\n');
}
