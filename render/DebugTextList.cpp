#include "render/DebugTextList.h"

#include "render/StepArray.h"

#include <algorithm>
#include <utility>

void DebugTextList::SetSize(size_t n, long step)
{
    if (step >= 0) step_ = size_t(step);
    if (n > capacity_)
    {
        const size_t capacity = GrownCapacity(capacity_, count_, step_, n);
        std::unique_ptr<DebugText[]> grown(new DebugText[capacity]);
        std::move(data_.get(), data_.get() + count_, grown.get());
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    for (size_t i = std::min(n, count_); i < std::max(n, count_); ++i) data_[i] = DebugText();
    count_ = n;
}
