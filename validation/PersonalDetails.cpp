// The user's personal details, kept beside the validation templates in "personalDetails.txt".
#include "core/ConfigFile.h"
#include "engine/File.h"
#include "validation/DataManager.h"

namespace TETLib {

void DataManager::ReadPersonalDetailsIfPresent()
{
    personalRead_ = true;
    const std::string path = RulePath(kPersonalDetailsFile);
    if (!Orvo::File::IsDirectory(ruleFolder_.c_str()) || !Orvo::File::IsFile(path)) return;
    TDBTagRef tree;
    if (!LoadConfigFile(tree, {}, path, "txt"))
    {
        personalFileUnreadable_ = true;
        return;
    }
    personalFileUnreadable_ = false;
    personal_.author = Orvo::PString(tree.GetChildString("author").View());
    personal_.organisation = Orvo::PString(tree.GetChildString("organisation").View());
    personal_.email = Orvo::PString(tree.GetChildString("email").View());
    personal_.website = Orvo::PString(tree.GetChildString("website").View());
    personal_.licence = Orvo::PString(tree.GetChildString("license").View());
    personal_.inputBoxOn = tree.GetChildInt("isinputboxon", 0) != 0;
}

void DataManager::SavePersonalDetails()
{
    // Details never read would be saved as the defaults, wiping the user's; a file that could not be read
    // is not replaced either.
    if (!personalRead_) ReadPersonalDetailsIfPresent();
    if (personalFileUnreadable_) return;
    TDBTagRef tree = TDBTagRef::NewContainer();
    tree.SetChildString("author", personal_.author.c_str());
    tree.SetChildString("organisation", personal_.organisation.c_str());
    tree.SetChildString("email", personal_.email.c_str());
    tree.SetChildString("website", personal_.website.c_str());
    tree.SetChildString("license", personal_.licence.c_str());
    tree.SetChildInt("isinputboxon", personal_.inputBoxOn ? 1 : 0);
    (void)SaveConfigFile(tree, {}, RulePath(kPersonalDetailsFile), "txt");  // a failed save is silent
}

}  // namespace TETLib
