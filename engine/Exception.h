#pragma once
// The engine's exception: carries one message text. The program's own exceptions derive from it.
#include <exception>
#include <string>

namespace Orvo {

class Exception : public std::exception {
public:
    Exception() = default;
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    ~Exception() override;

    // printf-style construction of the message.
    static Exception Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& GetText() const { return m_message; }

protected:
    void SetText(std::string message) { m_message = std::move(message); }

private:
    std::string m_message;
};

} // namespace Orvo
