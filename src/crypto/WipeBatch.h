#pragma once

#include "crypto/CryptEngine.h"
#include "util/FileSystem.h"
#include "util/MessageSource.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace korimbo {

// Many files wiped and deleted with one write-back. Each file is zeroed under a wipe name; the zeros of
// all of them go to the disk in one sync of their volume, and only then is each cut to nothing and
// removed (cut before its zeros were written back, it would leave its old blocks as they were). A file on
// a volume that cannot report every failed write-back to one sync is synced and removed on its own.
class CWipeBatch {
public:
    // `folder`: where the files are; its volume is marked now, before the first of them is zeroed.
    CWipeBatch(CCryptEngine& engine, FileSystem& files, MessageSource& messages, const QString& folder);

    // WipeAndDelete with a wipe name first; a file left waiting for the volume's sync counts as wiped.
    CCryptEngine::WipeResult Add(const QString& path, QString& errorText);
    // The waiting files synced and removed. kWiped, or kWipeFailed with `errorText`: those not removed
    // keep their wipe names, for the next start's sweep.
    CCryptEngine::WipeResult Finish(QString& errorText);

private:
    CCryptEngine& m_engine;
    MessageSource& m_messages;
    std::unique_ptr<VolumeSync> m_volume;
    QStringList m_zeroed; // zeroed, waiting for the volume's sync
};

} // namespace korimbo
