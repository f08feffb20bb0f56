#pragma once
// What a request to the daemon came to: the one result type of the client (VADClient.h, VADConnection.h).
//
// VADStatus is OK or the status word of the failure: the daemon's own (kVADStatusFailed, NotFound, ...), or
// the client's for a link that went away (kVADStatusLinkDropped) or a daemon that did not answer within the
// request's bound (kVADStatusTimedOut). A request the daemon answered with nothing to give (an asset it
// does not have, an empty folder) fails with kVADStatusNotFound. VADResult<T> is a value, or the status of
// the failure. Both are [[nodiscard]]: every caller says what a failure means to it, and a result that does
// not matter is dropped visibly, with `(void)` and the reason beside it.
#include "assetdb/VADProtocol.h"

#include <cstdint>
#include <utility>

class [[nodiscard]] VADStatus
{
public:
    constexpr VADStatus() = default;
    constexpr explicit VADStatus(int32_t code) : code_(code) {}
    // kVADStatusFailed unless `ok`.
    static constexpr VADStatus From(bool ok) { return VADStatus(ok ? kVADStatusOK : kVADStatusFailed); }

    constexpr bool Ok() const { return code_ >= 0; }
    constexpr explicit operator bool() const { return Ok(); }
    constexpr int32_t Code() const { return code_; }
    // The request could not be carried out for want of a link (the connection's LinkFailure says why).
    constexpr bool LinkFailed() const { return code_ == kVADStatusLinkDropped || code_ == kVADStatusTimedOut; }

private:
    int32_t code_ = kVADStatusOK;
};

template <typename T>
class [[nodiscard]] VADResult
{
public:
    VADResult(T value) : value_(std::move(value)) {}
    // A failure: `failure` is not OK.
    VADResult(VADStatus failure) : status_(failure.Ok() ? VADStatus(kVADStatusFailed) : failure) {}

    // No conversion to bool, so that a VADResult<bool> cannot be read as its value by mistake.
    bool Ok() const { return status_.Ok(); }
    VADStatus Status() const { return status_; }
    // The value; only when Ok().
    const T& Value() const& { return value_; }
    T&& Value() && { return std::move(value_); }
    // The value, or `fallback` when the request failed.
    T ValueOr(T fallback) const& { return Ok() ? value_ : std::move(fallback); }
    T ValueOr(T fallback) && { return Ok() ? std::move(value_) : std::move(fallback); }

private:
    T value_{};
    VADStatus status_;
};
