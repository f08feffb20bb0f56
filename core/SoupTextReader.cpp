#include "core/ACSConverter.h"
#include "core/SoupArena.h"
#include "core/SoupText.h"
#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"

#include "engine/ConfigParser.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Builds the tree straight from the parser's items: no intermediate tree is made and freed. The nodes, their
// longer values and their child lists are made in one arena for the tree. The children of each open container
// are gathered first and moved in when it closes, so that each list is made once at its final size.
class SoupBuilder final : public Orvo::ConfigParserSink
{
public:
    using Children = std::vector<std::pair<Orvo::PString, ACSChunk*>>;

    SoupBuilder(SoupArena& arena, TDBContainerTag* root) : arena_(arena), open_{root}, pending_(1) {}
    // After a failed parse the children gathered so far are dropped.
    ~SoupBuilder() override
    {
        for (Children& level : pending_)
            for (auto& c : level) c.second->Release();
    }
    SoupBuilder(const SoupBuilder&) = delete;
    SoupBuilder& operator=(const SoupBuilder&) = delete;

    void OnItem(std::string_view name, Orvo::ConfigData::Kind kind, std::string_view value, bool, int) override
    {
        Children& into = pending_[open_.size() - 1];
        if (kind == Orvo::ConfigData::Container)
        {
            auto* sub = arena_.New<TDBContainerTag>();
            sub->AddRef();
            into.emplace_back(Name(name), sub);
            open_.push_back(sub);
            if (pending_.size() < open_.size()) pending_.emplace_back();
            return;
        }
        auto* tag = arena_.New<TDBDataTag>();
        tag->AddRef();
        into.emplace_back(Name(name), tag);
        if (kind == Orvo::ConfigData::QuotedString)
        {
            void* copy = value.size() > 16 ? arena_.Allocate(value.size()) : nullptr;
            if (copy)
                tag->Data().SetBorrowed(
                    kACSString, static_cast<const char*>(std::memcpy(copy, value.data(), value.size())), value.size());
            else
                tag->Data().SetString(value);
        }
        else if (kind == Orvo::ConfigData::Raw)
            ACSConverter::FromRawText(value, tag->Data());
    }
    void OnClose() override { Close(); }

    // Moves the innermost open container's children into it and closes it (the root last).
    void Close()
    {
        open_.back()->AdoptNewChildren(pending_[open_.size() - 1]);
        open_.pop_back();
    }

private:
    // The interned name. Files repeat a few names many times: the last handle of each is kept here, which
    // is cheaper than looking the text up in the process-wide table again.
    const Orvo::PString& Name(std::string_view name)
    {
        size_t h = name.size();
        for (char c : name) h = h * 31 + static_cast<unsigned char>(c);
        std::optional<Orvo::PString>& slot = names_[h & (names_.size() - 1)];
        if (!slot || slot->View() != name) slot.emplace(name);
        return *slot;
    }

    SoupArena& arena_;
    std::vector<TDBContainerTag*> open_;                  // the open containers, the root first
    std::vector<Children> pending_;                       // the children read so far of each open container
    std::array<std::optional<Orvo::PString>, 64> names_;  // filled as names are met
};

}  // namespace

bool ReadSoupText(std::string_view text, const char* fileName, TDBTagRef& out)
{
    out.Release();
    SoupArena* arena = SoupArena::Create(text.size());
    // The arena lives as long as the nodes made in it, once the building is over.
    struct Seal
    {
        SoupArena* arena;
        ~Seal() { arena->Seal(); }
    } seal{arena};
    TDBTagRef tree(arena->New<TDBContainerTag>());
    bool ok;
    {
        SoupBuilder builder(*arena, tree.GetContainer());
        Orvo::ConfigParser parser;
        ok = parser.ParseText(text, builder, fileName ? fileName : "<text>") == Orvo::ConfigParser::Ok;
        if (ok) builder.Close();
    }
    if (ok) out = std::move(tree);
    return ok;
}
