#include "engine/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>
#include <vector>

namespace Orvo {

DynamicLibrary::~DynamicLibrary()
{
    Unload();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)), m_error(std::move(other.m_error))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        Unload();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool DynamicLibrary::Load(const std::string& path)
{
    Unload();
    m_error.clear();
    if (path.empty() || path.find('\0') != std::string::npos) {
        m_error = "no library path given";
        return false;
    }
    std::vector<std::string> candidates{path};
    const std::string dll = ".dll";
    if (path.size() > dll.size()) {
        std::string ext = path.substr(path.size() - dll.size());
        for (char& c : ext)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (ext == dll) {
            std::string stem = path.substr(0, path.size() - dll.size());
            auto slash = stem.find_last_of('/');
            std::string folder = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
            std::string name = slash == std::string::npos ? stem : stem.substr(slash + 1);
            candidates.push_back(folder + "lib" + name + ".so");
            candidates.push_back(folder + name + ".so");
        }
    }
    for (const auto& candidate : candidates) {
        dlerror();
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            m_handle = handle;
            m_path = candidate;
            m_error.clear();
            return true;
        }
        if (m_error.empty()) {
            const char* why = dlerror();
            m_error = why ? why : "cannot load " + candidate;
        }
    }
    return false;
}

bool DynamicLibrary::LoadSelf()
{
    Unload();
    dlerror();
    m_handle = dlopen(nullptr, RTLD_NOW);
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? why : "cannot open the program itself";
        return false;
    }
    m_path.clear();
    m_error.clear();
    return true;
}

void DynamicLibrary::Unload()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    m_path.clear();
}

void* DynamicLibrary::GetSymbol(const std::string& name) const
{
    if (!m_handle || name.empty()) {
        m_error = m_handle ? "no symbol name given" : "library not loaded";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(m_handle, name.c_str());
    if (!symbol) {
        const char* why = dlerror();
        m_error = why ? why : "symbol " + name + " is null";
    }
    return symbol;
}

} // namespace Orvo
