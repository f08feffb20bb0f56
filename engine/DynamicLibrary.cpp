#include "engine/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>
#include <vector>

namespace Orvo {

DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)), error_(std::move(other.error_))
{}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other)
    {
        Unload();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::Load(const std::string& path)
{
    Unload();
    error_.clear();
    if (path.empty() || path.find('\0') != std::string::npos)
    {
        error_ = "no library path given";
        return false;
    }
    std::vector<std::string> candidates{path};
    const std::string dll = ".dll";
    if (path.size() > dll.size())
    {
        std::string ext = path.substr(path.size() - dll.size());
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (ext == dll)
        {
            std::string stem = path.substr(0, path.size() - dll.size());
            auto slash = stem.find_last_of('/');
            std::string folder = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
            std::string name = slash == std::string::npos ? stem : stem.substr(slash + 1);
            candidates.push_back(folder + "lib" + name + ".so");
            candidates.push_back(folder + name + ".so");
        }
    }
    for (const auto& candidate : candidates)
    {
        dlerror();
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))
        {
            handle_ = handle;
            path_ = candidate;
            error_.clear();
            return true;
        }
        if (error_.empty())
        {
            const char* why = dlerror();
            error_ = why ? why : "cannot load " + candidate;
        }
    }
    return false;
}

bool DynamicLibrary::LoadSelf()
{
    Unload();
    dlerror();
    handle_ = dlopen(nullptr, RTLD_NOW);
    if (!handle_)
    {
        const char* why = dlerror();
        error_ = why ? why : "cannot open the program itself";
        return false;
    }
    path_.clear();
    error_.clear();
    return true;
}

void DynamicLibrary::Unload()
{
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

void* DynamicLibrary::GetSymbol(const std::string& name) const
{
    if (!handle_ || name.empty())
    {
        error_ = handle_ ? "no symbol name given" : "library not loaded";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(handle_, name.c_str());
    if (!symbol)
    {
        const char* why = dlerror();
        error_ = why ? why : "symbol " + name + " is null";
    }
    return symbol;
}

}  // namespace Orvo
