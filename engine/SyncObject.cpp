#include "engine/SyncObject.h"

namespace Orvo {

// Out of line so that the vtable has one home.
SyncObject::~SyncObject() = default;

}  // namespace Orvo
