#pragma once
// The interface texts of the chosen language: one string per key ("$vad_installed", ...), read from
// "InterfaceText.chump" (or ".txt") beside the executable, or "InterfaceText_<CODE>.chump"/".txt" for
// languages other than English. A key missing from the table reads as the key itself.
#include "engine/PString.h"
#include "engine/String.h"

#include <string>
#include <string_view>

class SharedAccessLock;

class InterfaceTextDB
{
public:
    // The table, loaded once under the interface-text lock.
    static InterfaceTextDB& Instance();

    // Reads the current language's file into the table, replacing what it held. Does not lock: callers
    // bracket it with Lock().Lock(thread, true) / Unlock() and then set the loaded flag. The language's
    // own file is tried first (".chump", then ".txt"), then the shared English file. False, with the
    // table left empty, when none could be read.
    static bool Load();

    // The text of `key` (keys compare without regard to case); the key itself when it is missing (the
    // first 10 misses are logged). Loads the table on first use.
    static Orvo::PString GetString(std::string_view key);

    // Chooses the language by its code ("EN", "AU", "US" and "UK" share the English file; an empty or
    // malformed code counts as "US"). Marks the table not loaded when the file changes.
    static void SetLanguage(std::string_view code);
    static std::string GetLanguage();
    // The file name without extension that the language uses ("InterfaceText" or "InterfaceText_DE").
    static std::string GetFileBaseName();

    // The global loaded flag.
    static bool IsLoaded();
    static void SetLoaded(bool loaded);
    // The interface-text lock.
    static SharedAccessLock& Lock();

    // The folder the files are read from: the executable's folder unless set otherwise.
    static void SetFolder(std::string folder);
    static std::string GetFolder();

    // Keys in the table now.
    static size_t GetCount();
};

// InterfaceTextDB::GetString as an engine String.
Orvo::String GetInterfaceString(std::string_view key);
