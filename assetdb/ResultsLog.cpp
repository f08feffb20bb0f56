#include "assetdb/ResultsLog.h"

#include "core/TextHelpers.h"

#include <cstdarg>

Orvo::String ResultsLog::FillPlaceholders(std::string_view text, const TDBTagRef& params)
{
    Orvo::String out(text);
    if (!params.IsContainer() || text.find("$(") == std::string_view::npos) return out;
    for (size_t i = 0; i < params.GetChildCount(); ++i)
    {
        TDBTagRef child = params.GetChildAt(i);
        uint8_t type = child.GetType();
        // Containers and raw binary data have no text to put in a message.
        if (type == kACSNull || type == kACSContainer || type == kACSBinary) continue;
        ExpandTextMacro(out, params.GetChildName(i).View(), child.GetString().View());
    }
    return out;
}

void ResultsLog::AppendUnlocked(Result&& r)
{
    switch (r.kind)
    {
    case kResultWarning: ++warnings_; break;
    case kResultError: ++errors_; break;
    case kResultSuccess: ++successes_; break;
    default: break;
    }
    read_ = false;
    results_.push_back(std::move(r));
}

void ResultsLog::PostResult(uint32_t kind, const VelmarPropertyRef& source, std::string_view text,
                            const TDBTagRef& params)
{
    Result r;
    r.kind = kind;
    r.text = FillPlaceholders(text, params);
    std::lock_guard<std::mutex> lock(mutex_);
    r.source = source ? source : (context_.empty() ? VelmarPropertyRef() : context_.back());
    AppendUnlocked(std::move(r));
}

void ResultsLog::PostResult(uint32_t kind, std::string_view text, const TDBTagRef& params)
{
    PostResult(kind, VelmarPropertyRef(), text, params);
}

void ResultsLog::PostResultF(uint32_t kind, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Orvo::String text = Orvo::String::FormatV(format, args);
    va_end(args);
    PostResult(kind, VelmarPropertyRef(), text.View());
}

void ResultsLog::PushContext(const VelmarPropertyRef& context)
{
    std::lock_guard<std::mutex> lock(mutex_);
    context_.push_back(context);
}

void ResultsLog::PopContext()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!context_.empty()) context_.pop_back();
}

VelmarPropertyRef ResultsLog::GetContext() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return context_.empty() ? VelmarPropertyRef() : context_.back();
}

void ResultsLog::Assign(const ResultsLog& other)
{
    if (&other == this) return;
    std::scoped_lock lock(mutex_, other.mutex_);
    results_ = other.results_;
    warnings_ = other.warnings_;
    errors_ = other.errors_;
    successes_ = other.successes_;
    read_ = other.read_;
}

void ResultsLog::Append(const ResultsLog& other) { AppendKinds(other, false); }

void ResultsLog::AppendErrors(const ResultsLog& other) { AppendKinds(other, true); }

void ResultsLog::AppendKinds(const ResultsLog& other, bool errorsOnly)
{
    std::vector<Result> added = other.GetResults();
    std::lock_guard<std::mutex> lock(mutex_);
    for (Result& r : added)
    {
        if (errorsOnly && r.kind != kResultError) continue;
        if (!r.source && !context_.empty()) r.source = context_.back();
        AppendUnlocked(std::move(r));
    }
}

void ResultsLog::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    results_.clear();
    warnings_ = errors_ = successes_ = 0;
    read_ = false;
}

uint32_t ResultsLog::ErrorCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

uint32_t ResultsLog::WarningCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return warnings_;
}

uint32_t ResultsLog::SuccessCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return successes_;
}

size_t ResultsLog::GetResultCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return results_.size();
}

std::vector<ResultsLog::Result> ResultsLog::GetResults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return results_;
}

bool ResultsLog::IsRead() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
}

void ResultsLog::SetRead(bool read)
{
    std::lock_guard<std::mutex> lock(mutex_);
    read_ = read;
}

bool ResultsLog::Write(TStream& out, uint32_t flags) const
{
    (void)flags;
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = out.WriteUInt32(static_cast<uint32_t>(results_.size()));
    for (const Result& r : results_)
    {
        ok = ok && out.WriteUInt32(r.kind);
        const VelmarPropertyAssetID* id = r.source.AsAssetID();
        ok = ok && out.WriteUInt8(id ? 1 : 0);
        if (id) ok = ok && out.WritePString(id->GetName()) && out.WriteKUID(id->GetKUID());
        ok = ok && out.WriteString(r.text.View().data(), r.text.Length());
    }
    return ok && !out.HasError();
}

bool ResultsLog::Read(TStream& in)
{
    uint32_t count = in.ReadUInt32();
    // The smallest result is 9 bytes (kind, flag, empty string), so a count beyond that is a lie.
    if (in.HasError() || count > kMaxStreamResults || count > in.Remaining() / 9) return false;
    std::vector<Result> read;
    read.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        Result r;
        r.kind = in.ReadUInt32();
        uint8_t flag = in.ReadUInt8();
        if (flag > 1) return false;
        if (flag == 1)
        {
            std::string name;
            if (!in.ReadStringTo(name)) return false;
            KUID kuid = in.ReadKUID();
            r.source = VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(name), kuid));
        }
        std::string text;
        if (!in.ReadStringTo(text) || in.HasError()) return false;
        r.text = Orvo::String(text);
        read.push_back(std::move(r));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (Result& r : read) AppendUnlocked(std::move(r));
    return true;
}
