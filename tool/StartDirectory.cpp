#include "tool/StartDirectory.h"

#include <unistd.h>

// Process-wide: the process's starting folder, against which path arguments of any command are resolved.
char StartDirectory[kStartDirectorySize] = {};

void SaveStartDirectory()
{
    if (getcwd(StartDirectory, sizeof StartDirectory) == nullptr) StartDirectory[0] = '\0';
}
