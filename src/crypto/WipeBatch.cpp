#include "crypto/WipeBatch.h"

#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"

#include <utility>

namespace korimbo {

namespace {

// Files zeroed and not yet removed: a bound on what a crash leaves for the next start's sweep.
constexpr qsizetype kSyncEvery = 1000;

} // namespace

CWipeBatch::CWipeBatch(CCryptEngine& engine, FileSystem& files, MessageSource& messages, const QString& folder)
    : m_engine(engine), m_messages(messages), m_volume(files.MarkVolume(folder)) {}

CCryptEngine::WipeResult CWipeBatch::Add(const QString& path, QString& errorText) {
    if (!m_volume || !m_volume->Holds(ParentOf(path)))
        return m_engine.WipeAndDelete(path, errorText, true);
    QString zeroed;
    if (const auto rc = m_engine.ZeroForDelete(path, errorText, true, nullptr, false, zeroed); rc != CCryptEngine::kWiped)
        return rc;
    if (!zeroed.isEmpty())
        m_zeroed.append(zeroed);
    return m_zeroed.size() < kSyncEvery ? CCryptEngine::kWiped : Finish(errorText);
}

CCryptEngine::WipeResult CWipeBatch::Finish(QString& errorText) {
    if (m_zeroed.isEmpty())
        return CCryptEngine::kWiped;
    const QStringList zeroed = std::exchange(m_zeroed, {});
    if (const int error = m_volume->Sync().error; error != 0) {
        errorText = m_messages.MsgA(msg::kWipeWrite) + u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + zeroed.first();
        return CCryptEngine::kWipeFailed;
    }
    for (const QString& path : zeroed)
        if (m_engine.TruncateAndRemove(path, errorText) != CCryptEngine::kWiped)
            return CCryptEngine::kWipeFailed;
    return CCryptEngine::kWiped;
}

} // namespace korimbo
