#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace korimbo {

// One undoable operation: its kind and five parallel lists of texts, one entry per item.
//   delete: 0 full path, 1 name shown, 2 modification time ("yyyy/MM/dd hh:mm:ss"), 3 disk name
//   copy:   0 the copy's full path, 1 name shown, 3 and 4 as for a move
//   move:   0 source path, 1 target path, 2 name shown, 3 where the container the item replaced was put
//           aside (empty: none; gone from there: the trash has it), 4 that container's modification time
//   rename: 0 the new path, 1 the new name, 2 the old name, 3 the old path
struct UndoRecord {
    enum Kind { kEmpty = 0, kDelete = 1, kCopy = 2, kMove = 3, kRename = 4 };
    int kind = kEmpty;
    std::array<QStringList, 5> lists;

    int Items() const { return int(lists[0].size()); }
    void Clear() {
        kind = kEmpty;
        for (QStringList& list : lists)
            list.clear();
    }
};

// The last ten deletes, copies, moves and renames inside the encrypted folders, oldest first. Kept by the
// main window while the program runs; nothing of it is stored.
class CUndoHistory {
public:
    static constexpr int kMaxRecords = 10;

    // A new record of `kind` in the slot after the newest; with ten records the oldest goes first. The
    // record counts only once Commit finds an item in it.
    int Start(int kind);
    void Add(int slot, const QStringList& texts);
    // The record of `slot` counts when it holds at least one item. True when it does.
    bool Commit(int slot);
    // After every encrypt-in.
    void Clear();

    int Count() const { return m_count; }
    const UndoRecord& Newest() const { return m_records[qMax(0, m_count - 1)]; }
    UndoRecord& NewestRecord() { return m_records[qMax(0, m_count - 1)]; }
    // A successful undo: the newest record goes.
    void DropNewest();

    // A renamed container has a new disk name: the records that name its old path follow it.
    void ReplacePath(const QString& from, const QString& to);

    // "削除", "コピー", "移動", "名前の変更".
    static QString KindWord(int kind);
    // "元に戻す(&U)\tCtrl+Z" with no record, else "元に戻す - <kind word>(&U)\tCtrl+Z".
    QString MenuText() const;
    // The status-bar prompt of the menu item: "元に戻します" with no record, else the description of the
    // newest record ("元に戻す - 'a' の削除", "元に戻す - 'a' を含む3個の移動", "元に戻す - 'b' を 'a' に変更").
    QString Description() const;

private:
    std::array<UndoRecord, kMaxRecords> m_records;
    int m_count = 0;
};

} // namespace korimbo
