#pragma once

namespace korimbo {

// What an engine operation on a container ended with. The failure has already been shown when the
// call returns, so callers only stop; a result that is dropped unread is a fault the compiler reports.
// Unscoped with an int base, so callers that only ask for success keep comparing it with 0.
enum [[nodiscard]] EngineResult : int{
    kOk = 0,
    kFailed = -1,      // failure already reported
    kReadFailed = -7,  // reading the source failed
    kWriteFailed = -8, // writing the destination failed
    kStopped = -9,     // stopped on the user's request
};

} // namespace korimbo
