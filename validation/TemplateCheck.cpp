// The check of the loaded templates and lists. A template that names a rule this program does not have,
// a list that is not there, a definition that is not defined or an inheritance circle would otherwise
// make checks silently go missing; each is put into words for the user here, once, at loading.
#include "engine/TextCase.h"
#include "validation/DataManager.h"
#include "validation/RuleRegistry.h"

#include <set>
#include <string>

namespace TETLib {
namespace {

constexpr const char* kTypeWords[] = {
    "float",   "string",   "string-token", "int",        "bool",        "vector2",           "vector3", "rgb",
    "vector4", "vector5",  "vector6",      "floatlist",  "combobox",    "intcombobox",       "listbox", "doublestring",
    "kuid",    "filepath", "filepathedit", "stringkuid", "kuidbrowser", "stringkuidbrowser",
};

// The choices of a combo box may come from the asset itself rather than from a list.
constexpr const char* kAssetSources[] = {"attachment", "mesh-table", "attached-track", "queues"};

bool OneOf(std::string_view word, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (word == w) return true;
    return false;
}

class TemplateChecker
{
public:
    // A name that is not defined, or a list that is not there, is no fault of the templates when it may
    // be in a file that is missing: the checks that need it report it then.
    TemplateChecker(const DataManager& manager, std::vector<std::string>& problems, bool definitionsMayBeMissing,
                    bool listsMayBeMissing)
        : manager_(manager), problems_(problems), definitionsMayBeMissing_(definitionsMayBeMissing),
          listsMayBeMissing_(listsMayBeMissing)
    {}

    void Run(const TDBTagRef& templates)
    {
        for (size_t i = 0; i < templates.GetChildCount(); ++i)
        {
            name_ = templates.GetChildName(i).str();
            const TDBTagRef definition = templates.GetChildContainerAt(i);
            CheckInheritance(definition);
            CheckRules(definition.GetChildContainer("validation"), false, "");
            CheckContainerTypes(definition.GetChildContainer("array-element"), "array-element");
            for (const char* list : {"subpossibilities", "obsolete-tag"})
            {
                const TDBTagRef entries = definition.GetChildContainer(list);
                for (size_t e = 0; e < entries.GetChildCount(); ++e)
                    CheckEntry(entries.GetChildName(e).str(), entries.GetChildContainerAt(e));
            }
            if (definition.HasChild("tagarray")) CheckEntry("tagarray", definition.GetChildContainer("tagarray"));
        }
    }

private:
    void Add(const std::string& text)
    {
        if (seen_.insert(text).second) problems_.push_back(text);
    }

    std::string Where(const std::string& entry) const
    {
        return "The validation template '" + name_ + (entry.empty() ? "'" : "' (entry '" + entry + "')");
    }

    bool Defined(std::string_view name) const { return !manager_.GetDefinition(Orvo::PString(name)).IsNull(); }

    void CheckInheritance(const TDBTagRef& definition)
    {
        std::vector<std::string> path{name_};
        Follow(definition, path);
    }

    void Follow(const TDBTagRef& definition, std::vector<std::string>& path)
    {
        const TDBTagRef inherit = definition.GetChildContainer("inherit");
        for (size_t i = 0; i < inherit.GetChildCount(); ++i)
        {
            const std::string base = inherit.GetChildName(i).str();
            const TDBTagRef baseDefinition = manager_.GetDefinition(Orvo::PString(base));
            if (baseDefinition.IsNull())
            {
                if (definitionsMayBeMissing_) continue;
                Add("The validation template '" + path.back() + "' inherits '" + base + "', which is not defined.");
                continue;
            }
            bool circle = false;
            for (const std::string& p : path) circle = circle || Orvo::EqualsNoCase(p, base);
            if (circle)
            {
                std::string chain;
                for (const std::string& p : path) chain += p + " -> ";
                // Reported once: from the definition of the circle that sorts first.
                bool first = Orvo::EqualsNoCase(path.front(), base);
                for (const std::string& p : path) first = first && Orvo::CompareTextNoCase(path.front(), p) <= 0;
                if (first) Add("The validation templates inherit in a circle: " + chain + base + ".");
                continue;
            }
            if (path.size() >= 64)
            {
                Add("The validation template '" + path.front() + "' inherits more than 64 levels deep.");
                continue;
            }
            path.push_back(base);
            Follow(baseDefinition, path);
            path.pop_back();
        }
    }

    void CheckRules(const TDBTagRef& validation, bool tagRules, const std::string& entry)
    {
        for (size_t i = 0; i < validation.GetChildCount(); ++i)
        {
            const std::string rule = validation.GetChildName(i).str();
            const bool isTag = ValidationRuleRegistry::FindTagRule(rule) != nullptr;
            const bool isContainer = ValidationRuleRegistry::FindContainerRule(rule) != nullptr;
            if (!isTag && !isContainer)
            {
                Add(Where(entry) + " names the rule '" + rule + "', which does not exist.");
                continue;
            }
            if (isTag != tagRules)
            {
                Add(Where(entry) + " names the " + (isTag ? "tag" : "container") + " rule '" + rule + "' where " +
                    (tagRules ? "tag" : "container") + " rules belong.");
                continue;
            }
            const TDBTagRef params = validation.GetChildContainerAt(i);
            for (const char* const* p = ValidationRuleRegistry::RequiredParameters(rule); *p != nullptr; ++p)
            {
                if (!params.HasChild(*p))
                    Add(Where(entry) + " gives the rule '" + rule + "' no '" + *p + "' parameter.");
            }
        }
    }

    void CheckContainerTypes(const TDBTagRef& entry, const std::string& entryName)
    {
        for (size_t i = 0; i < entry.GetChildCount(); ++i)
        {
            if (!entry.GetChildName(i).StartsWith("container-type")) continue;
            const std::string type = entry.GetChildAt(i).GetString().str();
            if (!type.empty() && !Defined(type) && !definitionsMayBeMissing_)
                Add(Where(entryName) + " names the container type '" + type + "', which is not defined.");
        }
    }

    void CheckEntry(const std::string& entryName, const TDBTagRef& entry)
    {
        if (entry.IsNull()) return;
        const std::string kind = entry.GetChildString("kind").str();
        const bool smoke = entry.GetChildString("icon").View() == "smoke";
        // A value entry's rules are tag rules; a smoke entry serves as its container's definition.
        CheckRules(entry.GetChildContainer("validation"), kind == "value" && !smoke, entryName);
        CheckContainerTypes(entry, entryName);
        if (kind == "element")
        {
            const std::string type = entry.GetChildString("element-type").str();
            if (!Defined(type) && !definitionsMayBeMissing_)
                Add(Where(entryName) + " names the element type '" + type + "', which is not defined.");
        }
        if (kind != "value" || !entry.HasChild("type")) return;
        const std::string type = entry.GetChildString("type").str();
        bool known = false;
        for (const char* w : kTypeWords) known = known || type == w;
        if (!known)
        {
            Add(Where(entryName) + " has the type '" + type + "', which this program does not know.");
            return;
        }
        if (!OneOf(type, {"combobox", "intcombobox", "listbox"})) return;
        const std::string source = entry.GetChildString("source").str();
        bool fromAsset = false;
        for (const char* s : kAssetSources) fromAsset = fromAsset || (type == "combobox" && source == s);
        if (!fromAsset && !listsMayBeMissing_ && manager_.GetList(Orvo::PString(source)) == nullptr)
            Add(Where(entryName) + " takes its choices from the list '" + source +
                "', which is not in the validation data's lists folder.");
    }

    const DataManager& manager_;
    std::vector<std::string>& problems_;
    std::set<std::string> seen_;
    const bool definitionsMayBeMissing_;
    const bool listsMayBeMissing_;
    std::string name_;
};

}  // namespace

void DataManager::CheckTemplates(bool definitionsMayBeMissing, bool listsMayBeMissing)
{
    TemplateChecker(*this, templateProblems_, definitionsMayBeMissing, listsMayBeMissing).Run(templates_);
}

}  // namespace TETLib
