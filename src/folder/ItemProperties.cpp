#include "folder/ItemProperties.h"

#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

namespace korimbo {

namespace {

const QString kFolderType = QStringLiteral("ファイル フォルダー");
const QString kNoProgram = QStringLiteral("不明なアプリケーション");

bool OpensUsable(const std::optional<ContainerCheck>& check) {
    return check && check->Usable();
}
const QString kLinkType = QStringLiteral("シンボリック リンク");
const QString kSpecialType = QStringLiteral("特殊なファイル");

// As the contents list shows a time.
QString TimeText(const QFileInfo& info) {
    return info.lastModified().toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString ExtensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 ? QString() : name.mid(dot);
}

QString OwnerOf(const QFileInfo& info) {
    const QString owner = info.owner();
    return owner.isEmpty() ? QString::number(info.ownerId()) : owner;
}

} // namespace

CItemProperties::CItemProperties(CCryptEngine& engine, CNameFile& nameFile, Associations& associations, Interaction& ui)
    : m_engine(engine), m_nameFile(nameFile), m_associations(associations), m_ui(ui) {}

QString CItemProperties::SizeWithBytes(qint64 bytes) {
    return SizeText(bytes) + QStringLiteral(" （") + GroupedNumberText(bytes) + QStringLiteral(" バイト）");
}

QString CItemProperties::CountText(int files, int folders) {
    return QStringLiteral("ファイル数：") + QString::number(files) + QStringLiteral("、フォルダー数：") +
           QString::number(folders);
}

QString CItemProperties::TypeOf(const QString& name) const {
    const QString extension = ExtensionOf(name);
    QString text;
    if (!extension.isEmpty() && m_associations.FileTypeName(extension, text) == 0 && !text.isEmpty())
        return text;
    return extension.isEmpty() ? QStringLiteral("ファイル") : extension.mid(1).toUpper() + QStringLiteral(" ファイル");
}

OpResult CItemProperties::Single(const QString& path, ItemProperties& out) {
    const QFileInfo info(path);
    const ItemKind kind = KindOf(path);
    if (kind == ItemKind::Missing)
        return OpResult::kFailed;
    out = ItemProperties();
    if (kind == ItemKind::Link || kind == ItemKind::Special) {
        // Shown as what it is: what a link points to is neither walked nor read.
        out.kind = ItemProperties::kPlainFile;
        out.name = info.fileName();
        out.typeText = kind == ItemKind::Link ? kLinkType : kSpecialType;
        out.location = info.absolutePath();
        out.creator = OwnerOf(info);
        return OpResult::kDone;
    }
    const QString key = m_nameFile.OwningRoot(info.absoluteFilePath());
    const bool withKey = !key.isEmpty() && m_engine.HasKey(key);
    out.location = info.absolutePath();
    out.creator = OwnerOf(info);

    if (info.isDir()) {
        out.kind = ItemProperties::kFolder;
        out.name = info.fileName();
        out.typeText = kFolderType;
        out.modifiedAt = TimeText(info);
        Totals totals;
        if (Walk(info.absoluteFilePath(), key, withKey, totals) != 0)
            return OpResult::kFailed;
        out.contents = CountText(totals.files, totals.folders);
        out.containerSize = SizeWithBytes(totals.containerBytes);
        if (withKey)
            out.plainSize = SizeWithBytes(totals.plainBytes);
        return OpResult::kDone;
    }

    ContainerInfo header;
    const bool container = withKey && OpensUsable(m_engine.CheckContainer(path, header, key, false));
    out.kind = container ? ItemProperties::kContainer : ItemProperties::kPlainFile;
    out.name = container ? header.name : info.fileName();
    out.typeText = TypeOf(out.name);
    QString program;
    out.program = m_associations.DefaultProgramOf(ExtensionOf(out.name), program) == 0
                      ? m_associations.ProgramDisplayName(program)
                      : kNoProgram;
    if (container) {
        out.containerSize = SizeWithBytes(info.size());
        out.plainSize = SizeWithBytes(header.plainSize);
        out.encryptedAt = header.encryptedAtText;
        out.containerName = info.fileName();
        out.hint = WithoutTrailingSpaces(header.hint);
        out.modifiedAt = header.modifiedText;
    } else {
        out.plainSize = SizeWithBytes(info.size());
        out.modifiedAt = TimeText(info);
    }
    return OpResult::kDone;
}

OpResult CItemProperties::Summary(const QStringList& paths, PropertiesSummary& out) {
    out = PropertiesSummary();
    Totals totals;
    bool withKey = true;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const ItemKind kind = KindOf(path);
        if (kind == ItemKind::Missing)
            continue;
        const QString key = m_nameFile.OwningRoot(info.absoluteFilePath());
        const bool keyed = !key.isEmpty() && m_engine.HasKey(key);
        withKey = withKey && keyed;
        if (out.title.isEmpty()) {
            ContainerInfo header;
            const bool container =
                kind == ItemKind::File && keyed && OpensUsable(m_engine.CheckContainer(path, header, key, false));
            out.title = (container ? header.name : info.fileName()) + QStringLiteral("のプロパティ");
        }
        if (kind == ItemKind::Folder) {
            ++totals.folders;
            if (Walk(info.absoluteFilePath(), key, keyed, totals) != 0)
                return OpResult::kFailed;
        } else if (kind == ItemKind::File) {
            AddFile(info.absoluteFilePath(), key, keyed, totals);
        } else {
            ++totals.files; // a link or a special file counts, with no bytes of its own
        }
    }
    if (out.title.isEmpty())
        return OpResult::kFailed;
    out.files = totals.files;
    out.folders = totals.folders;
    out.counts = CountText(totals.files, totals.folders);
    out.containerSize = SizeWithBytes(totals.containerBytes);
    if (withKey)
        out.plainSize = SizeWithBytes(totals.plainBytes);
    return OpResult::kDone;
}

void CItemProperties::AddFile(const QString& path, const QString& key, bool withKey, Totals& totals) {
    const QFileInfo info(path);
    ++totals.files;
    ContainerInfo header;
    if (withKey && OpensUsable(m_engine.CheckContainer(path, header, key, false))) {
        totals.plainBytes += header.plainSize;
        totals.containerBytes += info.size();
    } else if (withKey) {
        totals.plainBytes += info.size(); // a plain file is its own original
    } else {
        totals.containerBytes += info.size(); // without the key nothing tells containers apart
    }
}

int CItemProperties::Walk(const QString& folder, const QString& key, bool withKey, Totals& totals) {
    QHash<QString, NameIndex> listed; // a folder's name-file entries by disk name, read when first needed
    int result = 0;
    WalkTree(folder, [&](const TreeEntry& item) {
        if (item.kind == ItemKind::Folder)
            m_ui.Pump();
        const qsizetype cut = item.path.lastIndexOf(u'/');
        const QString parent = item.path.left(cut);
        if (!withKey)
            return CountOnDisk(item, item.path.mid(cut + 1), totals);
        if (!listed.contains(parent)) {
            QList<NameEntry> entries;
            if (m_nameFile.RefreshNameFile(parent, key) != 0 ||
                m_nameFile.LoadNameEntries(parent, key, true, entries) != 0) {
                result = -1;
                return Visit::Stop;
            }
            listed.insert(parent, IndexByDiskName(entries));
        }
        const auto found = listed[parent].constFind(item.path.mid(cut + 1));
        return found == listed[parent].cend() ? Visit::Prune : CountListed(item, *found, totals);
    });
    return result;
}

// With no key only what the disk tells: the hidden entries the list leaves out are left out here too.
Visit CItemProperties::CountOnDisk(const TreeEntry& item, const QString& name, Totals& totals) {
    const bool brokenLink = item.kind == ItemKind::Link && !QFileInfo::exists(item.path);
    if (name.startsWith(u'.') || brokenLink)
        return Visit::Prune;
    if (item.kind == ItemKind::Folder) {
        ++totals.folders;
        return Visit::Continue;
    }
    ++totals.files; // a link or a special file counts, never walked nor read
    if (item.kind == ItemKind::File)
        totals.containerBytes += QFileInfo(item.path).size();
    return Visit::Continue;
}

Visit CItemProperties::CountListed(const TreeEntry& item, const NameEntry& entry, Totals& totals) {
    // A link is never walked (one to an ancestor or to "/" would run away), a special file never read.
    if (item.kind != ItemKind::File && item.kind != ItemKind::Folder) {
        ++totals.files;
        return Visit::Continue;
    }
    switch (entry.kind) {
    case NameEntry::kFolder:
        ++totals.folders;
        return Visit::Continue;
    case NameEntry::kContainer:
        ++totals.files;
        totals.plainBytes += entry.plainSize;
        totals.containerBytes += QFileInfo(item.path).size();
        return Visit::Prune;
    default:
        ++totals.files;
        totals.plainBytes += QFileInfo(item.path).size();
        return Visit::Prune;
    }
}

} // namespace korimbo
