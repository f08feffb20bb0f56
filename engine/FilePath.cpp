#include "engine/FilePath.h"

#include "engine/PathComponents.h"
#include "engine/TextCase.h"

#include <vector>

namespace Orvo {

File::Path& File::Path::Set(std::string_view text)
{
    p_.assign(text);
    for (char& c : p_)
        if (c == '\\') c = '/';
    return *this;
}

File::Path& File::Path::AddPath(std::string_view relative)
{
    std::string rel(relative);
    for (char& c : rel)
        if (c == '\\') c = '/';
    size_t b = 0;
    while (b < rel.size() && rel[b] == '/') ++b;
    if (b == rel.size()) return *this;
    if (!p_.empty() && p_.back() != '/') p_.push_back('/');
    p_.append(rel, b, std::string::npos);
    return *this;
}

File::Path& File::Path::Add(std::string_view text)
{
    size_t at = p_.size();
    p_.append(text);
    for (size_t i = at; i < p_.size(); ++i)
        if (p_[i] == '\\') p_[i] = '/';
    return *this;
}

size_t File::Path::NameStart() const
{
    size_t slash = p_.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

File::Path& File::Path::DelName()
{
    p_.resize(NameStart());
    return *this;
}

File::Path& File::Path::DelSlash()
{
    while (p_.size() > 1 && p_.back() == '/') p_.pop_back();
    return *this;
}

File::Path& File::Path::Normalise()
{
    if (p_.empty()) return *this;
    bool absolute = p_[0] == '/';
    bool trailing = p_.back() == '/';
    std::vector<std::string> parts;
    SplitPathComponents(p_, false, absolute, parts);
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k)
    {
        if (k) out.push_back('/');
        out.append(parts[k]);
    }
    if (trailing && !parts.empty()) out.push_back('/');
    if (out.empty() && !absolute) out = trailing ? "./" : ".";
    p_ = std::move(out);
    return *this;
}

String File::Path::GetFileName() const { return String(std::string_view(p_).substr(NameStart())); }
String File::Path::GetFolder() const { return String(std::string_view(p_).substr(0, NameStart())); }

String File::Path::GetExt() const
{
    std::string_view name = std::string_view(p_).substr(NameStart());
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? String() : String(name.substr(dot + 1));
}

bool File::Path::IsExt(std::string_view ext) const
{
    if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
    std::string_view name = std::string_view(p_).substr(NameStart());
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    return EqualsNoCase(name.substr(dot + 1), ext);
}

File::Path& File::Path::DelExt()
{
    size_t start = NameStart();
    size_t dot = p_.rfind('.');
    if (dot != std::string::npos && dot >= start) p_.resize(dot);
    return *this;
}

File::Path& File::Path::SetExt(std::string_view ext)
{
    if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
    DelExt();
    if (!ext.empty())
    {
        p_.push_back('.');
        p_.append(ext);
    }
    return *this;
}

File::Path File::Path::RelativeTo(const Path& base) const
{
    Path me(*this), b(base);
    me.Normalise();
    b.Normalise().DelSlash();
    std::string_view mv(me.p_), bv(b.p_);
    if (bv.empty() || bv == ".") return me;
    if (mv.size() < bv.size() || !EqualsNoCase(mv.substr(0, bv.size()), bv)) return *this;
    if (mv.size() == bv.size()) return Path();
    if (bv.back() == '/') return Path(mv.substr(bv.size()));  // base is the root
    if (mv[bv.size()] != '/') return *this;                   // "a/bc" is not inside "a/b"
    return Path(mv.substr(bv.size() + 1));
}

String File::Path::ReplaceForwardSlashes() const
{
    String out(p_);
    for (size_t i = 0; i < out.Length(); ++i)
        if (out[i] == '/') out[i] = '\\';
    return out;
}

}  // namespace Orvo
