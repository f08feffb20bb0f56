#include "core/ACSConverter.h"
#include "core/SoupText.h"
#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"

#include "engine/ConfigParser.h"

namespace {

void Build(const Orvo::ConfigData& item, TDBContainerTag& into)
{
    into.Reserve(item.children.size());
    for (const Orvo::ConfigData& c : item.children)
    {
        Orvo::PString name(c.name);
        if (c.kind == Orvo::ConfigData::Container)
        {
            auto* sub = new TDBContainerTag;
            sub->AddRef();
            into.AdoptNewChild(std::move(name), sub);
            Build(c, *sub);
            continue;
        }
        auto* tag = new TDBDataTag;
        tag->AddRef();
        if (c.kind == Orvo::ConfigData::QuotedString)
            tag->Data().SetString(c.value);
        else if (c.kind == Orvo::ConfigData::Raw)
            ACSConverter::FromRawText(c.value, tag->Data());
        into.AdoptNewChild(std::move(name), tag);
    }
}

}  // namespace

bool ReadSoupText(std::string_view text, const char* fileName, TDBTagRef& out)
{
    out.Release();
    Orvo::ConfigParser parser;
    if (parser.ParseText(text, fileName ? fileName : "<text>") != Orvo::ConfigParser::Ok) return false;
    const Orvo::ConfigData* root = parser.GetRoot();
    if (!root) return false;
    TDBTagRef tree = TDBTagRef::NewContainer();
    Build(*root, *tree.GetContainer());
    out = std::move(tree);
    return true;
}
