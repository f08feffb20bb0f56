#pragma once
// One configuration container under check, paired with its template definition, with the tags and
// nested containers that checking makes from it.
//
// The root container of an asset is set up by CheckKind, which also walks the configuration (CheckTags);
// every nested container is made during that walk and owned by its parent. Export then writes the
// container back out through one writer per tag type, checking each value and running the named rules.
//
// Template definitions are shared with the data manager and never changed: the one step that changes a
// definition (ApplyObsoleteTags) works on a copy of its own. Names of configuration children and of
// definitions are looked up without regard to case.
#include "core/TDBTagRef.h"
#include "engine/PString.h"
#include "validation/RuleRegistry.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace TETLib {

class DataManager;
class ErrorHandler;
class Tag;
class ValidationMesh;

// A named definition, as the inheritance walk collects them.
struct NamedDefinition
{
    Orvo::PString name;
    TDBTagRef definition;
};

// Compulsory entries of a definition: name (lower-cased key) to the build they are required from.
struct CompulsoryEntry
{
    Orvo::PString name;
    float build = 0.0f;
};
using CompulsoryMap = std::map<std::string, CompulsoryEntry>;

class Container
{
public:
    // A root container checked with the templates, registries and error handler of `manager`, which must
    // outlive it; the containers and tags made from it share the manager.
    explicit Container(DataManager& manager);
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    virtual ~Container();

    // --- the root: kind check, walk, export ---
    // Records the asset's build, warns about old assets, lets the normaliser rewrite the configuration,
    // chooses the kind's definition, loads it and walks the configuration against it. False when the
    // asset has no kind or the kind no definition, or the walk stopped.
    virtual bool CheckKind(TDBTagRef config);
    // Walks `config` against `definition`, filling `target` (this container at the root, a child below).
    virtual bool CheckTags(const TDBTagRef& config, const TDBTagRef& definition, Container* target);
    // Writes the container out as a configuration tree, checking every tag; false when a check failed.
    virtual bool Export(TDBTagRef& out);

    // --- templates ---
    virtual void LoadTemplate(const TDBTagRef& definition, bool walkFollows);
    // The data manager's definition of that name (shared: do not change it), or a null handle.
    virtual TDBTagRef GetTemplateContainer(const Orvo::PString& name) const;
    virtual void LoadContainerRules(const TDBTagRef& definition, Container* receiver);
    void AddElementDefinition(const Orvo::PString& name);
    void AddCompulsoryElementDefinition(const Orvo::PString& name);
    // The definitions `definition` inherits, each after its own bases (the order in which their entries
    // are merged); a name met twice, or again on its own inheritance path (a cycle), is taken once.
    static std::vector<NamedDefinition> CollectInherited(const DataManager& manager, const TDBTagRef& definition);
    std::vector<NamedDefinition> CollectInherited(const TDBTagRef& definition) const
    {
        return CollectInherited(manager_, definition);
    }
    // The inherited entries merged into three containers: "subpossibilities", "tagarray" fields and
    // "array-element" texts; records the base names.
    void MergeInheritedTemplates(TDBTagRef& entries, TDBTagRef& tagArray, TDBTagRef& elementTypes,
                                 const TDBTagRef& definition);

    // --- lookups (names without regard to case) ---
    virtual TDBTagRef FindSubDefinition(const Orvo::PString& name, const TDBTagRef& definition) const;
    virtual bool FindTagDefinition(const Orvo::PString& name, const TDBTagRef& definition, TDBTagRef& out);
    TDBTagRef FindDefinitionInTemplates(const Orvo::PString& name, const TDBTagRef& definition,
                                        const std::vector<NamedDefinition>& inherited) const;
    virtual Orvo::PString SelectContainerType(const TDBTagRef& entry, const Orvo::PString& kind) const;
    virtual void CollectCompulsoryTags(const TDBTagRef& definition, CompulsoryMap& out) const;
    virtual void CollectCompulsoryContainers(const TDBTagRef& definition, CompulsoryMap& out) const;
    // Fills the obsolete-tag list for the asset's build; the definition's obsolete tags that the asset
    // is too old for become ordinary entries of `definition`, which then is a copy of its own.
    virtual void ApplyObsoleteTags(TDBTagRef& definition);
    // The kind definition of that name (lower-cased), or a null handle when it is not a top-level one.
    TDBTagRef GetKindTemplate(const Orvo::PString& kind) const;

    // --- tags and children ---
    virtual Tag* CreateTag(int index, Container* owner, const Orvo::PString& name);
    // The owner's tag of that name (without regard to case), made when absent; its value from the
    // configuration child of that name, else from the definition's "default".
    virtual Tag* FindOrCreateTag(Container* owner, const Orvo::PString& name, const TDBTagRef& definition,
                                 const TDBTagRef* config);
    virtual void AddTag(Tag* tag);
    virtual void RemoveOwnedTag(const Orvo::PString& name);
    void AddChildContainer(Container* child);
    void MoveKeyTagsFirst();
    virtual Container* CreateChildContainer(const Orvo::PString& name, Container* parent, int index,
                                            const Orvo::PString& definitionName, const TDBTagRef& config);
    virtual void SetExtensions(const TDBTagRef& extensions);

    // --- type assignment and choices ---
    virtual bool AssignTagType(Tag& tag, const TDBTagRef& definition, const TDBTagRef* config, Container& owner);
    virtual bool IsComboBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const;
    virtual bool IsIntComboBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const;
    virtual bool IsListBoxChoice(const Orvo::PString& value, const TDBTagRef& definition) const;

    // --- writers (each writes the tag under its name in `out` and answers whether its checks passed) ---
    virtual bool ExportFloat(Tag& tag, TDBTagRef& out);
    virtual bool ExportString(Tag& tag, TDBTagRef& out);
    virtual bool ExportStringToken(Tag& tag, TDBTagRef& out);
    virtual bool ExportInt(Tag& tag, TDBTagRef& out);
    virtual bool ExportBool(Tag& tag, TDBTagRef& out);
    virtual bool ExportVector(Tag& tag, TDBTagRef& out, int count);
    virtual bool ExportFloatList(Tag& tag, TDBTagRef& out);
    virtual bool ExportComboBox(Tag& tag, TDBTagRef& out);
    virtual bool ExportIntComboBox(Tag& tag, TDBTagRef& out);
    virtual bool ExportListBox(Tag& tag, TDBTagRef& out);
    virtual bool ExportKUID(Tag& tag, TDBTagRef& out);
    virtual bool ExportStringKUID(Tag& tag, TDBTagRef& out);
    virtual bool ExportDoubleString(Tag& tag, TDBTagRef& out);
    virtual bool ExportFilePath(Tag& tag, TDBTagRef& out);
    virtual bool ExportKUIDBrowser(Tag& tag, TDBTagRef& out);
    virtual bool ExportStringKUIDBrowser(Tag& tag, TDBTagRef& out);
    virtual bool ExportText(Tag& tag, TDBTagRef& out);

    // --- rules ---
    void AddValidationRule(ContainerRuleFn rule, const TDBTagRef& params);
    bool RunValidationRules();
    size_t RuleCount() const { return ruleFns_.size(); }

    // True when the asset's build (as recorded by CheckKind) has reached `build`, both in rounded
    // whole hundredths.
    bool IsRequiredForBuild(float build) const;

    DataManager& Manager() const { return manager_; }
    ErrorHandler& Errors() const;

    // --- what the rules and writers read ---
    const Orvo::PString& GetName() const { return name_; }
    const Orvo::PString& GetDefinitionName() const { return definitionName_; }
    const Orvo::PString& GetExportName() const { return exportName_; }
    Container* GetParent() const { return parent_; }
    Container* GetRoot();
    const Container* GetRoot() const;
    const TDBTagRef& GetConfigTag() const { return config_; }
    bool IsTopLevel() const { return topLevel_; }
    int GetIndex() const { return index_; }
    const std::vector<Tag*>& GetTags() const { return tags_; }
    const std::vector<Container*>& GetChildren() const { return children_; }
    const std::vector<Tag*>& GetOptionalTags() const { return optionalTags_; }
    const std::vector<Orvo::PString>& GetObsoleteTagNames() const { return obsoleteTagNames_; }
    const std::vector<Orvo::PString>& GetElementTypeNames() const { return elementTypeNames_; }
    const std::vector<Orvo::PString>& GetInheritedNames() const { return inheritedNames_; }
    const TDBTagRef& GetTagArrayDefinition() const { return tagArray_; }
    ValidationMesh* GetMesh() const { return mesh_; }
    bool HasExtensions() const { return extensions_ != nullptr; }
    // The first tag of that name (without regard to case), or null.
    Tag* FindTag(std::string_view name) const;
    // The first child container of that name (without regard to case), or null.
    Container* FindChild(std::string_view name) const;

private:
    struct Walk;
    bool WalkContainerChild(Walk& walk, const Orvo::PString& name, const TDBTagRef& child);
    void WalkValueChild(Walk& walk, const Orvo::PString& name, size_t index);
    bool StartChild(Container* child, const TDBTagRef& childConfig, const TDBTagRef& childDefinition,
                    Container* target);
    bool WriteTag(Tag& tag, TDBTagRef& out);

    DataManager& manager_;
    int index_ = -1;
    Orvo::PString name_;
    Orvo::PString definitionName_;
    Orvo::PString exportName_;
    std::vector<TDBTagRef> elementDefinitions_;
    std::vector<TDBTagRef> compulsoryElementDefinitions_;
    std::vector<Container*> children_;  // owned
    std::vector<Tag*> tags_;            // owned
    std::vector<Tag*> keyTags_;         // owned until MoveKeyTagsFirst
    std::vector<Tag*> optionalTags_;    // owned
    std::vector<Orvo::PString> obsoleteTagNames_;
    std::vector<Orvo::PString> elementTypeNames_;
    TDBTagRef tagArray_;
    Container* parent_ = nullptr;
    TDBTagRef config_;
    TDBTagRef definition_;
    bool topLevel_ = false;
    std::vector<ContainerRuleFn> ruleFns_;
    std::vector<TDBTagRef> ruleParams_;
    std::vector<Orvo::PString> inheritedNames_;
    ValidationMesh* mesh_ = nullptr;  // owned by the data manager
    std::unique_ptr<TDBTagRef> extensions_;
};

}  // namespace TETLib
