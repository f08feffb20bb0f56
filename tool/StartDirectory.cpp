#include "tool/StartDirectory.h"

#include <unistd.h>

char StartDirectory[kStartDirectorySize] = {};

void SaveStartDirectory()
{
    if (getcwd(StartDirectory, sizeof StartDirectory) == nullptr) StartDirectory[0] = '\0';
}
