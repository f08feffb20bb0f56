#pragma once
// Masks every floating-point exception for the guard's lifetime and puts the previous mask back.
#include <cfenv>

class FpExceptionMask {
public:
    FpExceptionMask() : previous_(fedisableexcept(FE_ALL_EXCEPT)) {}
    ~FpExceptionMask() {
        fedisableexcept(FE_ALL_EXCEPT);
        if (previous_ > 0) feenableexcept(previous_);
    }
    FpExceptionMask(const FpExceptionMask&) = delete;
    FpExceptionMask& operator=(const FpExceptionMask&) = delete;

private:
    int previous_;
};
