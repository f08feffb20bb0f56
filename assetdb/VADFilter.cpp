#include "assetdb/VADFilter.h"

VADFilterElementGroup::VADFilterElementGroup(const VADFilterElementGroup& o)
    : VADFilterElement(kGroup, 0), negated_(o.negated_)
{
    for (const auto& c : o.children_) children_.push_back(c->Clone());
}

VADFilterElementGroup& VADFilterElementGroup::operator=(const VADFilterElementGroup& o)
{
    if (this != &o)
    {
        std::vector<std::unique_ptr<VADFilterElement>> copy;
        for (const auto& c : o.children_) copy.push_back(c->Clone());
        children_ = std::move(copy);
        negated_ = o.negated_;
    }
    return *this;
}

VADFilterElement& VADFilterElementGroup::Add(VADFilterElement* element)
{
    return Add(std::unique_ptr<VADFilterElement>(element));
}

VADFilterElement& VADFilterElementGroup::Add(std::unique_ptr<VADFilterElement> element)
{
    children_.push_back(std::move(element));
    return *children_.back();
}

std::unique_ptr<VADFilterElement> VADFilterElementGroup::Clone() const
{
    return std::make_unique<VADFilterElementGroup>(*this);
}
std::unique_ptr<VADFilterElement> VADFilterElementString::Clone() const
{
    return std::make_unique<VADFilterElementString>(*this);
}
std::unique_ptr<VADFilterElement> VADFilterElementBool::Clone() const
{
    return std::make_unique<VADFilterElementBool>(*this);
}
std::unique_ptr<VADFilterElement> VADFilterElementInteger::Clone() const
{
    return std::make_unique<VADFilterElementInteger>(*this);
}
std::unique_ptr<VADFilterElement> VADFilterElementTime::Clone() const
{
    return std::make_unique<VADFilterElementTime>(*this);
}
std::unique_ptr<VADFilterElement> VADFilterElementAssetID::Clone() const
{
    return std::make_unique<VADFilterElementAssetID>(*this);
}

void VADEncodeFilter(VADWriter& w, const VADFilterElement& e)
{
    w.U8(e.GetType());
    switch (e.GetType())
    {
    case VADFilterElement::kGroup:
    {
        const auto& g = static_cast<const VADFilterElementGroup&>(e);
        w.Bool(g.IsNegated());
        w.U32(static_cast<uint32_t>(g.GetChildCount()));
        for (size_t i = 0; i < g.GetChildCount(); ++i) VADEncodeFilter(w, *g.GetChild(i));
        break;
    }
    case VADFilterElement::kString:
        w.U32(e.GetField());
        w.String(static_cast<const VADFilterElementString&>(e).GetValue());
        break;
    case VADFilterElement::kBool:
        w.U32(e.GetField());
        w.Bool(static_cast<const VADFilterElementBool&>(e).GetValue());
        break;
    case VADFilterElement::kInteger:
    {
        const auto& n = static_cast<const VADFilterElementInteger&>(e);
        w.U32(e.GetField());
        w.U8(n.GetCompare());
        w.I32(n.GetValue());
        break;
    }
    case VADFilterElement::kTime:
    {
        const auto& t = static_cast<const VADFilterElementTime&>(e);
        w.U32(e.GetField());
        w.U8(t.GetCompare());
        w.U64(t.GetValue());
        break;
    }
    case VADFilterElement::kAssetID:
        w.U32(e.GetField());
        w.Kuid(static_cast<const VADFilterElementAssetID&>(e).GetValue());
        break;
    }
}

namespace {

bool DecodeNode(VADReader& r, std::unique_ptr<VADFilterElement>& out, unsigned depth, unsigned& nodes)
{
    if (depth > kVADFilterMaxDepth || ++nodes > kVADFilterMaxNodes)
    {
        r.Fail();
        return false;
    }
    uint8_t type = r.U8();
    if (!r.Ok()) return false;
    switch (type)
    {
    case VADFilterElement::kGroup:
    {
        auto g = std::make_unique<VADFilterElementGroup>();
        g->SetNegated(r.U8() != 0);
        uint32_t n = r.Count(1);  // every node takes at least its type byte
        for (uint32_t i = 0; i < n && r.Ok(); ++i)
        {
            std::unique_ptr<VADFilterElement> child;
            if (!DecodeNode(r, child, depth + 1, nodes)) return false;
            g->Add(std::move(child));
        }
        out = std::move(g);
        break;
    }
    case VADFilterElement::kString:
    {
        uint32_t field = r.U32();
        std::string v = r.String();
        out = std::make_unique<VADFilterElementString>(field, v);
        break;
    }
    case VADFilterElement::kBool:
    {
        uint32_t field = r.U32();
        uint8_t v = r.U8();
        if (v > 1) r.Fail();
        out = std::make_unique<VADFilterElementBool>(field, v != 0);
        break;
    }
    case VADFilterElement::kInteger:
    {
        uint32_t field = r.U32();
        uint8_t cmp = r.U8();
        int32_t v = r.I32();
        if (cmp >= kVADCompareCount) r.Fail();
        out = std::make_unique<VADFilterElementInteger>(field, static_cast<VADFilterCompare>(cmp), v);
        break;
    }
    case VADFilterElement::kTime:
    {
        uint32_t field = r.U32();
        uint8_t cmp = r.U8();
        uint64_t v = r.U64();
        if (cmp >= kVADCompareCount) r.Fail();
        out = std::make_unique<VADFilterElementTime>(field, static_cast<VADFilterCompare>(cmp), v);
        break;
    }
    case VADFilterElement::kAssetID:
    {
        uint32_t field = r.U32();
        KUID k = r.Kuid();
        out = std::make_unique<VADFilterElementAssetID>(field, k);
        break;
    }
    default: r.Fail(); return false;
    }
    if (!r.Ok())
    {
        out.reset();
        return false;
    }
    return true;
}

}  // namespace

bool VADDecodeFilter(VADReader& r, std::unique_ptr<VADFilterElement>& out)
{
    unsigned nodes = 0;
    return DecodeNode(r, out, 0, nodes);
}
