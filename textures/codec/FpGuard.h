#pragma once
// Masks every floating-point exception for the guard's lifetime, then puts the caller's whole
// floating-point environment back: its mask, and its status flags, so that a flag raised inside a
// codec cannot trap later in the caller's code.
#include <cfenv>

class FpExceptionMask
{
public:
    FpExceptionMask() { feholdexcept(&saved_); }
    ~FpExceptionMask() { fesetenv(&saved_); }
    FpExceptionMask(const FpExceptionMask&) = delete;
    FpExceptionMask& operator=(const FpExceptionMask&) = delete;

private:
    fenv_t saved_;
};
