#include "tool/StartDirectory.h"

#include <unistd.h>

std::string ReadStartDirectory()
{
    char folder[kStartDirectorySize];
    return getcwd(folder, sizeof folder) != nullptr ? std::string(folder) : std::string();
}
