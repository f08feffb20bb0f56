// Loading and unloading the template tree of the validation data folder.
#include "core/ConfigFile.h"
#include "validation/DataManager.h"

namespace TETLib {

bool DataManager::LoadTemplates()
{
    if (m_templatesLoaded)
        return true;
    // Set before loading, so that a failed load is not tried again until UnloadTemplates.
    m_templatesLoaded = true;
    m_templates.Release();
    TDBTagRef tree = TDBTagRef::NewContainer();
    for (const char* file : kTemplateFiles) {
        TDBTagRef loaded;
        if (!LoadConfigFile(loaded, {}, RulePath(file), "txt"))
            continue;
        for (size_t i = 0; i < loaded.GetChildCount(); ++i) {
            TDBTagRef child = loaded.GetChildContainerAt(i);
            if (child.IsNull())
                continue;
            const Orvo::PString name = loaded.GetChildName(i);
            tree.RemoveChild(name);
            tree.AddChildTag(name, child);
        }
    }
    m_templates = tree;
    return m_templates.GetChildCount() != 0;
}

void DataManager::UnloadTemplates()
{
    if (!m_templatesLoaded)
        return;
    m_templatesLoaded = false;
    m_templates.Release();
}

} // namespace TETLib
