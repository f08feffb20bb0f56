#include "validation/Tag.h"

#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"

namespace TETLib {
namespace {
// Process-wide: tags that exist anywhere, counted so that a leak shows.
std::atomic<long> g_liveTags{0};
}  // namespace

Tag::Tag(int index, Container* owner, Orvo::PString name) : name_(std::move(name)), index_(index), owner_(owner)
{
    ++g_liveTags;
}

Tag::~Tag()
{
    if (ErrorHandler* handler = ErrorHandler::Instance()) handler->RemoveTagMessage(this);
    if (DataManager::HasInstance()) DataManager::Instance()->ForgetObject(this);
    --g_liveTags;
    owner_ = nullptr;
}

long Tag::LiveCount() { return g_liveTags.load(); }

void Tag::AttachValidationRules(const TDBTagRef& definition)
{
    const TDBTagRef validation = definition.GetChildContainer("validation");
    for (size_t i = 0; i < validation.GetChildCount(); ++i)
    {
        const TagRuleFn rule = ValidationRuleRegistry::FindTagRule(validation.GetChildName(i).View());
        if (rule == nullptr) continue;
        ruleFns_.push_back(rule);
        ruleParams_.push_back(validation.GetChildContainerAt(i));
    }
}

bool Tag::RunValidationRules()
{
    bool passed = true;
    for (size_t i = 0; i < ruleFns_.size(); ++i)
    {
        if (!ruleFns_[i](*this, &ruleParams_[i])) passed = false;
    }
    return passed;
}

}  // namespace TETLib
