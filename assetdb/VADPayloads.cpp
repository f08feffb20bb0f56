#include "assetdb/VADPayloads.h"

#include "core/SoupBinary.h"

void VADPutField(VADWriter& w, const VADFilterElementGroup& filter) { VADEncodeFilter(w, filter); }

void VADGetField(VADReader& r, VADFilterElementGroup& filter)
{
    std::unique_ptr<VADFilterElement> root;
    if (!VADDecodeFilter(r, root)) return;
    if (root->GetType() != VADFilterElement::kGroup)
    {
        r.Fail();
        return;
    }
    filter = static_cast<VADFilterElementGroup&>(*root);
}

bool VADTreeToBytes(const TDBTagRef& tree, VADBytes& out)
{
    out.clear();
    if (tree.IsNull()) return true;
    std::string bytes;
    if (!WriteSoupBinary(tree, bytes)) return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool VADTreeFromBytes(const VADBytes& bytes, TDBTagRef& out)
{
    out = TDBTagRef();
    if (bytes.empty()) return true;
    TDBTagRef tree;
    if (ReadSoupBinary(bytes.data(), bytes.size(), tree) != SoupBinaryResult::kOK) return false;
    out = std::move(tree);
    return true;
}
