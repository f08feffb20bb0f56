// The validation container's life and bookkeeping: construction and destruction, its tags and children,
// its rules, and the data manager's registry test that reads container names.
#include "validation/Container.h"

#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationHooks.h"

namespace TETLib {
namespace {

// The registry lists that belong to one asset and are emptied when its root container goes.
constexpr const char* kAssetRegistries[] = {"mesh-table", "attached-track", "queues"};

bool IsKeyTagName(const Orvo::PString& name)
{
    return name.EqualsNoCase(std::string_view("kuid")) || name.EqualsNoCase(std::string_view("username"));
}

}  // namespace

Container::Container(DataManager& manager) : manager_(manager) { ++manager_.liveContainers_; }

Container::~Container()
{
    extensions_.reset();
    manager_.Errors().RemoveContainerMessage(this);
    manager_.RemoveMeshOf(this);
    --manager_.liveContainers_;
    // The registry holds the containers of one asset: its root empties it at once, so that the many
    // children that follow need not each be looked for there.
    if (parent_ == nullptr) manager_.ClearRegisteredContainers();
    for (std::vector<Tag*>* list : {&tags_, &keyTags_, &optionalTags_})
    {
        std::vector<Tag*> doomed;
        doomed.swap(*list);
        for (Tag* t : doomed) delete t;
    }
    manager_.UnregisterContainer(this);
    std::vector<Container*> children;
    children.swap(children_);
    for (Container* c : children) delete c;
    if (parent_ == nullptr)
    {
        manager_.PurgeLoadedMeshes();
        for (const char* name : kAssetRegistries) manager_.ClearRegisteredContainers(Orvo::PString(name));
    }
    else
    {
        std::erase(parent_->children_, this);
    }
}

ErrorHandler& Container::Errors() const { return manager_.Errors(); }

Container* Container::GetRoot()
{
    Container* c = this;
    while (c->parent_ != nullptr) c = c->parent_;
    return c;
}

const Container* Container::GetRoot() const
{
    const Container* c = this;
    while (c->parent_ != nullptr) c = c->parent_;
    return c;
}

bool Container::IsRequiredForBuild(float build) const
{
    const float asset = manager_.GetAssetBuild();
    return Build::RoundedHundredths(asset) >= Build::RoundedHundredths(build);
}

Tag* Container::CreateTag(int index, Container* owner, const Orvo::PString& name)
{
    return new Tag(index, *owner, name);
}

Tag* Container::FindTag(std::string_view name) const
{
    for (Tag* t : tags_)
        if (Orvo::EqualsNoCase(t->GetName().View(), name)) return t;
    for (Tag* t : keyTags_)
        if (Orvo::EqualsNoCase(t->GetName().View(), name)) return t;
    return nullptr;
}

Container* Container::FindChild(std::string_view name) const
{
    for (Container* c : children_)
        if (Orvo::EqualsNoCase(c->GetName().View(), name)) return c;
    return nullptr;
}

Tag* Container::FindOrCreateTag(Container* owner, const Orvo::PString& name, const TDBTagRef& definition,
                                const TDBTagRef* config)
{
    if (Tag* existing = owner->FindTag(name.View())) return existing;
    Tag* tag = CreateTag(static_cast<int>(owner->tags_.size()), owner, name);
    Orvo::String value;
    if (config != nullptr) value = config->GetChildString(name);
    if (!value.empty())
        tag->SetValue(Orvo::PString(value.View()));
    else if (definition.HasChild("default"))
    {
        const Orvo::String def = definition.GetChildString("default");
        tag->SetValue(def.View() == "parent" ? owner->GetName() : Orvo::PString(def.View()));
        // A value the template supplies stands in for a missing one.
        tag->SetMark(true);
    }
    return tag;
}

void Container::AddTag(Tag* tag)
{
    if (IsKeyTagName(tag->GetName()))
        keyTags_.push_back(tag);
    else
        tags_.push_back(tag);
}

void Container::RemoveOwnedTag(const Orvo::PString& name)
{
    for (auto it = tags_.begin(); it != tags_.end(); ++it)
    {
        if ((*it)->GetName() != name) continue;
        Tag* doomed = *it;
        tags_.erase(it);
        delete doomed;
        return;
    }
}

void Container::AddChildContainer(Container* child) { children_.push_back(child); }

void Container::MoveKeyTagsFirst()
{
    tags_.insert(tags_.begin(), keyTags_.begin(), keyTags_.end());
    keyTags_.clear();
}

Container* Container::CreateChildContainer(const Orvo::PString& name, Container* parent, int index,
                                           const Orvo::PString& definitionName, const TDBTagRef& config)
{
    const TDBTagRef definition = GetTemplateContainer(definitionName);
    if (definition.IsNull())
    {
        ReportError(Errors(), "$tet_container_nocontainerdefinition", {{"CONT_NAME", definitionName.View()}});
        return nullptr;
    }
    auto* child = new Container(manager_);
    child->name_ = name;
    child->parent_ = parent;
    child->index_ = index;
    child->definitionName_ = definitionName;
    child->definition_ = definition;
    child->config_ = config;
    child->exportName_ = Orvo::PString(definition.GetChildString("savingname").View());
    return child;
}

void Container::SetExtensions(const TDBTagRef& extensions)
{
    extensions_ = std::make_unique<TDBTagRef>(extensions.Clone());
}

void Container::AddValidationRule(ContainerRuleFn rule, const TDBTagRef& params)
{
    ruleFns_.push_back(rule);
    ruleParams_.push_back(params);
}

bool Container::RunValidationRules()
{
    bool passed = true;
    for (size_t i = 0; i < ruleFns_.size(); ++i)
    {
        if (!ruleFns_[i](*this, &ruleParams_[i])) passed = false;
    }
    return passed;
}

bool DataManager::IsKnownName(const Orvo::PString& name, const Orvo::PString& registry) const
{
    auto it = containersByName_.find(registry.ToLower());
    if (it != containersByName_.end())
    {
        for (const Container* c : it->second)
            if (c->GetName().EqualsNoCase(name)) return true;
    }
    for (const auto& [owner, mesh] : meshes_)
        if (mesh && mesh->HasAttachmentPoint(name.View())) return true;
    return false;
}

}  // namespace TETLib
