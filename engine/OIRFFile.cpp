#include "engine/OIRFFile.h"

#include "engine/MeshFileSupport.h"

namespace Orvo {

std::string OIRFTagText(uint32_t tag)
{
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i)
    {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        if (c >= 0x20 && c < 0x7F) text[i] = c;
    }
    return text;
}

bool OIRFFile::ReadHeader(MemoryFile& in, uint32_t& formTag, size_t& formEnd)
{
    const size_t start = in.Tell();
    uint32_t tag = 0, length = 0, form = 0;
    if (!in.Read(tag) || tag != OIRFTag("OIRF") || !in.Read(length))
    {
        in.Seek(start);
        return false;
    }
    const size_t end = in.Tell();
    if (length > in.Size() - end || length < 4 || !in.Read(form))
    {
        in.Seek(start);
        return false;
    }
    formTag = form;
    formEnd = end + length;
    return true;
}

bool OIRFFile::ReadChunk(MemoryFile& in, OIRFChunk& chunk, size_t limit)
{
    const size_t start = in.Tell();
    if (limit > in.Size()) limit = in.Size();
    if (start > limit || limit - start < 12) return false;
    OIRFChunk c;
    c.start = start;
    in.Read(c.tag);
    in.Read(c.length);
    in.Read(c.version);
    c.dataStart = in.Tell();
    if (c.length < 4 || c.length > limit - (start + 8))
    {
        in.Seek(start);
        return false;
    }
    c.end = start + 8 + c.length;
    chunk = c;
    return true;
}

bool OIRFFile::FindChunk(uint32_t tag, OIRFChunk& chunk, size_t limit)
{
    const size_t start = data_.Tell();
    OIRFChunk c;
    while (ReadChunk(data_, c, limit))
    {
        if (c.tag == tag)
        {
            chunk = c;
            return true;
        }
        data_.Seek(c.end);
    }
    data_.Seek(start);
    return false;
}

int OIRFFile::CheckHeader()
{
    formTag_ = 0;
    formEnd_ = 0;
    return ReadHeader(data_, formTag_, formEnd_) ? Ok : BadFormat;
}

int OIRFFile::Open(std::string_view path)
{
    File file;
    if (file.Open(path, File::ModeRead) != File::Ok || !data_.Open(file, path)) return CannotOpen;
    return CheckHeader();
}

int OIRFFile::OpenMemory(const void* data, size_t size, std::string_view name)
{
    data_.Open(data, size, name);
    return CheckHeader();
}

int OIRFFile::OpenOIRF(std::string_view sourceName, std::string_view path, uint32_t mode)
{
    Close();
    std::string full;
    if (!sourceName.empty())
    {
        full.assign(sourceName);
        full += ':';
    }
    full += path;
    return file_.Open(full, (mode & ModeWrite) ? File::ModeWrite : File::ModeRead);
}

void OIRFFile::Close()
{
    file_.Close();
    data_.Close();
    formTag_ = 0;
    formEnd_ = 0;
}

OIRFWriteHeader::OIRFWriteHeader(File& file, uint32_t formTag) : file_(file)
{
    ok_ = MeshFileSupport::WriteU32(file_, OIRFTag("OIRF"));
    mark_ = ok_ ? MeshFileSupport::MarkSizePos(file_) : -1;
    ok_ = ok_ && mark_ >= 0 && MeshFileSupport::WriteU32(file_, formTag);
}

OIRFWriteHeader::~OIRFWriteHeader() { Finish(); }

bool OIRFWriteHeader::Finish()
{
    if (!finished_)
    {
        finished_ = true;
        ok_ = ok_ && MeshFileSupport::WriteSizeAtMark(file_, mark_);
    }
    return ok_;
}

OIRFChunkWriter::OIRFChunkWriter(File& file, uint32_t tag, uint32_t version) : file_(file)
{
    ok_ = MeshFileSupport::WriteU32(file_, tag);
    mark_ = ok_ ? MeshFileSupport::MarkSizePos(file_) : -1;
    ok_ = ok_ && mark_ >= 0 && MeshFileSupport::WriteU32(file_, version);
}

OIRFChunkWriter::~OIRFChunkWriter() { Finish(); }

bool OIRFChunkWriter::Finish()
{
    if (!finished_)
    {
        finished_ = true;
        ok_ = ok_ && MeshFileSupport::WriteSizeAtMark(file_, mark_);
    }
    return ok_;
}

}  // namespace Orvo
