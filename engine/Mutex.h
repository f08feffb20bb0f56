#pragma once
// A recursive mutex, unnamed (this process only) or named (shared by every process that opens the
// same name, like a Windows named mutex). A named mutex is a lock file held with flock, so the
// system frees it when the holding process ends; inside one process all Mutex objects of one name
// share one recursive owner, so the owning thread can lock it again through any of them.
#include <memory>
#include <string>

#include "engine/SyncObject.h"

namespace Orvo {

class Mutex : public SyncObject
{
public:
    // `name` null or empty: an unnamed mutex.
    explicit Mutex(const char* name = nullptr);
    explicit Mutex(const std::string& name) : Mutex(name.c_str()) {}
    ~Mutex() override;

    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override;

    bool IsNamed() const { return !name_.empty(); }
    const std::string& GetName() const { return name_; }

    // The lock file that stands for a mutex name (in $XDG_RUNTIME_DIR, else the temporary folder;
    // the user id is part of the name so that users never share one).
    static std::string LockFilePathFor(const std::string& name);

    struct Shared;

private:
    std::string name_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace Orvo
