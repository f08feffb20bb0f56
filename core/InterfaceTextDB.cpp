#include "core/InterfaceTextDB.h"

#include "core/ConfigFile.h"
#include "core/CoreThreads.h"
#include "core/LogPrintf.h"
#include "core/SharedAccessLock.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/Process.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace {

constexpr int kLoggedMisses = 10;
constexpr size_t kMaxLanguageCode = 16;

struct TextTable
{
    std::mutex settingsLock;  // language and folder
    std::string language = "US";
    std::string folder;
    bool folderSet = false;
    std::unordered_map<std::string, Orvo::PString> texts;  // lower-cased key -> text
    std::atomic<bool> loaded{false};
    std::atomic<int> misses{0};
    SharedAccessLock lock;
};

TextTable& Table()
{
    // Process-wide: the interface texts of the chosen language, looked up from every layer; outlives other
    // statics that may still look texts up.
    static TextTable* table = new TextTable;
    return *table;
}

std::string LowerAscii(std::string_view text)
{
    std::string out(text);
    Orvo::LowerInPlace(out);
    return out;
}

// The language code in upper case, or "US" for an empty or malformed one (it names a file, so only
// letters, digits, "-" and "_" pass).
std::string NormaliseLanguage(std::string_view code)
{
    if (code.empty() || code.size() > kMaxLanguageCode) return "US";
    std::string out;
    for (char c : code)
    {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return "US";
        out += Orvo::AsciiUpper(c);
    }
    return out;
}

bool IsEnglish(const std::string& code) { return code == "EN" || code == "AU" || code == "US" || code == "UK"; }

std::string BaseNameFor(const std::string& code) { return IsEnglish(code) ? "InterfaceText" : "InterfaceText_" + code; }

void EnsureLoaded()
{
    TextTable& t = Table();
    if (t.loaded.load(std::memory_order_acquire)) return;
    const uint64_t self = CurrentThreadId();
    t.lock.Lock(self, true);
    if (!t.loaded.load(std::memory_order_acquire))
    {
        InterfaceTextDB::Load();
        t.loaded.store(true, std::memory_order_release);
    }
    t.lock.Unlock(self);
}

}  // namespace

InterfaceTextDB& InterfaceTextDB::Instance()
{
    static InterfaceTextDB instance;
    EnsureLoaded();
    return instance;
}

bool InterfaceTextDB::Load()
{
    TextTable& t = Table();
    std::string language;
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(t.settingsLock);
        language = t.language;
        folder = t.folderSet ? t.folder : Platform::ExecutableFolder();
    }
    std::vector<std::string> names;
    const std::string own = BaseNameFor(language);
    names.push_back(own + ".chump");
    names.push_back(own + ".txt");
    if (!IsEnglish(language))
    {
        names.push_back("InterfaceText.chump");
        names.push_back("InterfaceText.txt");
    }

    t.texts.clear();
    for (const std::string& name : names)
    {
        const std::string path = folder.empty() ? name : folder + "/" + name;
        if (!Orvo::File::IsFile(path)) continue;
        TDBTagRef tree;
        if (!LoadConfigFile(tree, {}, path) || !tree.IsContainer())
        {
            LogPrintf("InterfaceTextDB> Unable to read interface file '%s'", path.c_str());
            continue;
        }
        const size_t count = tree.GetChildCount();
        t.texts.reserve(count);
        for (size_t i = 0; i < count; ++i)
        {
            const Orvo::PString& key = tree.GetChildName(i);
            // First entry of a key wins, as with every soup lookup.
            t.texts.emplace(LowerAscii(key.View()), Orvo::PString(tree.GetChildAt(i).GetString().View()));
        }
        return true;
    }
    LogPrintf("InterfaceTextDB> Unable to read interface file '%s'",
              (folder.empty() ? names.front() : folder + "/" + names.front()).c_str());
    return false;
}

Orvo::PString InterfaceTextDB::GetString(std::string_view key)
{
    EnsureLoaded();
    TextTable& t = Table();
    const uint64_t self = CurrentThreadId();
    t.lock.Lock(self, false);
    auto it = t.texts.find(LowerAscii(key));
    Orvo::PString text = it != t.texts.end() ? it->second : Orvo::PString();
    const bool found = it != t.texts.end();
    t.lock.Unlock(self);
    if (found) return text;
    if (t.misses.fetch_add(1) < kLoggedMisses)
        LogPrintf("InterfaceTextDB::GetString> no text for '%.*s'", static_cast<int>(key.size()), key.data());
    return Orvo::PString(key);
}

void InterfaceTextDB::SetLanguage(std::string_view code)
{
    TextTable& t = Table();
    const std::string language = NormaliseLanguage(code);
    std::lock_guard<std::mutex> guard(t.settingsLock);
    if (BaseNameFor(language) != BaseNameFor(t.language)) t.loaded.store(false, std::memory_order_release);
    t.language = language;
}

std::string InterfaceTextDB::GetLanguage()
{
    TextTable& t = Table();
    std::lock_guard<std::mutex> guard(t.settingsLock);
    return t.language;
}

std::string InterfaceTextDB::GetFileBaseName() { return BaseNameFor(GetLanguage()); }

bool InterfaceTextDB::IsLoaded() { return Table().loaded.load(std::memory_order_acquire); }

void InterfaceTextDB::SetLoaded(bool loaded) { Table().loaded.store(loaded, std::memory_order_release); }

SharedAccessLock& InterfaceTextDB::Lock() { return Table().lock; }

void InterfaceTextDB::SetFolder(std::string folder)
{
    TextTable& t = Table();
    std::lock_guard<std::mutex> guard(t.settingsLock);
    t.folder = std::move(folder);
    t.folderSet = true;
    t.loaded.store(false, std::memory_order_release);
}

std::string InterfaceTextDB::GetFolder()
{
    TextTable& t = Table();
    std::lock_guard<std::mutex> guard(t.settingsLock);
    return t.folderSet ? t.folder : Platform::ExecutableFolder();
}

size_t InterfaceTextDB::GetCount()
{
    TextTable& t = Table();
    const uint64_t self = CurrentThreadId();
    t.lock.Lock(self, false);
    const size_t count = t.texts.size();
    t.lock.Unlock(self);
    return count;
}

Orvo::String GetInterfaceString(std::string_view key) { return Orvo::String(InterfaceTextDB::GetString(key)); }
