#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace Platform {
namespace {

struct CodePageEntry
{
    int number;
    const char* iconvName;
};

constexpr CodePageEntry kCodePages[] = {
    {0, "UTF-8"},          {65001, "UTF-8"},      {65000, "UTF-7"},       {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},    {12000, "UTF-32LE"},   {12001, "UTF-32BE"},    {20127, "ASCII"},
    {437, "CP437"},        {737, "CP737"},        {775, "CP775"},         {850, "CP850"},
    {852, "CP852"},        {855, "CP855"},        {857, "CP857"},         {860, "CP860"},
    {861, "CP861"},        {862, "CP862"},        {863, "CP863"},         {865, "CP865"},
    {866, "CP866"},        {869, "CP869"},        {874, "CP874"},         {932, "CP932"},
    {936, "CP936"},        {949, "CP949"},        {950, "CP950"},         {1250, "CP1250"},
    {1251, "CP1251"},      {1252, "CP1252"},      {1253, "CP1253"},       {1254, "CP1254"},
    {1255, "CP1255"},      {1256, "CP1256"},      {1257, "CP1257"},       {1258, "CP1258"},
    {1361, "CP1361"},      {10000, "MACINTOSH"},  {20866, "KOI8-R"},      {21866, "KOI8-U"},
    {20932, "EUC-JP"},     {51932, "EUC-JP"},     {51949, "EUC-KR"},      {50220, "ISO-2022-JP"},
    {54936, "GB18030"},    {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
};

class Iconv
{
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// The output sink: bytes go to the caller's buffer while they fit; past that only the size is
// counted, so the caller learns exactly what a retry needs.
struct Sink
{
    char* out;
    size_t capacity;
    size_t total = 0;
    bool overflow = false;
    void Put(const char* bytes, size_t n)
    {
        if (out && !overflow)
        {
            if (n <= capacity - total)
                std::memcpy(out + total, bytes, n);
            else
                overflow = true;
        }
        total += n;
    }
};

// Length of the one character at `in` when it is valid in the source code page, else 0.
size_t ValidCharLength(const char* fromName, const char* in, size_t inLeft)
{
    Iconv probe("UTF-32LE", fromName);
    if (!probe.ok()) return 0;
    char ucs[4];
    char* src = const_cast<char*>(in);
    char* dst = ucs;
    size_t srcLeft = inLeft, dstLeft = sizeof ucs;
    size_t r = iconv(probe.get(), &src, &srcLeft, &dst, &dstLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) return 0;
    if (dstLeft != 0) return 0;  // nothing decoded
    return inLeft - srcLeft;
}

}  // namespace

const char* CodePageName(int codePage)
{
    for (const auto& e : kCodePages)
        if (e.number == codePage) return e.iconvName;
    return nullptr;
}

bool IsCodePageSupported(int codePage)
{
    const char* name = CodePageName(codePage);
    if (!name) return false;
    Iconv cd("UTF-8", name);
    return cd.ok();
}

ConvertResult ConvertCodePage(int fromCodePage, int toCodePage, const void* input, size_t inputLength, void* out,
                              size_t outCapacity, const ConvertOptions& options)
{
    ConvertResult result;
    const char* fromName = CodePageName(fromCodePage);
    const char* toName = CodePageName(toCodePage);
    if (!fromName || !toName)
    {
        result.status = ConvertStatus::UnknownCodePage;
        return result;
    }
    Iconv cd(toName, fromName);
    if (!cd.ok())
    {
        result.status = ConvertStatus::UnknownCodePage;
        return result;
    }
    if (!input && inputLength)
    {
        result.status = ConvertStatus::InvalidInput;
        return result;
    }

    Sink sink{static_cast<char*>(out), out ? outCapacity : 0};
    char scratch[4096];
    char* src = const_cast<char*>(static_cast<const char*>(input));
    size_t srcLeft = inputLength;
    std::string replacement;

    auto fail = [&](ConvertStatus status) {
        result.status = status;
        result.errorOffset = inputLength - srcLeft;
        result.size = sink.total;
        return result;
    };

    while (srcLeft > 0)
    {
        char* dst = scratch;
        size_t dstLeft = sizeof scratch;
        size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        int err = errno;
        sink.Put(scratch, sizeof scratch - dstLeft);
        if (r != static_cast<size_t>(-1)) continue;
        if (err == E2BIG) continue;                                   // scratch was full; it has been drained
        if (err == EINVAL) return fail(ConvertStatus::InvalidInput);  // truncated sequence at the end
        if (err != EILSEQ) return fail(ConvertStatus::InvalidInput);
        size_t charLength = ValidCharLength(fromName, src, srcLeft);
        if (charLength == 0) return fail(ConvertStatus::InvalidInput);
        if (!options.replaceUnconvertible) return fail(ConvertStatus::Unconvertible);
        if (replacement.empty())
        {
            Iconv rc(toName, "ASCII");
            char q[] = "?";
            char* qs = q;
            size_t qLeft = 1;
            char buf[16];
            char* qd = buf;
            size_t qdLeft = sizeof buf;
            if (!rc.ok() || iconv(rc.get(), &qs, &qLeft, &qd, &qdLeft) == static_cast<size_t>(-1))
                return fail(ConvertStatus::Unconvertible);
            replacement.assign(buf, sizeof buf - qdLeft);
        }
        sink.Put(replacement.data(), replacement.size());
        ++result.replaced;
        src += charLength;
        srcLeft -= charLength;
    }

    // End of input: let stateful encodings (UTF-7, ISO-2022-JP) close their shift state.
    for (;;)
    {
        char* dst = scratch;
        size_t dstLeft = sizeof scratch;
        size_t r = iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft);
        int err = errno;
        sink.Put(scratch, sizeof scratch - dstLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (err != E2BIG) return fail(ConvertStatus::InvalidInput);
    }

    result.size = sink.total;
    result.status = sink.overflow ? ConvertStatus::BufferTooSmall : ConvertStatus::Ok;
    return result;
}

ConvertResult ConvertCodePage(int fromCodePage, int toCodePage, std::string_view input, std::string* out,
                              const ConvertOptions& options)
{
    if (!out) return ConvertCodePage(fromCodePage, toCodePage, input.data(), input.size(), nullptr, 0, options);
    // One pass in the common case: four output bytes per input byte hold any character of the
    // code pages here; only exotic shift sequences need the second pass at the exact size.
    out->resize(input.size() * 4 + 16);
    ConvertResult r =
        ConvertCodePage(fromCodePage, toCodePage, input.data(), input.size(), out->data(), out->size(), options);
    if (r.status == ConvertStatus::BufferTooSmall)
    {
        out->resize(r.size);
        r = ConvertCodePage(fromCodePage, toCodePage, input.data(), input.size(), out->data(), out->size(), options);
    }
    out->resize(r.ok() ? r.size : 0);
    return r;
}

}  // namespace Platform
