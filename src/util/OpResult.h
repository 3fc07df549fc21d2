#pragma once

namespace korimbo {

// How an operation the user started ended. A failure has already been shown to the user when the call
// returns, so callers only decide whether to go on; dropping the result unread is a compile error.
enum class [[nodiscard]] OpResult {
    kDone,     // carried out
    kDeclined, // the user said no, or there was nothing to do
    kFailed,   // failed; the message is already shown
};

} // namespace korimbo
