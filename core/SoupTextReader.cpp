#include "core/ACSConverter.h"
#include "core/SoupText.h"
#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"

#include "engine/ConfigParser.h"

#include <vector>

namespace {

// Builds the tree straight from the parser's items: no intermediate tree is made and freed.
class SoupBuilder final : public Orvo::ConfigParserSink
{
public:
    explicit SoupBuilder(TDBContainerTag* root) { stack_.push_back(root); }

    void OnItem(std::string_view name, Orvo::ConfigData::Kind kind, std::string_view value, bool, int) override
    {
        TDBContainerTag& into = *stack_.back();
        if (kind == Orvo::ConfigData::Container)
        {
            auto* sub = new TDBContainerTag;
            sub->AddRef();
            into.AdoptNewChild(name, sub);
            stack_.push_back(sub);
            return;
        }
        auto* tag = new TDBDataTag;
        tag->AddRef();
        into.AdoptNewChild(name, tag);
        if (kind == Orvo::ConfigData::QuotedString)
            tag->Data().SetString(value);
        else if (kind == Orvo::ConfigData::Raw)
            ACSConverter::FromRawText(value, tag->Data());
    }
    void OnClose() override { stack_.pop_back(); }

private:
    std::vector<TDBContainerTag*> stack_;
};

}  // namespace

bool ReadSoupText(std::string_view text, const char* fileName, TDBTagRef& out)
{
    out.Release();
    TDBTagRef tree = TDBTagRef::NewContainer();
    SoupBuilder builder(tree.GetContainer());
    Orvo::ConfigParser parser;
    if (parser.ParseText(text, builder, fileName ? fileName : "<text>") != Orvo::ConfigParser::Ok) return false;
    out = std::move(tree);
    return true;
}
