#pragma once
// One tag of a configuration container under check: its name and value text, the type code its template
// definition gives it (which selects its writer), and the named rules the definition attaches.
#include "core/TDBTagRef.h"
#include "engine/PString.h"
#include "validation/RuleRegistry.h"

#include <vector>

namespace TETLib {

class Container;
class DataManager;

// Type codes: the template "type" word gives one, and the code selects the writer.
enum TagType : int
{
    kTagFloat = 0,
    kTagString = 1,
    kTagStringToken = 2,
    kTagNoWriter3 = 3,
    kTagInt = 4,
    kTagBool = 5,
    kTagVector2 = 6,
    kTagVector3 = 7,
    kTagVector4 = 8,
    kTagVector5 = 9,
    kTagVector6 = 10,
    kTagFloatList = 11,
    kTagComboBox = 12,
    kTagIntComboBox = 13,
    kTagListBox = 14,
    kTagDoubleString = 15,
    kTagKUID = 16,
    kTagFilePath = 17,
    kTagFilePathEdit = 18,
    kTagStringKUID = 19,
    kTagKUIDBrowser = 20,
    kTagStringKUIDBrowser = 21,
    kTagNoWriter22 = 22,
    kTagText = 23,
};

class Tag
{
public:
    // A tag of `owner`, checked with its owner's data manager.
    Tag(int index, Container& owner, Orvo::PString name);
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;
    // Forgets the tag's messages and registrations.
    virtual ~Tag();
    // Appends the rules named in the definition's own "validation" container (unknown names add none).
    virtual void AttachValidationRules(const TDBTagRef& definition);
    // Runs every rule in order (a failing rule does not stop the others); true when all passed.
    bool RunValidationRules();
    size_t RuleCount() const { return ruleFns_.size(); }

    const Orvo::PString& GetName() const { return name_; }
    void SetName(const Orvo::PString& name) { name_ = name; }
    const Orvo::PString& GetValue() const { return value_; }
    void SetValue(const Orvo::PString& value) { value_ = value; }
    int GetTypeCode() const { return typeCode_; }
    void SetTypeCode(int code) { typeCode_ = code; }
    int GetIndex() const { return index_; }
    Container* GetOwner() const { return owner_; }
    const TDBTagRef& GetDefinition() const { return definition_; }
    void SetDefinition(const TDBTagRef& definition) { definition_ = definition; }

    const Orvo::PString& GetDataType() const { return dataType_; }
    void SetDataType(const Orvo::PString& word) { dataType_ = word; }
    bool IsChoicePending() const { return choicePending_; }
    const Orvo::PString& GetChoiceSource() const { return choiceSource_; }
    void SetChoiceSource(const Orvo::PString& source)
    {
        choiceSource_ = source;
        choicePending_ = true;
    }
    // Strict: an empty or invalid value is an error; otherwise a warning. Compulsory tags are strict.
    bool IsStrict() const { return strict_; }
    void SetStrict(bool strict) { strict_ = strict; }
    bool IsDisabled() const { return disabled_; }
    void SetDisabled(bool disabled) { disabled_ = disabled; }
    bool IsFilePath() const { return filePath_; }
    void SetFilePath(bool filePath) { filePath_ = filePath; }
    const Orvo::PString& GetCategory() const { return category_; }
    void SetCategory(const Orvo::PString& category) { category_ = category; }
    const Orvo::PString& GetFilter() const { return filter_; }
    void SetFilter(const Orvo::PString& filter) { filter_ = filter; }
    // A missing compulsory tag that the template fills (it has a "default") is marked and not reported.
    bool IsMarked() const { return mark_; }
    void SetMark(bool mark) { mark_ = mark; }

    DataManager& Manager() const { return manager_; }

private:
    friend class Container;

    DataManager& manager_;
    Orvo::PString name_;
    Orvo::PString value_;
    int typeCode_ = kTagText;
    int index_ = -1;
    Container* owner_ = nullptr;
    Orvo::PString dataType_;
    bool choicePending_ = false;
    Orvo::PString choiceSource_;
    bool strict_ = true;
    std::vector<TagRuleFn> ruleFns_;
    std::vector<TDBTagRef> ruleParams_;
    bool disabled_ = false;
    bool filePath_ = false;
    TDBTagRef definition_;
    Orvo::PString category_;
    Orvo::PString filter_;
    bool mark_ = false;
};

}  // namespace TETLib
