// What a call on stored data (the registry, the program's files) did:
// success, or the Win32 error (winerror.h) that stopped it. Every layer
// that reads or changes stored data answers with it, so that the cause
// reaches whoever tells the user or the event log. A result must be used:
// where one is dropped, a comment says why.
#pragma once

namespace kv::platform {

// Result codes (winerror.h).
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;

class [[nodiscard]] Result {
public:
    constexpr Result() = default;  // success
    // From a Win32 result code, 0 for success.
    constexpr Result(long error) : error_(error) {}  // NOLINT: codes convert as they are

    constexpr bool ok() const { return error_ == kErrorSuccess; }
    constexpr explicit operator bool() const { return ok(); }
    constexpr long error() const { return error_; }
    constexpr bool denied() const { return error_ == kErrorAccessDenied; }
    friend constexpr bool operator==(Result, Result) = default;

private:
    long error_ = kErrorSuccess;
};

}  // namespace kv::platform
