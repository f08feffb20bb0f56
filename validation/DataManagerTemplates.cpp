// Loading and unloading the template tree of the validation data folder.
#include "core/ConfigFile.h"
#include "validation/DataManager.h"

namespace TETLib {

bool DataManager::LoadTemplates()
{
    if (templatesLoaded_) return true;
    // Set before loading, so that a failed load is not tried again until UnloadTemplates.
    templatesLoaded_ = true;
    templates_.Release();
    TDBTagRef tree = TDBTagRef::NewContainer();
    for (const char* file : kTemplateFiles)
    {
        TDBTagRef loaded;
        if (!LoadConfigFile(loaded, {}, RulePath(file), "txt")) continue;
        for (size_t i = 0; i < loaded.GetChildCount(); ++i)
        {
            TDBTagRef child = loaded.GetChildContainerAt(i);
            if (child.IsNull()) continue;
            const Orvo::PString name = loaded.GetChildName(i);
            tree.RemoveChild(name);
            tree.AddChildTag(name, child);
        }
    }
    templates_ = tree;
    return templates_.GetChildCount() != 0;
}

void DataManager::UnloadTemplates()
{
    if (!templatesLoaded_) return;
    templatesLoaded_ = false;
    templates_.Release();
}

}  // namespace TETLib
