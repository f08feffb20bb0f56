// The settings the daemon keeps for its clients and itself: checks of the values it reads itself, and the
// settings file read at start.
#include "daemon/AssetDatabase.h"

#include "core/ConfigFile.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/DaemonLog.h"
#include "engine/TextCase.h"

#include <cctype>
#include <sys/stat.h>

namespace {

constexpr size_t kMaxGroupName = 256;

// The values the daemon reads itself, and whether each is a whole number (else a text).
const struct
{
    const char* group;
    const char* key;
    bool number;
} kTypedSettings[] = {
    {"developer", "max_backup_folders", true},
    {"user", "local-user-id", true},
    {"user", "next-content-id", true},
    {"internet", "dls-mirror", false},
};

bool WholeNumber(std::string_view text, int32_t& out)
{
    size_t i = text.size() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || text.size() > 11) return false;
    long long v = 0;
    for (; i < text.size(); ++i)
    {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

}  // namespace

bool AssetDatabase::CheckSetting(const std::string& group, const Orvo::PString& key, const TDBTagRef& value,
                                 std::string& why, bool& number, int32_t& n)
{
    const ACSRawDataCore* data = value.GetData();
    bool text = value.GetType() == kACSString;
    number = value.GetType() == kACSInteger && data && data->GetCount() == 1;
    n = number ? data->GetInt(0) : 0;
    for (const auto& t : kTypedSettings)
    {
        if (!Orvo::EqualsNoCase(group, t.group) || !key.EqualsNoCase(std::string_view(t.key))) continue;
        std::string name = std::string("\"") + t.group + "\"/\"" + t.key + "\"";
        if (!t.number && !text) why = name + " must be a text in double quotes.";
        // A number given as a text is stored as the number.
        if (t.number && !number && text && WholeNumber(data->GetString(), n)) number = true;
        if (t.number && !number)
            why = name + " must be a whole number, not '" + std::string(value.GetString().View()) + "'.";
        return why.empty();
    }
    return true;
}

void AssetDatabase::ApplySettingsFile(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    TDBTagRef file;
    ConfigFileResult result = S_ISREG(st.st_mode) ? LoadConfigFileEx(file, "", path) : ConfigFileResult::kNotValid;
    if (result != ConfigFileResult::kOK || !file.IsContainer())
    {
        DLOG("settings file not used: %s", ConfigLoadFailureReason(path, result).c_str());
        return;
    }
    std::unique_lock lk(mutex_);
    for (size_t i = 0; i < file.GetChildCount(); ++i)
    {
        std::string group(file.GetChildName(i).View());
        TDBTagRef values = file.GetChildAt(i);
        if (!values.IsContainer() || group.empty() || group.size() > kMaxGroupName)
        {
            DLOG("%s: '%s' left out: a settings group is a name and its values in { }", path.c_str(), group.c_str());
            continue;
        }
        // The group is written whole: one that could not be read would lose the values the file does not set.
        TDBTagRef stored;
        if (!GroupLocked(group, stored))
        {
            DLOG("%s: the group '%s' was not applied: it could not be read from the store", path.c_str(),
                 group.c_str());
            continue;
        }
        size_t set = 0;
        for (size_t j = 0; j < values.GetChildCount(); ++j)
        {
            const Orvo::PString& key = values.GetChildName(j);
            TDBTagRef value = values.GetChildAt(j);
            std::string why;
            bool number = false;
            int32_t n = 0;
            if (CheckSetting(group, key, value, why, number, n) && !number && value.GetType() != kACSString)
                why = "only a text in double quotes or one whole number can be set";
            if (!why.empty())
            {
                DLOG("%s: \"%s\"/\"%s\" left out: %s", path.c_str(), group.c_str(), key.c_str(), why.c_str());
                continue;
            }
            if (number)
                stored.SetChildInt(key, n);
            else
                stored.SetChildString(key, value.GetString().View());
            ++set;
        }
        if (set && !PutGroupLocked(group, stored))
            DLOG("%s: the group '%s' could not be stored: %s", path.c_str(), group.c_str(), store_.LastError().c_str());
        else if (set)
            DLOG("%s: %zu settings of '%s' applied", path.c_str(), set, group.c_str());
    }
}
