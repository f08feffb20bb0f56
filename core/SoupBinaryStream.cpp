#include "core/SoupBinaryStream.h"

#include "core/Crc32.h"
#include "platform/FileWriting.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kWriteBuffer = size_t(1) << 20;
constexpr size_t kReadWindow = size_t(256) << 10;
// What a read that jumps past a large payload takes beyond what it was asked for: the chunk after such a
// payload is usually followed by another large one (an archive of large files), so reading a whole window
// there would read mostly bytes nobody looks at.
constexpr size_t kJumpRead = size_t(4) << 10;

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutU16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

uint32_t LoadU32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The chunk header before a payload: size field, name, type.
std::string ChunkHeader(std::string_view name, uint8_t type, uint32_t size)
{
    std::string h;
    h.reserve(7 + name.size());
    PutU32(h, size);
    PutU16(h, static_cast<uint16_t>(name.size()));
    h.append(name);
    h.push_back(static_cast<char>(type));
    return h;
}

// How deep containers nest below a node (0 for a data tag, 1 for a container of data tags).
int TreeDepth(const ACSChunk* c)
{
    if (!c || !c->IsContainer()) return 0;
    int deepest = 0;
    for (size_t i = 0; i < c->GetChildCount(); ++i) deepest = std::max(deepest, TreeDepth(c->GetChildAt(i)));
    return deepest + 1;
}

}  // namespace

// ---- writing ----

SoupStreamWriter::SoupStreamWriter(int fd, uint64_t start) : fd_(fd), flushed_(start), fileStart_(start)
{
    buffer_.reserve(kWriteBuffer);
}

bool SoupStreamWriter::WriteAt(uint64_t at, const void* data, size_t size)
{
    if (!Platform::WriteFullyAt(fd_, data, size, at)) ok_ = false;
    return ok_;
}

bool SoupStreamWriter::Flush()
{
    if (!ok_) return false;
    if (buffer_.empty()) return true;
    if (!WriteAt(flushed_, buffer_.data(), buffer_.size())) return false;
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool SoupStreamWriter::AppendRaw(const void* data, size_t size)
{
    if (!ok_) return false;
    if (buffer_.size() + size <= kWriteBuffer)
    {
        buffer_.append(static_cast<const char*>(data), size);
        return true;
    }
    if (!Flush()) return false;
    if (size < kWriteBuffer)
    {
        buffer_.append(static_cast<const char*>(data), size);
        return true;
    }
    // Large data goes straight to the file.
    if (!WriteAt(flushed_, data, size)) return false;
    flushed_ += size;
    return true;
}

bool SoupStreamWriter::AppendBody(const void* data, size_t size)
{
    if (open_.empty()) return ok_ = false;
    Open& in = open_.back();
    if (in.checksum) in.bodyCrc = Crc32(data, size, in.bodyCrc);
    in.bodySize += size;
    return AppendRaw(data, size);
}

bool SoupStreamWriter::Patch(uint64_t at, uint32_t value)
{
    if (!ok_) return false;
    if (at >= flushed_)
    {
        std::memcpy(buffer_.data() + (at - flushed_), &value, 4);
        return true;
    }
    if (at + 4 > flushed_ && !Flush()) return false;
    return WriteAt(at, &value, 4);
}

bool SoupStreamWriter::BeginFile()
{
    if (!open_.empty() || Position() != fileStart_) return ok_ = false;
    std::string header("ACS$", 4);
    PutU32(header, kSoupBinaryVersion);
    PutU32(header, 0);
    PutU32(header, 0);
    if (!AppendRaw(header.data(), header.size())) return false;
    Open body;
    body.at = fileStart_ + 12;
    open_.push_back(std::move(body));
    return true;
}

bool SoupStreamWriter::EndFile()
{
    if (open_.size() != 1) return ok_ = false;
    const Open body = std::move(open_.back());
    open_.pop_back();
    if (body.bodySize > 0xFFFFFFFFu) return ok_ = false;
    return Patch(body.at, static_cast<uint32_t>(body.bodySize)) && Flush();
}

bool SoupStreamWriter::OpenContainer(std::string_view name, bool checksum)
{
    if (open_.empty() || name.size() > 0xFFFF || Depth() + 1 > kMaxSoupDepth) return ok_ = false;
    Open c;
    c.at = Position();
    c.header = ChunkHeader(name, kACSContainer, 0);
    c.checksum = checksum || open_.back().checksum;
    if (!AppendRaw(c.header.data(), c.header.size())) return false;
    open_.push_back(std::move(c));
    return true;
}

bool SoupStreamWriter::CloseContainer(uint32_t* bodyCrc, uint64_t* bodySize)
{
    if (open_.size() < 2) return ok_ = false;
    Open c = std::move(open_.back());
    open_.pop_back();
    const uint64_t size = c.header.size() - 4 + c.bodySize;
    if (size > 0xFFFFFFFFu) return ok_ = false;
    const uint32_t size32 = static_cast<uint32_t>(size);
    if (!Patch(c.at, size32)) return false;
    Open& parent = open_.back();
    const uint64_t chunkBytes = c.header.size() + c.bodySize;
    if (parent.checksum)
    {
        std::memcpy(c.header.data(), &size32, 4);
        const uint32_t chunkCrc = Crc32Combine(Crc32(c.header.data(), c.header.size()), c.bodyCrc, c.bodySize);
        parent.bodyCrc = Crc32Combine(parent.bodyCrc, chunkCrc, chunkBytes);
    }
    parent.bodySize += chunkBytes;
    if (bodyCrc) *bodyCrc = c.checksum ? c.bodyCrc : 0;
    if (bodySize) *bodySize = c.bodySize;
    return true;
}

bool SoupStreamWriter::WriteTag(std::string_view name, const TDBTagRef& tag)
{
    if (!ok_ || open_.empty() || !tag.Get()) return ok_ = false;
    // The tree's containers count below the ones open here.
    if (Depth() + TreeDepth(tag.Get()) > kMaxSoupDepth) return ok_ = false;
    std::string bytes;
    if (!WriteSoupBinaryChunk(name, tag, bytes)) return ok_ = false;
    return AppendBody(bytes.data(), bytes.size());
}

bool SoupStreamWriter::WriteBinary(std::string_view name, const void* data, size_t size)
{
    if (!ok_ || open_.empty() || name.size() > 0xFFFF) return ok_ = false;
    const uint64_t chunk = 3 + name.size() + uint64_t(size);
    if (chunk > 0xFFFFFFFFu) return ok_ = false;
    const std::string header = ChunkHeader(name, kACSBinary, static_cast<uint32_t>(chunk));
    return AppendBody(header.data(), header.size()) && AppendBody(data, size);
}

bool SoupStreamWriter::CopyBytes(int fromFd, uint64_t from, uint64_t size)
{
    if (!ok_ || open_.empty()) return ok_ = false;
    std::string block;
    while (size > 0)
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, kWriteBuffer));
        block.resize(n);
        if (!Platform::ReadFullyAt(fromFd, block.data(), n, from)) return ok_ = false;
        if (!AppendBody(block.data(), n)) return false;
        from += n;
        size -= n;
    }
    return true;
}

// ---- reading ----

SoupStreamReader::SoupStreamReader(int fd, uint64_t begin, uint64_t end) : fd_(fd), begin_(begin), end_(end) {}

bool SoupStreamReader::Fill(uint64_t at, size_t size)
{
    if (at < begin_ || at > end_ || size > end_ - at) return false;
    const uint64_t windowEnd = windowAt_ + windowLength_;
    if (at >= windowAt_ && at + size <= windowEnd) return true;
    // Reading on near where the window ends (small chunks one after another) takes a whole window; a jump
    // farther than a window (past a large payload) takes only a little more than asked.
    const bool jump = windowLength_ == 0 || at < windowAt_ || at - windowEnd >= kReadWindow;
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(std::max(size, jump ? kJumpRead : kReadWindow), end_ - at));
    // Grown as needed, never cleared first: the read fills what is used.
    if (windowCapacity_ < want)
    {
        window_.reset(new char[want]);
        windowCapacity_ = want;
    }
    windowLength_ = 0;
    if (!Platform::ReadFullyAt(fd_, window_.get(), want, at)) return false;
    windowAt_ = at;
    windowLength_ = want;
    return true;
}

bool SoupStreamReader::ReadBytes(uint64_t at, void* out, size_t size)
{
    if (size == 0) return at >= begin_ && at <= end_;
    if (size >= kReadWindow)
        return at >= begin_ && at <= end_ && size <= end_ - at &&
               Platform::ReadFullyAt(fd_, static_cast<char*>(out), size, at);
    if (!Fill(at, size)) return false;
    std::memcpy(out, window_.get() + (at - windowAt_), size);
    return true;
}

bool SoupStreamReader::ReadBytes(uint64_t at, size_t size, std::string& out)
{
    if (at < begin_ || at > end_ || size > end_ - at) return false;
    out.resize(size);
    return ReadBytes(at, out.data(), size);
}

bool SoupStreamReader::ReadChunk(uint64_t at, uint64_t limit, SoupChunkInfo& out)
{
    if (limit > end_ || at > limit || limit - at < 4) return false;
    char head[6];
    if (!ReadBytes(at, head, 4)) return false;
    const uint32_t size = LoadU32(head);
    if (size > limit - at - 4 || size < 3) return false;
    if (!ReadBytes(at + 4, head + 4, 2)) return false;
    uint16_t nameLen;
    std::memcpy(&nameLen, head + 4, 2);
    if (nameLen > size - 3) return false;
    if (!ReadBytes(at + 6, nameLen, out.name)) return false;
    char type;
    if (!ReadBytes(at + 6 + nameLen, &type, 1)) return false;
    out.type = static_cast<uint8_t>(type);
    out.at = at;
    out.payloadAt = at + 7 + nameLen;
    out.end = at + 4 + size;
    return true;
}

bool SoupStreamReader::ReadChunkAsTree(const SoupChunkInfo& chunk, TDBTagRef& container)
{
    std::string bytes;
    return ReadBytes(chunk.at, static_cast<size_t>(chunk.end - chunk.at), bytes) &&
           ReadSoupBinaryBody(bytes.data(), bytes.size(), container) == SoupBinaryResult::kOK;
}

bool SoupStreamReader::CheckChunks(uint64_t begin, uint64_t end, int depth)
{
    SoupChunkInfo c;
    for (uint64_t at = begin; at != end; at = c.end)
    {
        if (!ReadChunk(at, end, c)) return false;
        const uint64_t payload = c.PayloadSize();
        switch (c.type)
        {
        case kACSContainer:
            if (depth + 1 > kMaxSoupDepth || !CheckChunks(c.payloadAt, c.end, depth + 1)) return false;
            break;
        case kACSNull:
            if (payload != 0) return false;
            break;
        case kACSBinary:
        case kACSString: break;
        case kACSFloat:
        case kACSInteger:
            if (payload % 4) return false;
            break;
        case kACSKUID:
            if (payload % 8) return false;
            break;
        default: return false;
        }
    }
    return true;
}

SoupBinaryResult CheckSoupBinaryHeader(SoupStreamReader& in, uint64_t& bodyAt)
{
    const uint64_t size = in.End() - in.Begin();
    char header[kSoupBinaryHeaderSize];
    if (size < 4 || !in.ReadBytes(in.Begin(), header, 4) || !HasSoupBinaryMagic(header, 4))
        return SoupBinaryResult::kNotValid;
    if (size < kSoupBinaryHeaderSize || !in.ReadBytes(in.Begin(), header, sizeof header))
        return SoupBinaryResult::kDamaged;
    const uint32_t version = LoadU32(header + 4);
    if (version > kSoupBinaryVersion) return SoupBinaryResult::kNewerVersion;
    if (version == 0) return SoupBinaryResult::kNotValid;
    if (LoadU32(header + 12) != size - kSoupBinaryHeaderSize) return SoupBinaryResult::kDamaged;
    bodyAt = in.Begin() + kSoupBinaryHeaderSize;
    return SoupBinaryResult::kOK;
}
