#include "engine/ProgramText.h"

namespace Orvo {

void ProgramTextTable::Register(const PString& name, std::string_view text)
{
    std::lock_guard<std::mutex> hold(lock_);
    texts_[name] = std::string(text);
}

bool ProgramTextTable::Get(const PString& name, std::string& text) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = texts_.find(name);
    if (it == texts_.end()) return false;
    text = it->second;
    return true;
}

std::string_view TrimBlanks(std::string_view text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool FindDeclarationBlock(std::string_view text, std::string_view keyword, std::string_view& name,
                          std::string_view& body)
{
    size_t lineStart = 0;
    while (lineStart < text.size())
    {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        const std::string_view line = TrimBlanks(text.substr(lineStart, lineEnd - lineStart));
        const bool comment = line.starts_with("#") || line.starts_with("//");
        if (!comment && line.starts_with(keyword) && line.size() > keyword.size() && line[keyword.size()] == '(')
        {
            const size_t close = line.find(')');
            if (close == std::string_view::npos) return false;
            name = TrimBlanks(line.substr(keyword.size() + 1, close - keyword.size() - 1));
            const size_t after = size_t(line.data() - text.data()) + close + 1;
            const size_t open = text.find('{', after);
            if (open == std::string_view::npos || !TrimBlanks(text.substr(after, open - after)).empty()) return false;
            const size_t end = text.find('}', open);
            if (end == std::string_view::npos || name.empty()) return false;
            body = text.substr(open + 1, end - open - 1);
            return true;
        }
        lineStart = lineEnd + 1;
    }
    return false;
}

}  // namespace Orvo
