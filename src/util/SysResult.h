#pragma once

namespace korimbo {

// How one call of the file layer went: 0, or the errno it failed with. Dropping it unread is a compile
// error; a caller that has nothing to do with it says so with static_cast<void>. It never turns back
// into an int or a bool by itself, so a test of the old "non-zero is failure" kind does not compile.
struct [[nodiscard]] SysResult {
    int error = 0;

    constexpr SysResult() = default;
    // An errno is a result as it stands (`return errno;`, `return ENOTDIR;`).
    constexpr SysResult(int errorNumber) : error(errorNumber) {} // NOLINT(google-explicit-constructor)

    [[nodiscard]] constexpr bool Ok() const { return error == 0; }
    [[nodiscard]] constexpr bool Failed() const { return error != 0; }
};

} // namespace korimbo
