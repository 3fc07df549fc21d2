#include "folder/ScanResultModel.h"

#include "util/FileNames.h"

namespace korimbo {

CScanResultModel::CScanResultModel(MessageSource& messages, QObject* parent)
    : QAbstractTableModel(parent), m_messages(messages) {}

void CScanResultModel::SetFindings(const QList<ScanFinding>& findings) {
    beginResetModel();
    m_findings = findings;
    endResetModel();
}

int CScanResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_findings.size());
}

int CScanResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CScanResultModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const ScanFinding& finding = m_findings.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Cell(finding, index.column());
    if (role == Qt::UserRole)
        return finding.diskPath;
    return QVariant();
}

QVariant CScanResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const kTitles[kColumnCount] = {u"種類", u"名前", u"フォルダー", u"ディスク上の名前",
                                                          u"理由"};
    return QString::fromUtf16(kTitles[section]);
}

QString CScanResultModel::KindText(ScanFinding::Kind kind) {
    switch (kind) {
    case ScanFinding::kDamaged:
        return QStringLiteral("破損");
    case ScanFinding::kUnreadable:
        return QStringLiteral("読み取り不可");
    case ScanFinding::kOtherPassword:
        return QStringLiteral("別のパスワード");
    }
    return QString();
}

QString CScanResultModel::Cell(const ScanFinding& finding, int column) const {
    switch (column) {
    case kKindColumn:
        return KindText(finding.kind);
    case kNameColumn:
        return finding.storedName.isEmpty() ? QStringLiteral("（不明）") : ShownName(finding.storedName);
    case kFolderColumn:
        return ShownName(finding.folder);
    case kDiskNameColumn:
        return ShownName(finding.diskName);
    case kReasonColumn:
        return finding.Reason(m_messages);
    default:
        break;
    }
    return QString();
}

} // namespace korimbo
