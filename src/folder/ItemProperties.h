#pragma once

#include "crypto/CryptEngine.h"
#include "folder/NameFile.h"
#include "platform/Associations.h"
#include "util/Interaction.h"
#include "util/OpResult.h"
#include "util/TreeWalk.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// What the single-item properties dialog shows, each value as its text; an empty text leaves its row out.
struct ItemProperties {
    enum Kind { kContainer, kPlainFile, kFolder };
    Kind kind = kContainer;
    QString name;          // the plain name of a container, the disk name otherwise
    QString typeText;      // "種類："
    QString program;       // "プログラム：": the program that opens the type
    QString location;      // "場所：": the folder that holds the item
    QString containerSize; // "暗号ファイルの\nサイズ：": bytes on disk (a folder: of all its containers)
    QString plainSize;     // "元のサイズ：" (a folder: of everything below it)
    QString encryptedAt;   // "暗号化日時："
    QString containerName; // "暗号ファイル名：": the disk name
    QString hint;          // "ヒント："
    QString creator;       // "作成者：": the owner of the file on disk
    QString modifiedAt;    // "更新日時："
    QString contents;      // "内容：" of a folder: "ファイル数：" n "、フォルダー数：" m
};

// What the summary dialog of several items shows.
struct PropertiesSummary {
    QString title;         // the first item's name and "のプロパティ"
    int files = 0;         // files among and below the items
    int folders = 0;       // folders among and below the items
    QString counts;        // "ファイル数：" files "、フォルダー数：" folders
    QString plainSize;     // "元のサイズ：" in total (empty when the folder's key is not entered)
    QString containerSize; // "暗号ファイルの\nサイズ：" in total
};

// The properties of items of an encrypted folder, read from their container headers and name files; the
// dialogs of the window only show them. Folders are walked through their name files, so that a container's
// header is read only where the name file does not know it yet.
class CItemProperties {
public:
    CItemProperties(CCryptEngine& engine, CNameFile& nameFile, Associations& associations, Interaction& ui);

    // "1.21KB （1,234 バイト）".
    static QString SizeWithBytes(qint64 bytes);
    // "ファイル数：3、フォルダー数：1".
    static QString CountText(int files, int folders);

    // The properties of one file or folder; failed when the item is gone (or a name file failed; shown).
    OpResult Single(const QString& path, ItemProperties& out);
    // The summary of several items; failed as above.
    OpResult Summary(const QStringList& paths, PropertiesSummary& out);

private:
    struct Totals {
        int files = 0;
        int folders = 0;
        qint64 plainBytes = 0;
        qint64 containerBytes = 0;
    };
    // Everything below `folder`; with no key entered only what the disk tells. -1 on a name-file failure.
    int Walk(const QString& folder, const QString& key, bool withKey, Totals& totals);
    static Visit CountOnDisk(const TreeEntry& item, const QString& name, Totals& totals);
    // An item of a folder's listing, by what its name file says it is.
    static Visit CountListed(const TreeEntry& item, const NameEntry& entry, Totals& totals);
    // A file beside others of a folder's listing: a container of the key adds its plain size.
    void AddFile(const QString& path, const QString& key, bool withKey, Totals& totals);
    QString TypeOf(const QString& name) const;

    CCryptEngine& m_engine;
    CNameFile& m_nameFile;
    Associations& m_associations;
    Interaction& m_ui;
};

} // namespace korimbo
