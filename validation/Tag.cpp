#include "validation/Tag.h"

#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"

namespace TETLib {

Tag::Tag(int index, Container& owner, Orvo::PString name)
    : manager_(owner.Manager()), name_(std::move(name)), index_(index), owner_(&owner)
{
    ++manager_.liveTags_;
}

Tag::~Tag()
{
    manager_.Errors().RemoveTagMessage(this);
    manager_.ForgetObject(this);
    --manager_.liveTags_;
    owner_ = nullptr;
}

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
