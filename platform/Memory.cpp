#include "platform/Memory.h"

#include <malloc.h>

namespace Platform {

void ReleaseFreeMemory() { ::malloc_trim(0); }

}  // namespace Platform
