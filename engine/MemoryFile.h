#pragma once
// A whole file held in memory and read front to back, as the mesh readers use it. Every read is
// bounded: a value is taken only when all its bytes remain, otherwise nothing is read or moved.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class File;

class MemoryFile
{
public:
    static constexpr uint64_t kMaxSize = uint64_t(1) << 30;

    // Copies the rest of an open file (from its start); false when it cannot be read or is too large.
    bool Open(File& file, std::string_view name);
    void Open(const void* data, size_t size, std::string_view name);
    void Close();

    const std::string& Name() const { return name_; }
    const uint8_t* Data() const { return data_.data(); }
    size_t Size() const { return data_.size(); }
    size_t Tell() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    bool Seek(size_t position);  // false (and no move) beyond the end
    bool Skip(size_t bytes);     // false (and no move) when fewer remain

    bool Read(uint32_t& value);  // little-endian
    bool Read(int32_t& value);
    bool Read(float& value);
    bool Read(uint16_t& value);
    bool Read(uint8_t& value);
    bool ReadBytes(void* out, size_t bytes);
    // Four bytes compared with `tag` without moving.
    bool PeekTag(const char tag[4]) const;

private:
    std::vector<uint8_t> data_;
    std::string name_;
    size_t pos_ = 0;
};

}  // namespace Orvo
