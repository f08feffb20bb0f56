// The user's personal details, kept beside the validation templates in "personalDetails.txt".
#include "core/ConfigFile.h"
#include "engine/File.h"
#include "validation/DataManager.h"

namespace TETLib {

void DataManager::ReadPersonalDetailsIfPresent()
{
    const std::string path = RulePath(kPersonalDetailsFile);
    if (!Orvo::File::IsDirectory(m_ruleFolder.c_str()) || !Orvo::File::IsFile(path))
        return;
    TDBTagRef tree;
    if (!LoadConfigFile(tree, {}, path, "txt")) {
        m_personalFileUnreadable = true;
        return;
    }
    m_personalFileUnreadable = false;
    m_personal.author = Orvo::PString(tree.GetChildString("author").View());
    m_personal.organisation = Orvo::PString(tree.GetChildString("organisation").View());
    m_personal.email = Orvo::PString(tree.GetChildString("email").View());
    m_personal.website = Orvo::PString(tree.GetChildString("website").View());
    m_personal.licence = Orvo::PString(tree.GetChildString("license").View());
    m_personal.inputBoxOn = tree.GetChildInt("isinputboxon", 0) != 0;
}

void DataManager::SavePersonalDetails()
{
    // A run that ended before the first use (a failed start-up) has not read the user's details yet;
    // saving the defaults would wipe them. A file that could not be read is not replaced either.
    if (!m_firstUse) {
        m_firstUse = true;
        ReadPersonalDetailsIfPresent();
    }
    if (m_personalFileUnreadable)
        return;
    TDBTagRef tree = TDBTagRef::NewContainer();
    tree.SetChildString("author", m_personal.author.c_str());
    tree.SetChildString("organisation", m_personal.organisation.c_str());
    tree.SetChildString("email", m_personal.email.c_str());
    tree.SetChildString("website", m_personal.website.c_str());
    tree.SetChildString("license", m_personal.licence.c_str());
    tree.SetChildInt("isinputboxon", m_personal.inputBoxOn ? 1 : 0);
    SaveConfigFile(tree, {}, RulePath(kPersonalDetailsFile), "txt"); // a failed save is silent
}

} // namespace TETLib
