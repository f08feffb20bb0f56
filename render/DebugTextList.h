#pragma once
// The labels a debug viewport would keep: a growable array of text records that grows as the step arrays
// do (by the stored growth step, or, when that is 0, an eighth of the count held to 4 ... 1024 records).
// Unlike a step array it holds records that own their text, so they are moved rather than copied bytewise.
#include "engine/String.h"
#include "engine/Vector.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct DebugText
{
    Orvo::Vector3 at;
    uint32_t colour = 0;
    Orvo::String text;
};

class DebugTextList
{
public:
    explicit DebugTextList(size_t step) : step_(step) {}

    // Sets the count to n; a step of 0 or more first replaces the stored growth step. Records added or
    // dropped are left empty.
    void SetSize(size_t n, long step = -1);

    size_t Count() const { return count_; }
    size_t Capacity() const { return capacity_; }
    size_t Step() const { return step_; }

private:
    std::unique_ptr<DebugText[]> data_;
    size_t count_ = 0;
    size_t capacity_ = 0;
    size_t step_;
};
