#pragma once
// Numbers no other call in the process gets, rising with each call: the names of temporary files and
// folders, archive ids, versions and creation orders all draw from this one counter.
#include <cstdint>

namespace Platform {

uint64_t NextUniqueNumber();

}  // namespace Platform
