#pragma once

namespace korimbo {

// The answer to a question the state reads from its enciphered files (does this password open the folder,
// is it on the list). kFailed: the question could not be answered and the message has been shown.
enum class [[nodiscard]] Verdict{
    kYes,
    kNo,
    kFailed,
};

} // namespace korimbo
