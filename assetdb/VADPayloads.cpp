#include "assetdb/VADPayloads.h"

#include "core/SoupBinary.h"

void VADQueryRequest::Read(VADReader& r)
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

void VADJob::Write(VADWriter& w) const
{
    w.U32(command);
    switch (command)
    {
    case VAD_CMDHOST_VALIDATE:
        w.String(source);
        w.String(path);
        break;
    case VAD_CMDHOST_TEXTURECONVERT:
        w.String(source);
        w.String(path);
        w.String(targets);
        break;
    case VAD_CMDHOST_ARCHIVE_SAVETODISK:
    case VAD_CMDHOST_ARCHIVE_INSTALL:
        w.U32(archiveId);
        w.String(path);
        w.KuidList(kuids);
        if (command == VAD_CMDHOST_ARCHIVE_INSTALL)
        {
            w.String(staging);
            w.KuidList(unknown);
        }
        else if (!staging.empty())
            w.String(staging);
        break;
    default: break;
    }
}

void VADJob::Read(VADReader& r)
{
    command = r.U32();
    switch (command)
    {
    case VAD_CMDHOST_VALIDATE:
        source = r.String();
        path = r.String();
        break;
    case VAD_CMDHOST_TEXTURECONVERT:
        source = r.String();
        path = r.String();
        targets = r.String();
        break;
    case VAD_CMDHOST_ARCHIVE_SAVETODISK:
    case VAD_CMDHOST_ARCHIVE_INSTALL:
        archiveId = r.U32();
        path = r.String();
        kuids = r.KuidList();
        if (command == VAD_CMDHOST_ARCHIVE_INSTALL)
        {
            staging = r.String();
            unknown = r.KuidList();
        }
        else if (r.Remaining() > 0)
            staging = r.String();
        break;
    default: r.Fail(); break;
    }
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
