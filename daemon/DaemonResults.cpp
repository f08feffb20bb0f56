#include "daemon/DaemonResults.h"

void PostResult(DaemonResults* out, uint32_t kind, const std::string& text, const KUID& source,
                const ResultParams& params)
{
    if (!out) return;
    VADResultNotification r;
    r.kind = kind;
    r.text = text;
    if (!source.IsNull())
    {
        r.hasSource = 1;
        r.source = source;
    }
    if (!params.empty())
    {
        TDBTagRef tree = TDBTagRef::NewContainer();
        for (const auto& [name, value] : params) tree.SetChildString(name, value);
        VADTreeToBytes(tree, r.params);
    }
    out->push_back(std::move(r));
}
