// Loading the template tree and the value lists of the validation data folder.
#include "core/SoupText.h"
#include "engine/ConfigFileBound.h"
#include "engine/ConfigParser.h"
#include "engine/File.h"
#include "engine/FileFind.h"
#include "validation/DataManager.h"

namespace TETLib {
namespace {

// Reads one template file; on failure a sentence naming the file (and the line) for the user.
bool ReadTemplateFile(const std::string& path, const char* name, TDBTagRef& out, std::string& problem)
{
    std::string text;
    if (!Orvo::File::ReadFile(path, text, Orvo::ConfigParser::kMaxFileSize))
    {
        problem = Orvo::File::GetSize(path) > int64_t(Orvo::kMaxConfigFileBytes)
                      ? "The validation template file " + Orvo::ConfigFileTooLargeText(name) + "."
                      : std::string("The validation template file '") + name + "' cannot be read.";
        return false;
    }
    Orvo::NoteConfigLoad(text.size());
    if (ReadSoupText(text, name, out)) return true;
    Orvo::ConfigParser parser;
    parser.ParseText(text, name);
    problem = "The validation template file " + parser.GetError();
    return false;
}

// The lines of a list file: LF or CR LF ends a line; a last line without an end counts.
std::vector<ListEntry> ParseListText(std::string_view text)
{
    std::vector<ListEntry> entries;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        const size_t space = line.find(' ');
        ListEntry entry;
        if (space == std::string_view::npos)
            entry.value = Orvo::PString(line);
        else
        {
            entry.value = Orvo::PString(line.substr(0, space));
            entry.text = Orvo::PString(line.substr(space + 1));
        }
        entries.push_back(std::move(entry));
        start = end + 1;
    }
    return entries;
}

}  // namespace

bool DataManager::LoadTemplates()
{
    if (templatesLoaded_) return templatesComplete_;
    // Set before loading, so that a failed load is not tried again until UnloadTemplates.
    templatesLoaded_ = true;
    templatesComplete_ = false;
    templates_.Release();
    templateProblems_.clear();
    TDBTagRef tree = TDBTagRef::NewContainer();
    bool fileMissing = false;
    bool fileFound = false;
    for (const char* file : kTemplateFiles)
    {
        const std::string path = RulePath(file);
        // Missing, its definitions are left out: the checks that need one say that there is none.
        if (!Orvo::File::Exists(path))
        {
            fileMissing = true;
            continue;
        }
        fileFound = true;
        TDBTagRef loaded;
        std::string problem;
        if (!ReadTemplateFile(path, file, loaded, problem))
        {
            templateProblems_.push_back(problem);
            continue;
        }
        for (size_t i = 0; i < loaded.GetChildCount(); ++i)
        {
            TDBTagRef child = loaded.GetChildContainerAt(i);
            const Orvo::PString name = loaded.GetChildName(i);
            if (child.IsNull())
            {
                templateProblems_.push_back(std::string("The validation template file '") + file + "' holds a value '" +
                                            name.str() + "' where a definition belongs.");
                continue;
            }
            tree.RemoveChild(name);
            tree.AddChildTag(name, child);
        }
    }
    templates_ = tree;
    // Template files that are there but say nothing are a damaged installation, not a missing one.
    if (fileFound && templates_.GetChildCount() == 0)
        templateProblems_.push_back("The validation templates hold no definitions.");
    // Without the lists folder every list is absent, as a list missing from it would be.
    const bool listsMissing = !Orvo::File::IsDirectory(RulePath(kListsFolder));
    const bool listsRead = !listsMissing && LoadLists();
    CheckTemplates(fileMissing, listsMissing);
    templatesComplete_ = !fileMissing && templates_.GetChildCount() != 0 && listsRead && templateProblems_.empty();
    return templatesComplete_;
}

void DataManager::UnloadTemplates()
{
    if (!templatesLoaded_) return;
    templatesLoaded_ = false;
    templatesComplete_ = false;
    PurgeLoadedMeshes();
    ReleaseHeldResourceDatabase(resourceDatabase_);
    attachmentTags_.clear();
    uniqueAttachmentTags_.clear();
    lists_.clear();
    templates_.Release();
    templateProblems_.clear();
}

TDBTagRef DataManager::GetDefinition(const Orvo::PString& name) const
{
    if (name.empty()) return TDBTagRef();
    return templates_.GetChildContainer(name);
}

bool DataManager::LoadLists()
{
    Orvo::File::Find find;
    if (!find.Open(RulePath(kListsFolder) + "/*.*")) return false;
    bool ok = true;
    for (const Orvo::File::Find::Entry& e : find)
    {
        if (e.isFolder) continue;
        std::string text;
        if (e.size > kMaxListFileBytes ||
            !Orvo::File::ReadFile(RulePath(kListsFolder) + "/" + e.name, text, kMaxListFileBytes))
        {
            templateProblems_.push_back("The validation list '" + e.name + "' cannot be read.");
            ok = false;
            continue;
        }
        AddList(Orvo::PString(e.name), ParseListText(text));
    }
    return ok;
}

void DataManager::AddList(const Orvo::PString& name, std::vector<ListEntry> entries)
{
    lists_[name.ToLower()] = std::move(entries);
}

const std::vector<ListEntry>* DataManager::GetList(const Orvo::PString& name) const
{
    auto it = lists_.find(name.ToLower());
    return it == lists_.end() ? nullptr : &it->second;
}

}  // namespace TETLib
