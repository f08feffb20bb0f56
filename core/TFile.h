#pragma once
// A stream over a file on disk; paths go through the engine's resolver (substitutions, case fallback,
// refusal of unsafe paths). Open failures leave the stream closed with kStreamOpenFailed set;
// destroying the stream closes the file.
#include "core/TStream.h"

#include <cstdio>
#include <string>

class TFile : public TStream
{
public:
    enum Mode
    {
        kRead,       // existing file, read only
        kWrite,      // create or truncate, write (and read back)
        kReadWrite,  // existing file, read and write
    };

    TFile() = default;
    TFile(const std::string& path, Mode mode) { Open(path, mode); }
    ~TFile() override { Close(); }

    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return file_ != nullptr; }
    // Flushes and closes; false when buffered data could not be written.
    bool Close();
    bool Flush();

    size_t Read(void* dst, size_t n) override;
    size_t Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override;
    uint64_t Size() const override;

private:
    std::FILE* file_ = nullptr;
    bool lastWasWrite_ = false;
    bool lastWasRead_ = false;
};
