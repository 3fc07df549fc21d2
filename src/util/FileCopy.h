#pragma once

#include "util/FileNames.h"
#include "util/FileSystem.h"

#include <QString>

#include <functional>

namespace korimbo {

struct CopyOptions {
    TempKind temp = TempKind::Sealed; // a plaintext copy is marked so that a sweep wipes what a crash left
    bool sync = true;                 // on disk (file and folder entry) before the call returns
    bool syncFolder = true;           // with `sync`: the folder entry too (not when a later rename names it)
    bool keepMode = false;            // the source's permission bits, else the umask's (0600 when private)
    // Called after every piece with the bytes copied so far of this file; false stops the copy.
    std::function<bool(qint64 bytes)> progress;
    // Takes the place of the plain removal of a temporary file a failure leaves (a wipe for plaintext).
    std::function<void(const QString& temp)> discard;
};

// Where a copy stopped. The target is then as it was before: the temporary file is gone.
enum class CopyStep { Done, SourceOpen, SourceRead, TargetOpen, TargetWrite, Stopped };

struct CopyResult {
    CopyStep step = CopyStep::Done;
    int error = 0; // the errno of the failed call
    [[nodiscard]] bool Ok() const { return step == CopyStep::Done; }
    // The source side failed (read or open), not the target.
    [[nodiscard]] bool SourceFailed() const { return step == CopyStep::SourceOpen || step == CopyStep::SourceRead; }
};

// The bytes of one file copied to `to`: written to a temporary file beside it in fixed buffers, its
// modification time kept, and renamed over `to` only when complete, so that a failure or a crash never
// leaves a target cut short. A read-only file at `to` is replaced. A file larger than the target's volume
// can hold is refused before anything is written (TargetOpen, EFBIG).
[[nodiscard]] CopyResult CopyFileTo(FileSystem& files, const QString& from, const QString& to,
                                    const CopyOptions& options = {});

} // namespace korimbo
