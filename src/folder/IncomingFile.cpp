#include "folder/IncomingFile.h"

#include "util/MessageNumbers.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QDateTime>
#include <QFileInfo>

namespace korimbo {

namespace {

constexpr int kMaxPasswordTries = 5;
constexpr qint64 kFreeSpaceMargin = 4096;

// Modification time as the container reader shows a stored one, so that a plain file and a container
// can be compared.
QString ModifiedText(const QString& path) {
    return QFileInfo(path).lastModified().toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

} // namespace

CIncomingFile::CIncomingFile(IncomingRun& run, const QString& source, bool topLevel)
    : m_run(run), m_source(source), m_topLevel(topLevel),
      // A name that is not text is taken in as it is shown, its odd bytes as "%XX".
      m_name(ShownName(QFileInfo(source).fileName())) {}

// The decrypted copy is plaintext: it is wiped, not just deleted.
CIncomingFile::~CIncomingFile() {
    if (m_plainFolder.isEmpty())
        return;
    if (!m_plainCopy.isEmpty() && m_run.files.Exists(m_plainCopy)) {
        QString error;
        if (m_run.engine.WipeAndDelete(m_plainCopy, error, true) != 0)
            Report(msg::kPlainCopyLeft, error + m_plainCopy);
    }
    static_cast<void>(m_run.files.RemoveFolder(m_plainFolder));
}

int CIncomingFile::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_run.ui, m_run.messages, number, tail, icon);
}

IntakeStep CIncomingFile::Open() {
    const std::optional<ContainerCheck> check = m_run.engine.CheckContainer(m_source, m_info, m_run.key, false);
    if (!check) {
        Report(msg::kSourceOpen, WithPath(QString(), m_source, PathSeparator::Paragraph));
        return IntakeStep::kStop;
    }
    m_status = check->status;
    switch (m_status) {
    case kNewerVersion:
        Report(m_topLevel ? msg::kNewer : msg::kNewerInFolder, m_name);
        return IntakeStep::kStop;
    case kWrongPassword:
        if (const IntakeStep opened = OpenWithOtherPassword(); opened != IntakeStep::kNext)
            return opened;
        break;
    case kUsable:
        if (m_run.showNotice) {
            MessageSource& messages = m_run.messages;
            const QString notice =
                m_topLevel
                    ? messages.MsgA(msg::kNoticeHead) + StoredName() + messages.MsgA(msg::kNoticeTail)
                    : messages.MsgA(msg::kNoticeInFolderHead) + StoredName() + messages.MsgA(msg::kNoticeInFolderTail);
            if (m_run.prompts.ShowAlreadyEncryptedNotice(notice))
                m_run.showNotice = false;
        }
        break;
    default:
        return IntakeStep::kNext;
    }
    // A container keeps the name stored in it: that is the name the folder will show.
    m_name = StoredName();
    return IntakeStep::kNext;
}

// Its password is asked (five wrong tries end it), then it is decrypted with that password.
IntakeStep CIncomingFile::OpenWithOtherPassword() {
    if (m_run.ui.Message(m_run.messages.MsgA(msg::kOtherPassword) + m_name, Icon::Question, Buttons::YesNo, kAnswerNo,
                         msg::kOtherPassword) != kAnswerYes)
        return IntakeStep::kEnd;
    for (int wrong = 0;;) {
        QString password;
        const EncryptInPrompts::PasswordAnswer answer = m_run.prompts.AskContainerPassword(m_source, password);
        if (answer == EncryptInPrompts::PasswordAnswer::kCancel)
            return IntakeStep::kEnd;
        if (answer == EncryptInPrompts::PasswordAnswer::kOk && CCryptEngine::KeepsPasswordRules(password)) {
            QString key;
            if (m_run.engine.RegisterTempKey(password, QString(), key) != 0)
                return IntakeStep::kStop;
            ContainerInfo info;
            if (const std::optional<ContainerCheck> check = m_run.engine.CheckContainer(m_source, info, key, false);
                check && check->Usable()) {
                m_info = info;
                const IntakeStep decrypted = Decrypt(key);
                m_run.engine.ReleaseKey(key);
                return decrypted;
            }
            m_run.engine.ReleaseKey(key);
        }
        if (++wrong >= kMaxPasswordTries) {
            Report(msg::kTooManyTries, QString(), Icon::Warning);
            return IntakeStep::kStop;
        }
        Report(msg::kContainerWrongPassword, QString(), Icon::Warning);
    }
}

// Into a private folder of its own in the creation area, under the stored name, which the new container
// takes over.
IntakeStep CIncomingFile::Decrypt(const QString& key) {
    const QString& area = m_run.creationArea;
    qint64 free = 0;
    if (area.isEmpty() || m_run.files.MakePrivateFolder(area).Failed() ||
        (m_run.files.FreeBytes(area, free).Ok() && free < m_info.plainSize + kFreeSpaceMargin)) {
        Report(msg::kNoWorkSpace, WithPath(QString(), area, PathSeparator::Line));
        return IntakeStep::kStop;
    }
    QString unique;
    UniqueNameText(false, unique);
    const QString folder = ChildPath(area, unique);
    if (m_run.files.MakePrivateFolder(folder).Failed()) {
        Report(msg::kNoWorkSpace, WithPath(QString(), folder, PathSeparator::Line));
        return IntakeStep::kStop;
    }
    m_plainFolder = folder;
    const QString plain = ChildPath(folder, StoredName());
    if (m_run.engine.DecryptFile(m_source, plain, key) != kOk)
        return IntakeStep::kStop;
    m_plainCopy = plain;
    return IntakeStep::kNext;
}

// The name stored in the container, when it can serve as a file name; the disk name otherwise (a stored
// name holding a slash or naming a folder step would lead the decrypted copy out of its place).
QString CIncomingFile::StoredName() const {
    const QString& name = m_info.name;
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") || name.contains(u'/') ||
        name.contains(QChar(0)))
        return QFileInfo(m_source).fileName();
    return name;
}

EncryptInPrompts::FileSide CIncomingFile::Side() const {
    EncryptInPrompts::FileSide side{m_source, m_name, m_status != kNotContainer, m_info.plainSize, m_info.modifiedText};
    if (m_status == kNotContainer) {
        side.size = TreeBytes(m_source);
        FileTimeText(m_source, 1, side.time);
    }
    return side;
}

bool CIncomingFile::SameAs(const NameEntry& existing) const {
    if (m_status == kNotContainer)
        return existing.plainSize == TreeBytes(m_source) && existing.modifiedAt == ModifiedText(m_source);
    return existing.plainSize == m_info.plainSize && existing.modifiedAt == m_info.modifiedText;
}

} // namespace korimbo
