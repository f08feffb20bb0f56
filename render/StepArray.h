#pragma once
// A growable array of plain records that grows by a step: the stored growth step, or, when that is 0,
// an eighth of the count held to 4 ... 1024 elements. New elements are zeroed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

// The capacity an array of `count` elements and `capacity` grows to when it must hold `n`: the capacity plus
// the growth step, or, when that is 0, an eighth of the count held to 4 ... 1024; at least `n`.
inline size_t GrownCapacity(size_t capacity, size_t count, size_t step, size_t n)
{
    return std::max(capacity + (step ? step : std::clamp<size_t>(count / 8, 4, 1024)), n);
}

template <class T>
class StepArray
{
    static_assert(std::is_trivially_copyable_v<T>, "step arrays hold plain records");

public:
    explicit StepArray(size_t step = 0) : step_(step) {}
    StepArray(const StepArray& other) : step_(other.step_) { Append(other); }
    StepArray& operator=(const StepArray& other)
    {
        if (this != &other)
        {
            count_ = 0;
            Append(other);
        }
        return *this;
    }

    // Sets the count to n; a step of 0 or more first replaces the stored growth step.
    void SetSize(size_t n, long step = -1)
    {
        if (step >= 0) step_ = size_t(step);
        if (n > capacity_)
        {
            const size_t capacity = GrownCapacity(capacity_, count_, step_, n);
            std::unique_ptr<T[]> grown(new T[capacity]);
            if (count_) std::memcpy(static_cast<void*>(grown.get()), data_.get(), count_ * sizeof(T));
            data_ = std::move(grown);
            capacity_ = capacity;
        }
        if (n > count_) std::memset(static_cast<void*>(data_.get() + count_), 0, (n - count_) * sizeof(T));
        count_ = n;
    }
    void PushBack(const T& value)
    {
        SetSize(count_ + 1);
        data_[count_ - 1] = value;
    }
    void Append(const StepArray& other)
    {
        const size_t at = count_, n = other.count_;
        SetSize(count_ + n);
        if (n) std::memcpy(static_cast<void*>(data_.get() + at), other.data_.get(), n * sizeof(T));
    }
    // Removes element i; the later elements move down.
    void EraseAt(size_t i)
    {
        if (i >= count_) return;
        std::memmove(static_cast<void*>(data_.get() + i), data_.get() + i + 1, (count_ - i - 1) * sizeof(T));
        --count_;
    }
    // Capacity = count; an empty array frees its storage.
    void ShrinkToFit()
    {
        if (count_ == capacity_) return;
        std::unique_ptr<T[]> fitted(count_ ? new T[count_] : nullptr);
        if (count_) std::memcpy(static_cast<void*>(fitted.get()), data_.get(), count_ * sizeof(T));
        data_ = std::move(fitted);
        capacity_ = count_;
    }
    void Clear() { count_ = 0; }

    size_t Count() const { return count_; }
    size_t Capacity() const { return capacity_; }
    size_t Step() const { return step_; }
    T* Data() { return data_.get(); }
    const T* Data() const { return data_.get(); }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }

private:
    std::unique_ptr<T[]> data_;
    size_t count_ = 0;
    size_t capacity_ = 0;
    size_t step_ = 0;
};
