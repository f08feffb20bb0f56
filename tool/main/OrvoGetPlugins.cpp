// The program's plug-in entry, exported from the executable: the engine's plug-in system finds it in
// the running program and calls it once to collect the program's own resource types and material
// plug-ins. They come with the mesh and texture libraries; until then it adds none.
#include "engine/PluginType.h"

extern "C" __attribute__((visibility("default"))) void OrvoGetPlugins(Orvo::PluginAddFunction add) { (void)add; }
