#include "folder/KeyChange.h"

#include "state/WorkAreas.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/TreeWalk.h"

#include <QFileInfo>

#include <cerrno>

namespace korimbo {

namespace {

// The key slot of that name, or null.
const KeySlot* SlotNamed(const CCryptEngine& engine, const QString& name) {
    for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
        if (!engine.Slot(i).name.isEmpty() && engine.Slot(i).name == name)
            return &engine.Slot(i);
    return nullptr;
}

} // namespace

CKeyChange::CKeyChange(const FolderServices& s, CFolderItems& items, const QString& workRoot)
    : m_engine(s.engine), m_registry(s.registry), m_files(s.files), m_items(items), m_workRoot(workRoot) {}

bool CKeyChange::SameKey(const QString& first, const QString& second) const {
    const QString a = m_items.KeyOf(first);
    const QString b = m_items.KeyOf(second);
    if (a == b)
        return true;
    const KeySlot* x = SlotNamed(m_engine, a);
    const KeySlot* y = SlotNamed(m_engine, b);
    return x && y && x->key == y->key && x->iv == y->iv;
}

int CKeyChange::Recrypt(const QString& container, const QString& name, const QString& target) {
    const QString key = m_items.KeyOf(target);
    const int slot = m_registry.SlotOf(key);
    const QString area =
        slot < 0 ? QString() : WorkAreas::AreaOf(m_workRoot, m_registry.WorkIdText(slot), WorkAreas::kCreation);
    QString unique;
    if (area.isEmpty() || m_files.MakePrivateFolder(area).Failed() || UniqueNameText(false, unique) != 0)
        return m_items.Report(msg::kNoWorkSpace, WithPath(QString(), area, PathSeparator::Line));
    // A folder of its own keeps the plaintext's name, which the new container stores.
    const QString folder = ChildPath(area, unique);
    if (m_files.MakePrivateFolder(folder).Failed()) {
        (void)m_files.RemoveFolder(folder);
        return m_items.Report(msg::kNoWorkSpace, WithPath(QString(), folder, PathSeparator::Line));
    }
    const bool usable = name != QStringLiteral(".") && name != QStringLiteral("..") && !name.contains(QChar(0));
    const QString plain = ChildPath(folder, usable ? name : QFileInfo(container).fileName());
    int rc = m_engine.DecryptFile(container, plain, m_items.KeyOf(container)) == kOk &&
                     m_engine.EncryptFile(plain, target, key) == kOk
                 ? 0
                 : -1;
    if (rc == 0 && m_engine.VerifyNewContainer(plain, target, key) != 0) {
        static_cast<void>(m_files.Remove(target));
        rc = -1;
    }
    // Whatever a decryption left there, finished or not, is plaintext.
    const RemoveResult removed = RemoveTree(m_files, folder, [this](const QString& file) -> SysResult {
        QString error;
        return m_engine.WipeAndDelete(file, error, true) == 0 ? 0 : EIO;
    });
    if (!removed.Ok())
        m_items.Report(msg::kPlainCopyLeft, removed.path);
    return rc;
}

} // namespace korimbo
