#include "assetdb/VADResultRouting.h"

#include "assetdb/ResultsLog.h"
#include "core/InterfaceTextDB.h"
#include "core/VelmarProperty.h"

void VADPostNotifiedResult(ResultsLog& log, const VADResultNotification& n)
{
    TDBTagRef params;
    if (!VADTreeFromBytes(n.params, params)) params = TDBTagRef();
    // A key names an interface text of this client's language; the daemon does not know the language.
    bool isKey = n.text.size() > 1 && n.text[0] == '$' && n.text.find_first_of(" \t\r\n") == std::string::npos;
    Orvo::String text = isKey ? GetInterfaceString(n.text) : Orvo::String(n.text);
    if (n.hasSource)
        log.PostResult(n.kind, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(n.sourceName), n.source)),
                       text.View(), params);
    else
        log.PostResult(n.kind, text.View(), params);
}

std::vector<VADResultNotification> VADNotificationsOf(const ResultsLog& log)
{
    std::vector<VADResultNotification> out;
    for (const ResultsLog::Result& r : log.GetResults())
    {
        VADResultNotification note;
        note.kind = r.kind >= kResultMessage && r.kind <= kResultSuccess ? r.kind : uint32_t(kResultMessage);
        if (const VelmarPropertyAssetID* id = r.source.AsAssetID())
        {
            note.hasSource = 1;
            note.sourceName = std::string(id->GetName().View());
            note.source = id->GetKUID();
        }
        note.text = r.text.str();
        out.push_back(std::move(note));
    }
    return out;
}
