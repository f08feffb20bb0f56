#include "script/compiler/GSLibraryFile.h"

#include "core/Crc32.h"

#include <cstring>

namespace {

constexpr char kMagic[4] = {'V', 'G', 'S', 'L'};
constexpr size_t kHeaderSize = 12;
constexpr size_t kMinTokenSize = 1 + 2 + 4 + 2;

void PutU16(std::string& out, uint16_t v)
{
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.append(b, 2);
}

void PutU32(std::string& out, uint32_t v)
{
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    out.append(b, 4);
}

void SetU32(std::string& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutStr(std::string& out, std::string_view s, size_t max)
{
    if (s.size() > max) s = s.substr(0, max);
    PutU16(out, static_cast<uint16_t>(s.size()));
    out.append(s);
}

// Reads little-endian values from a byte range; every read is checked against what is left.
class Reader
{
public:
    explicit Reader(std::string_view data) : data_(data) {}
    size_t Left() const { return data_.size() - pos_; }
    bool U8(uint8_t* v)
    {
        if (Left() < 1) return false;
        *v = static_cast<uint8_t>(data_[pos_++]);
        return true;
    }
    bool U16(uint16_t* v)
    {
        if (Left() < 2) return false;
        *v = static_cast<uint16_t>(Byte(0) | (Byte(1) << 8));
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t* v)
    {
        if (Left() < 4) return false;
        *v = Byte(0) | (Byte(1) << 8) | (Byte(2) << 16) | (Byte(3) << 24);
        pos_ += 4;
        return true;
    }
    bool Bytes(size_t n, std::string* s)
    {
        if (Left() < n) return false;
        s->assign(data_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    bool Str(std::string* s)
    {
        uint16_t n;
        return U16(&n) && Bytes(n, s);
    }

private:
    uint32_t Byte(size_t i) const { return static_cast<unsigned char>(data_[pos_ + i]); }
    std::string_view data_;
    size_t pos_ = 0;
};

}  // namespace

GSLibraryWriter::GSLibraryWriter(std::string_view sourceName, uint32_t sourceCrc,
                                 const std::vector<GSLibraryInclude>& includes)
{
    out_.append(kMagic, 4);
    PutU32(out_, kGslVersion);
    PutU32(out_, 0);  // body size, set by Finish
    PutStr(out_, sourceName, kGslMaxName);
    PutU32(out_, sourceCrc);
    PutU32(out_, static_cast<uint32_t>(includes.size()));
    for (const GSLibraryInclude& inc : includes)
    {
        PutStr(out_, inc.name, kGslMaxName);
        PutU32(out_, inc.crc);
    }
    countAt_ = out_.size();
    PutU32(out_, 0);  // token count, set by Finish
}

void GSLibraryWriter::Reserve(size_t tokens, size_t textBytes)
{
    out_.reserve(out_.size() + tokens * kMinTokenSize + textBytes + 4);
}

void GSLibraryWriter::AddToken(GSTokenKind kind, uint16_t unit, uint32_t line, std::string_view text)
{
    out_.push_back(static_cast<char>(kind));
    PutU16(out_, unit);
    PutU32(out_, line);
    PutStr(out_, text, 0xFFFF);
    ++count_;
}

std::string GSLibraryWriter::Finish()
{
    SetU32(out_, countAt_, count_);
    SetU32(out_, 8, static_cast<uint32_t>(out_.size() - kHeaderSize));
    PutU32(out_, Crc32(out_.data(), out_.size()));
    return std::move(out_);
}

std::string EncodeGSLibrary(const GSLibrary& lib)
{
    GSLibraryWriter w(lib.sourceName, lib.sourceCrc, lib.includes);
    for (const GSLibraryToken& t : lib.tokens) w.AddToken(t.kind, t.unit, t.line, t.text);
    return w.Finish();
}

bool DecodeGSLibrary(std::string_view file, GSLibrary* lib, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (file.size() < kHeaderSize + 4 || std::memcmp(file.data(), kMagic, 4) != 0) return fail("not a script library");
    Reader head(file.substr(4, 8));
    uint32_t version = 0, bodySize = 0;
    head.U32(&version);
    head.U32(&bodySize);
    if (version > kGslVersion) return fail("script library made by a newer version");
    if (version != kGslVersion) return fail("unknown script library version");
    if (bodySize != file.size() - kHeaderSize - 4) return fail("script library is damaged (wrong size)");
    uint32_t storedCrc = 0;
    Reader(file.substr(file.size() - 4)).U32(&storedCrc);
    if (Crc32(file.data(), file.size() - 4) != storedCrc) return fail("script library is damaged (checksum mismatch)");

    GSLibrary out;
    Reader r(file.substr(kHeaderSize, bodySize));
    uint32_t includeCount = 0, tokenCount = 0;
    if (!r.Str(&out.sourceName) || !r.U32(&out.sourceCrc) || !r.U32(&includeCount))
        return fail("script library is damaged (header)");
    if (includeCount > kGslMaxIncludes || includeCount > r.Left() / 6)
        return fail("script library is damaged (include count)");
    out.includes.resize(includeCount);
    for (GSLibraryInclude& inc : out.includes)
        if (!r.Str(&inc.name) || !r.U32(&inc.crc)) return fail("script library is damaged (include list)");
    if (!r.U32(&tokenCount) || tokenCount > r.Left() / kMinTokenSize)
        return fail("script library is damaged (token count)");
    out.tokens.resize(tokenCount);
    for (GSLibraryToken& t : out.tokens)
    {
        uint8_t kind = 0;
        if (!r.U8(&kind) || !r.U16(&t.unit) || !r.U32(&t.line) || !r.Str(&t.text))
            return fail("script library is damaged (token stream)");
        if (kind == 0 || kind > kGSLastTokenKind || t.unit > includeCount)
            return fail("script library is damaged (bad token)");
        t.kind = static_cast<GSTokenKind>(kind);
    }
    if (r.Left() != 0) return fail("script library is damaged (trailing bytes)");
    *lib = std::move(out);
    return true;
}
