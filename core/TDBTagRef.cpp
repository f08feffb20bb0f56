#include "core/TDBTagRef.h"

#include "core/ACSConverter.h"
#include "core/SoupText.h"
#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"

#include <cstdio>

TDBTagRef& TDBTagRef::operator=(const TDBTagRef& o)
{
    if (o.p_) o.p_->AddRef();
    Release();
    p_ = o.p_;
    return *this;
}

TDBTagRef& TDBTagRef::operator=(TDBTagRef&& o) noexcept
{
    if (this != &o)
    {
        Release();
        p_ = o.p_;
        o.p_ = nullptr;
    }
    return *this;
}

void TDBTagRef::Release()
{
    if (p_) p_->Release();
    p_ = nullptr;
}

TDBTagRef TDBTagRef::NewContainer() { return TDBTagRef(new TDBContainerTag); }

TDBTagRef TDBTagRef::NewData(const ACSRawDataCore& data) { return TDBTagRef(new TDBDataTag(data)); }

TDBTagRef TDBTagRef::Null()
{
    // A handle holds its tag as changeable; the null tag refuses every change (TDBDataTag::SetData).
    return TDBTagRef(const_cast<TDBDataTag*>(TDBDataTag::SharedNull()));
}

TDBContainerTag* TDBTagRef::GetContainer() const { return IsContainer() ? static_cast<TDBContainerTag*>(p_) : nullptr; }

bool TDBTagRef::HasChild(ACSName name) const
{
    ACSChunk* c = p_ ? p_->GetChild(name) : nullptr;
    return c && c->GetType() != kACSNull;
}

uint8_t TDBTagRef::GetChildType(ACSName name) const
{
    ACSChunk* c = p_ ? p_->GetChild(name) : nullptr;
    return c ? c->GetType() : 0;
}

uint8_t TDBTagRef::GetChildTypeAt(size_t index) const
{
    ACSChunk* c = p_ ? p_->GetChildAt(index) : nullptr;
    return c ? c->GetType() : 0;
}

const Orvo::PString& TDBTagRef::GetChildName(size_t index) const
{
    return p_ ? p_->GetChildNameAt(index) : Orvo::PString::Empty();
}

TDBTagRef TDBTagRef::GetChild(ACSName name) const { return TDBTagRef(p_ ? p_->GetChild(name) : nullptr); }

TDBTagRef TDBTagRef::GetChildAt(size_t index) const { return TDBTagRef(p_ ? p_->GetChildAt(index) : nullptr); }

TDBTagRef TDBTagRef::GetChildContainer(ACSName name) const
{
    ACSChunk* c = p_ ? p_->GetChild(name) : nullptr;
    return TDBTagRef(c && c->IsContainer() ? c : nullptr);
}

TDBTagRef TDBTagRef::GetChildContainerAt(size_t index) const
{
    ACSChunk* c = p_ ? p_->GetChildAt(index) : nullptr;
    return TDBTagRef(c && c->IsContainer() ? c : nullptr);
}

const ACSRawDataCore* TDBTagRef::ChildData(ACSName name) const
{
    ACSChunk* c = p_ ? p_->GetChild(name) : nullptr;
    return c ? c->GetData() : nullptr;
}

namespace {
Orvo::String AsString(const ACSRawDataCore* d, std::string_view def)
{
    std::string s;
    if (d && ACSConverter::ToText(*d, s)) return Orvo::String(std::move(s));
    return Orvo::String(def);
}
int32_t AsInt(const ACSRawDataCore* d, int32_t def)
{
    int32_t v;
    return d && ACSConverter::ToInt(*d, v) ? v : def;
}
float AsFloat(const ACSRawDataCore* d, float def)
{
    float v;
    return d && ACSConverter::ToFloat(*d, v) ? v : def;
}
bool AsBool(const ACSRawDataCore* d, bool def)
{
    bool v;
    return d && ACSConverter::ToBool(*d, v) ? v : def;
}
KUID AsKUID(const ACSRawDataCore* d, const KUID& def)
{
    KUID v;
    return d && ACSConverter::ToKUID(*d, v) ? v : def;
}
}  // namespace

Orvo::String TDBTagRef::GetChildString(ACSName name, std::string_view def) const
{
    return AsString(ChildData(name), def);
}
int32_t TDBTagRef::GetChildInt(ACSName name, int32_t def) const { return AsInt(ChildData(name), def); }
float TDBTagRef::GetChildFloat(ACSName name, float def) const { return AsFloat(ChildData(name), def); }
bool TDBTagRef::GetChildBool(ACSName name, bool def) const { return AsBool(ChildData(name), def); }
KUID TDBTagRef::GetChildKUID(ACSName name, const KUID& def) const { return AsKUID(ChildData(name), def); }

Orvo::String TDBTagRef::GetString(std::string_view def) const { return AsString(GetData(), def); }
int32_t TDBTagRef::GetInt(int32_t def) const { return AsInt(GetData(), def); }
float TDBTagRef::GetFloat(float def) const { return AsFloat(GetData(), def); }
bool TDBTagRef::GetBool(bool def) const { return AsBool(GetData(), def); }
KUID TDBTagRef::GetKUID(const KUID& def) const { return AsKUID(GetData(), def); }

bool TDBTagRef::GetChildFloats(ACSName name, std::vector<float>& out) const
{
    const ACSRawDataCore* d = ChildData(name);
    return d && ACSConverter::ToFloats(*d, out);
}

namespace {
// Every element of a value of the array type T, else the one value it converts to; appended.
template <typename T>
bool AppendValues(const ACSRawDataCore* d, uint8_t arrayType, std::vector<T> (ACSRawDataCore::*all)() const,
                  bool (*convert)(const ACSRawDataCore&, T&), std::vector<T>& out)
{
    if (!d) return false;
    if (d->GetType() == arrayType)
    {
        auto v = (d->*all)();
        out.insert(out.end(), v.begin(), v.end());
        return !v.empty();
    }
    T one;
    if (!convert(*d, one)) return false;
    out.push_back(one);
    return true;
}
}  // namespace

bool TDBTagRef::GetChildInts(ACSName name, std::vector<int32_t>& out) const
{
    return AppendValues(ChildData(name), kACSInteger, &ACSRawDataCore::GetInts, &ACSConverter::ToInt, out);
}

bool TDBTagRef::GetChildKUIDs(ACSName name, std::vector<KUID>& out) const
{
    return AppendValues(ChildData(name), kACSKUID, &ACSRawDataCore::GetKUIDs, &ACSConverter::ToKUID, out);
}

bool TDBTagRef::EnsureContainer()
{
    if (IsNull()) *this = NewContainer();
    return IsContainer();
}

bool TDBTagRef::SetChildValue(ACSName name, ACSRawDataCore&& data)
{
    if (!EnsureContainer()) return false;
    auto* c = static_cast<TDBContainerTag*>(p_);
    // Hold the name first: it may be the very child's name (GetChildName), which the removal destroys.
    const Orvo::PString key = name.Intern();
    c->RemoveChild(key);
    ACSChunk* tag = c->CreateDataTag(key);
    return tag->SetData(std::move(data));
}

namespace {
// A value filled in by `fill`.
template <typename Fill>
ACSRawDataCore Made(Fill fill)
{
    ACSRawDataCore d;
    fill(d);
    return d;
}
}  // namespace

bool TDBTagRef::SetChildString(ACSName name, std::string_view value)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetString(value); }));
}

bool TDBTagRef::SetChildInt(ACSName name, int32_t value)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetInt(value); }));
}

bool TDBTagRef::SetChildInts(ACSName name, const std::vector<int32_t>& values)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetInts(values.data(), values.size()); }));
}

bool TDBTagRef::SetChildFloat(ACSName name, float value)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetFloat(value); }));
}

bool TDBTagRef::SetChildFloats(ACSName name, const float* values, size_t count)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetFloats(values, count); }));
}

bool TDBTagRef::SetChildBool(ACSName name, bool value) { return SetChildInt(name, value ? 1 : 0); }

bool TDBTagRef::SetChildKUID(ACSName name, const KUID& value)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetKUID(value); }));
}

bool TDBTagRef::SetChildKUIDs(ACSName name, const std::vector<KUID>& values)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetKUIDs(values.data(), values.size()); }));
}

bool TDBTagRef::SetChildBinary(ACSName name, const void* data, size_t size)
{
    return SetChildValue(name, Made([&](ACSRawDataCore& d) { d.SetBinary(data, size); }));
}

bool TDBTagRef::SetChildNull(ACSName name) { return SetChildValue(name, ACSRawDataCore()); }

bool TDBTagRef::SetChildData(ACSName name, const ACSRawDataCore& data)
{
    return SetChildValue(name, ACSRawDataCore(data));
}

bool TDBTagRef::SetChildTag(ACSName name, const TDBTagRef& tag)
{
    if (!tag.p_ || !EnsureContainer()) return false;
    if (tag.p_->Contains(p_)) return false;
    // Hold the tag and the name while the old child goes: either may belong to the child being replaced.
    TDBTagRef keep = tag;
    const Orvo::PString key = name.Intern();
    p_->RemoveChild(key);
    return p_->AddChild(key, keep.p_);
}

bool TDBTagRef::AddChildTag(ACSName name, const TDBTagRef& tag)
{
    if (!tag.p_ || !EnsureContainer()) return false;
    return p_->AddChild(name, tag.p_);
}

void TDBTagRef::RemoveChild(ACSName name)
{
    if (p_) p_->RemoveChild(name);
}

TDBTagRef TDBTagRef::CreateChildContainer(ACSName name)
{
    if (!EnsureContainer()) return TDBTagRef();
    return TDBTagRef(p_->CreateContainer(name));
}

TDBTagRef TDBTagRef::Clone() const
{
    if (!p_) return TDBTagRef();
    return Adopt(p_->Clone());
}

std::string TDBTagRef::ToText() const
{
    std::string out;
    WriteSoupText(*this, out);
    return out;
}

void TDBTagRef::PrintToConsole() const
{
    std::string text = ToText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool TDBTagRef::GetCameraFloats(const TDBTagRef& tree, std::vector<float>& out)
{
    if (tree.IsNull()) return false;
    return tree.GetChildFloats("camera", out);
}
