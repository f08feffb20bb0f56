#pragma once
// The engine's exception: carries one message text. The program's own exceptions derive from it.
#include <exception>
#include <string>

namespace Orvo {

class Exception : public std::exception
{
public:
    Exception() = default;
    explicit Exception(std::string message) : message_(std::move(message)) {}
    ~Exception() override;

    // printf-style construction of the message.
    static Exception Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& GetText() const { return message_; }

protected:
    void SetText(std::string message) { message_ = std::move(message); }

private:
    std::string message_;
};

}  // namespace Orvo
