#pragma once
// A shared library loaded at run time (dlopen), and the symbols it exports (dlsym).
#include <string>

namespace Orvo {

class DynamicLibrary
{
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads `path`, resolving every symbol now. A Windows name "name.dll" that does not load is
    // tried again as "libname.so" and "name.so" in the same folder.
    bool Load(const std::string& path);
    // The running program itself and what it links: finds the symbols the executable exports.
    bool LoadSelf();
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }

    // Null when not loaded or the symbol is missing.
    void* GetSymbol(const std::string& name) const;
    template <class Function>
    Function GetFunction(const std::string& name) const
    {
        return reinterpret_cast<Function>(GetSymbol(name));
    }

    const std::string& GetError() const { return error_; }
    const std::string& GetPath() const { return path_; }

private:
    void* handle_ = nullptr;
    std::string path_;
    mutable std::string error_;
};

}  // namespace Orvo
