#include "folder/UndoHistory.h"

namespace korimbo {

int CUndoHistory::Start(int kind) {
    if (m_count == kMaxRecords) {
        for (int i = 1; i < kMaxRecords; ++i)
            m_records[i - 1] = m_records[i];
        --m_count;
    }
    m_records[m_count].Clear();
    m_records[m_count].kind = kind;
    return m_count;
}

void CUndoHistory::Add(int slot, const QStringList& texts) {
    if (slot < 0 || slot >= kMaxRecords)
        return;
    UndoRecord& record = m_records[slot];
    for (int i = 0; i < int(record.lists.size()); ++i)
        record.lists[i].append(texts.value(i));
}

bool CUndoHistory::Commit(int slot) {
    if (slot != m_count || slot >= kMaxRecords || m_records[slot].Items() == 0)
        return false;
    ++m_count;
    return true;
}

void CUndoHistory::Clear() {
    for (UndoRecord& record : m_records)
        record.Clear();
    m_count = 0;
}

void CUndoHistory::DropNewest() {
    if (m_count == 0)
        return;
    m_records[m_count - 1].Clear();
    --m_count;
}

void CUndoHistory::ReplacePath(const QString& from, const QString& to) {
    if (from == to)
        return;
    for (int i = 0; i < m_count; ++i)
        for (QStringList& list : m_records[i].lists)
            for (QString& text : list)
                if (text == from)
                    text = to;
}

QString CUndoHistory::KindWord(int kind) {
    switch (kind) {
    case UndoRecord::kDelete:
        return QStringLiteral("削除");
    case UndoRecord::kCopy:
        return QStringLiteral("コピー");
    case UndoRecord::kMove:
        return QStringLiteral("移動");
    case UndoRecord::kRename:
        return QStringLiteral("名前の変更");
    default:
        return QString();
    }
}

QString CUndoHistory::MenuText() const {
    if (m_count == 0)
        return QStringLiteral("元に戻す(&U)\tCtrl+Z");
    return QStringLiteral("元に戻す - ") + KindWord(Newest().kind) + QStringLiteral("(&U)\tCtrl+Z");
}

QString CUndoHistory::Description() const {
    if (m_count == 0)
        return QStringLiteral("元に戻します");
    const UndoRecord& record = Newest();
    const QString head = QStringLiteral("元に戻す - '");
    if (record.kind == UndoRecord::kRename)
        return head + record.lists[1].value(0) + QStringLiteral("' を '") + record.lists[2].value(0) +
               QStringLiteral("' に変更");
    const int n = record.Items();
    const QString name = record.kind == UndoRecord::kMove ? record.lists[2].value(0) : record.lists[1].value(0);
    if (n == 1)
        return head + name + QStringLiteral("' の") + KindWord(record.kind);
    return head + name + QStringLiteral("' を含む%1個の").arg(n) + KindWord(record.kind);
}

} // namespace korimbo
