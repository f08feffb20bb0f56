#pragma once
// Numbers no other call in the process gets, rising with each call: the names of temporary files and
// folders, archive ids, versions and creation orders all draw from this one counter.
#include <cstdint>
#include <string>

namespace Platform {

uint64_t NextUniqueNumber();
// "<wanted>-<pid>-<n>" (n from NextUniqueNumber): a name beside `wanted` that no other call, of this process or any
// other that names its work so, gives; for where `wanted` is taken, or a name of the process's own.
std::string OwnNameBeside(const std::string& wanted);

}  // namespace Platform
