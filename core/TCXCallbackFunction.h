#pragma once
// A callback around any boost::function (usually made with boost::bind). Kept apart from TCXCallback.h so
// that only the files that build such callbacks pull in Boost.
#include "core/TCXCallback.h"

#include <boost/function.hpp>

#include <utility>

class TCXCallbackFunction : public TCXCallback
{
public:
    static TCXCallbackFunction* Create(boost::function<bool(void*)> function)
    {
        return new TCXCallbackFunction(std::move(function));
    }

protected:
    bool OnInvoke(void* argument) override { return function_ ? function_(argument) : false; }

private:
    explicit TCXCallbackFunction(boost::function<bool(void*)> function) : function_(std::move(function)) {}
    boost::function<bool(void*)> function_;
};
