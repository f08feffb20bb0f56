#pragma once
// Compile errors, counted and kept in the order they were found.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct GSDiagnostic
{
    std::string file;
    uint32_t line = 0;
    std::string message;
};

class GSDiagnostics
{
public:
    // Errors past this many are counted but not kept, so a garbage input cannot fill memory.
    static constexpr size_t kMaxKept = 1000;

    void Error(std::string file, uint32_t line, std::string message);
    size_t Count() const { return count_; }
    const std::vector<GSDiagnostic>& Kept() const { return kept_; }

    // The printed form of an error: "file(line) : message".
    static std::string Format(const GSDiagnostic& d);
    // Every kept error in its printed form, plus a line for those not kept.
    std::vector<std::string> Lines() const;

private:
    size_t count_ = 0;
    std::vector<GSDiagnostic> kept_;
};
