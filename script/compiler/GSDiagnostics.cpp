#include "script/compiler/GSDiagnostics.h"

void GSDiagnostics::Error(std::string file, uint32_t line, std::string message)
{
    ++count_;
    if (kept_.size() < kMaxKept) kept_.push_back({std::move(file), line, std::move(message)});
}

std::string GSDiagnostics::Format(const GSDiagnostic& d)
{
    return d.file + "(" + std::to_string(d.line) + ") : " + d.message;
}

std::vector<std::string> GSDiagnostics::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(kept_.size() + 1);
    for (const GSDiagnostic& d : kept_) lines.push_back(Format(d));
    if (count_ > kept_.size())
        lines.push_back("... " + std::to_string(count_ - kept_.size()) + " more error(s) not shown");
    return lines;
}
