#include "app/Kelpie5App.h"

#include "folder/ParkedFiles.h"
#include "state/WorkAreas.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"
#include "workspace/DecryptedFileModel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

namespace {

const QString kProgramTitle = QStringLiteral("Korimbo-portable");
const QString kProbeFolderName = QStringLiteral("zortestf151");

// The early settings read happens before the catalogues exist; reading the file shows nothing.
class NoTexts final : public MessageSource {
public:
    QString MsgA(int) override { return QString(); }
    QString MsgB(int) override { return QString(); }
};

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// Slots of removed folders keep their place with an empty path; they do not count.
int CountRegistered(const FolderRegistry* registry, QString* last) {
    if (registry == nullptr)
        return 0;
    const QList<FolderRegistry::Registered> folders = registry->RegisteredFolders();
    if (last != nullptr && !folders.isEmpty())
        *last = folders.last().path;
    return int(folders.size());
}

} // namespace

Ckelpie5App::Ckelpie5App(const QString& programFolder, Services services) : m_services(services) {
    m_state.programFolder = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    m_state.environmentFolder = EnvironmentFolderOf(m_state.programFolder);
}

Ckelpie5App::~Ckelpie5App() = default;

bool Ckelpie5App::InitInstance() {
    if (!AcquireSingleInstance() || !CheckDrive() || !ProbeWrite())
        return false;
    ReadEarlySettings();
    return true;
}

QString Ckelpie5App::RuntimeNameOf(const QString& programFolder) {
    QString folder = QFileInfo(programFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    // $XDG_RUNTIME_DIR; without it Qt's own private /tmp/runtime-<user> (0700), else the temporary folder.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex();
    return runtime + QStringLiteral("/korimbo-portable-") + QString::fromLatin1(hash);
}

QString Ckelpie5App::InstanceLockPath(const QString& programFolder) {
    return RuntimeNameOf(programFolder) + QStringLiteral(".lock");
}

QString Ckelpie5App::PrivatePlainRoot(const QString& programFolder) {
    return RuntimeNameOf(programFolder) + QStringLiteral("-work");
}

bool Ckelpie5App::WorkRootKeepsPlainText() const {
    const QString root = m_state.workFolder->angoTempFolder;
    // The user's own choice stands, wherever it lies.
    if (m_state.workFolder->angoTempFolderFlg != QStringLiteral("0"))
        return true;
    // FAT and its kin have no owners: the mount's mask opens every file to every user. A removable disk
    // goes with its plaintext to other machines, and wiping flash does not reach the cells that held it.
    return m_services.volumes.KeepsOwnerModes(root) && m_services.volumes.TypeOf(root) != DriveType::Removable;
}

void Ckelpie5App::ChoosePlainRoot() {
    WorkFolderSettings& work = *m_state.workFolder;
    work.plainRoot.clear();
    if (WorkRootKeepsPlainText())
        return;
    // Named by the program's folder, not by the run: copies a crash left behind are found at the next start.
    const QString root = PrivatePlainRoot(m_state.programFolder);
    if (const int error = WorkAreas::MakePrivateFolder(root).error; error != 0) {
        ReportMessage(m_services.ui, *m_state.catalogue, msg::kNoPrivatePlainFolder,
                      WithPath(ErrnoText(error), root, PathSeparator::Paragraph), Icon::Warning);
        return;
    }
    work.plainRoot = root;
}

bool Ckelpie5App::AcquireSingleInstance() {
    auto lock = std::make_unique<QLockFile>(InstanceLockPath(m_state.programFolder));
    // Never stale by age: only a holder that is gone frees the lock.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_instanceLock = std::move(lock);
        return true;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        m_services.ui.Message(kProgramTitle + QStringLiteral("は、既に起動しています　"), Icon::None);
        return false;
    }
    // A lock that cannot be made at all (no writable runtime folder) does not keep the program from running.
    return true;
}

bool Ckelpie5App::CheckDrive() {
    switch (m_services.volumes.TypeOf(m_state.programFolder)) {
    case DriveType::Network:
    case DriveType::Optical:
    case DriveType::RamDisk:
        m_services.ui.Message(QStringLiteral("固定ディスク、またはリムーバブルディスクからのみ起動できます。　\n"),
                              Icon::Error);
        return false;
    default:
        return true;
    }
}

SysResult Ckelpie5App::MakeProbeFolder(const QString& path) {
    return m_services.files.MakeFolder(path);
}

SysResult Ckelpie5App::RemoveProbeFolder(const QString& path) {
    return m_services.files.RemoveFolder(path);
}

bool Ckelpie5App::ProbeWrite() {
    const QString probe = m_state.programFolder + u'/' + kProbeFolderName;
    int error = MakeProbeFolder(probe).error;
    if (error == 0)
        error = RemoveProbeFolder(probe).error;
    if (error == 0)
        return true;
    m_services.ui.Message(QStringLiteral("起動できません。　\n") + SystemErrorText(error), Icon::Error);
    return false;
}

void Ckelpie5App::ReadEarlySettings() {
    NoTexts noTexts;
    SettingsFile settingsFile(m_services.files, m_services.ui, noTexts);
    const QString env = m_state.environmentFolder;
    if (!settingsFile.SettingsFileExists(env))
        return;
    SettingsRecord early;
    settingsFile.LoadSettings(env, early);
    m_startMaximized = early.sizeMfMax == 1;
    m_initialSize = QSize(early.sizeMfWidth, early.sizeMfHigh);
    m_earlySettings = early;
}

OpResult Ckelpie5App::CreateState() {
    Interaction& ui = m_services.ui;
    FileSystem& files = m_services.files;
    m_state.catalogue = std::make_unique<CMessageCatalogue>(ui);
    m_state.engine = std::make_unique<CCryptEngine>(ui, *m_state.catalogue, files);
    CCryptEngine& engine = *m_state.engine;
    CMessageCatalogue& catalogue = *m_state.catalogue;

    // The built-in key is made from catalogue B, so both catalogues come first.
    engine.ResetKeys();
    if (catalogue.MsgAIN(engine) != OpResult::kDone || catalogue.MsgBIN(engine) != OpResult::kDone)
        return OpResult::kFailed;
    if (catalogue.m_GetMsgB(8).isEmpty())
        return OpResult::kFailed;
    if (engine.RegisterBuiltInKey() != 0)
        return OpResult::kFailed;

    m_state.settings = SettingsRecord();
    if (EnsureEnvironmentFolder() != 0)
        return OpResult::kFailed;
    const QString env = m_state.environmentFolder;

    // The version is checked before the registry is read: a newer layout must not be touched.
    SettingsFile settingsFile(files, ui, catalogue);
    m_state.settingsFileExisted = settingsFile.SettingsFileExists(env);
    if (settingsFile.EnsureSettingsFile(env) != OpResult::kDone)
        return OpResult::kFailed;
    // Nothing writes the file between the early read and here (one instance per program folder).
    if (m_earlySettings && m_state.settingsFileExisted)
        m_state.settings = *m_earlySettings;
    else
        settingsFile.LoadSettings(env, m_state.settings);
    m_earlySettings.reset();
    if (settingsFile.CheckSettingsVersion(env, m_state.settings) != OpResult::kDone)
        return OpResult::kFailed;

    Volumes* volumes = &m_services.volumes;
    RegistryPlaces places{m_services.userFolders.Documents(), m_services.userFolders.Desktop(),
                          volumes->MountRoot(m_state.programFolder),
                          [volumes](const QString& path) { return volumes->MountRoot(path); }};
    m_state.registry = std::make_unique<FolderRegistry>(engine, files, std::move(places));
    if (m_state.registry->LoadFolderRegistry(env) != OpResult::kDone)
        return OpResult::kFailed;

    m_state.workFolder = std::make_unique<WorkFolderSettings>(engine, files, StandardWorkFolder());
    if (m_state.workFolder->LoadWorkFolderSettings(env) != OpResult::kDone)
        return OpResult::kFailed;
    ChoosePlainRoot();
    // Decryptions and scratch go below the plaintext root: its free space is the one that counts.
    engine.SetWorkFolder(m_state.workFolder->PlainRoot());
    // Working copies, name files and scratch are written below the work root: no one else may read them.
    QStringList privateFolders{m_state.workFolder->angoTempFolder};
    if (!m_state.workFolder->plainRoot.isEmpty())
        privateFolders << m_state.workFolder->plainRoot;
    files.SetPrivateFolders(privateFolders);
    return OpResult::kDone;
}

int Ckelpie5App::EnsureEnvironmentFolder() {
    const QString folder = m_state.environmentFolder;
    if (QFileInfo(folder).isDir())
        return 0;
    if (const int error = m_services.files.MakeFolderPath(folder).error; error != 0)
        return ReportMessage(m_services.ui, *m_state.catalogue, msg::kEnvironmentFolder,
                             WithPath(ErrnoText(error), folder, PathSeparator::Bracketed));
    return 0;
}

QString Ckelpie5App::StandardWorkFolder() const {
    return korimbo::StandardWorkFolder(m_state.programFolder);
}

QString Ckelpie5App::DefaultEncryptedFolder() const {
    return DefaultEncryptedFolderOf(m_state.programFolder);
}

QString Ckelpie5App::WorkAreaOf(int slot, const QString& area) const {
    if (!m_state.registry || !m_state.workFolder)
        return QString();
    return WorkAreas::AreaOf(m_state.workFolder->RootOf(area), m_state.registry->WorkIdText(slot), area);
}

CPasswordManager Ckelpie5App::Passwords() {
    return CPasswordManager(*m_state.engine, m_services.files, m_services.ui, *m_state.catalogue,
                            m_state.environmentFolder);
}

bool Ckelpie5App::EmptyFolder(const QString& folder, bool wipe, const QStringList& keep) {
    const QFileInfo info(folder);
    // A link in an area's place is removed as a link: emptying it would wipe what it points to.
    if (KindOf(folder) == ItemKind::Link && !keep.contains(folder))
        return m_services.files.Remove(folder).Ok();
    if (!info.exists() || keep.contains(folder))
        return true;
    if (!info.isDir() || !info.isReadable())
        return false;
    bool emptied = true;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.filePath();
        if (keep.contains(path))
            continue;
        // A link is removed as a link; what it points to is not ours.
        if (entry.isDir() && !entry.isSymLink()) {
            const bool holdsKept = std::any_of(keep.begin(), keep.end(), [&](const QString& kept) {
                return kept != path && IsWithinPath(kept, path);
            });
            if (!EmptyFolder(path, wipe, keep) || (!holdsKept && ::rmdir(Native(path).constData()) != 0))
                emptied = false;
            continue;
        }
        QString errorText;
        // Taken-out copies are plaintext: overwritten before they go.
        if (wipe && !entry.isSymLink() && m_state.engine && m_state.engine->WipeAndDelete(path, errorText, false) == 0)
            continue;
        if (m_services.files.Remove(path).Failed())
            emptied = false;
    }
    return emptied;
}

// The user's files a "暗号化する(&U)" cut short left in the creation area go back to their folders before
// anything there is emptied. What cannot go back is reported and stays, with its journal entry; the
// paths that must stay are returned.
QStringList Ckelpie5App::PutBackParkedFiles(const QString& area, bool report) {
    if (area.isEmpty() || !m_state.engine)
        return {};
    ParkedFiles parked(m_services.files, *m_state.engine, area);
    if (const int rc = parked.Load().error; rc != 0) {
        // Without its journal no file there can be told from a leftover: all of it stays.
        if (report)
            ReportMessage(m_services.ui, *m_state.catalogue, msg::kPutBackFailed,
                          WithPath(u'\n' + ErrnoText(rc), ParkedFiles::JournalOf(area), PathSeparator::Paragraph));
        return {area};
    }
    QStringList keep;
    for (const ParkedFiles::Failure& failure : parked.PutBackAll()) {
        if (report)
            ReportMessage(m_services.ui, *m_state.catalogue, msg::kPutBackFailed, ParkedFiles::FailureText(failure));
        keep << failure.entry.parked;
    }
    if (!keep.isEmpty())
        keep << ParkedFiles::JournalOf(area);
    return keep;
}

// A decryption cut short by a crash leaves its hidden temporary file beside the destination, and that
// one holds plaintext: it is overwritten before it goes. Only names the engine makes are touched, never
// a working copy of the user.
void Ckelpie5App::RemoveLeftoverTemporaries(const QString& area) {
    // An area that is a link is not ours to search: the sweep removes the link.
    if (area.isEmpty() || !m_state.engine || KindOf(area) != ItemKind::Folder)
        return;
    QStringList leftovers;
    QDirIterator it(area, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (CCryptEngine::IsTempName(it.fileName()) || CCryptEngine::IsWipeName(it.fileName()))
            leftovers.append(path);
    }
    for (const QString& path : leftovers) {
        // In a work area nearly every one is a decryption's, and a wipe cut short left plaintext; a
        // container being written lives in the encrypted folder. Those named before the kind was part
        // of the name look sealed, so every one found here is wiped.
        QString errorText;
        if (m_state.engine->WipeAndDelete(path, errorText, false) == 0)
            continue;
        // Not wiped: gone is still better than left behind.
        static_cast<void>(m_services.files.MakeWritable(path));
        static_cast<void>(m_services.files.Remove(path));
    }
}

void Ckelpie5App::EmptyTemporaryWorkAreas(bool report) {
    if (!m_state.registry)
        return;
    for (const auto& [slot, path] : m_state.registry->RegisteredFolders())
        EmptyTemporaryAreasOf(slot, report);
}

void Ckelpie5App::EmptyTemporaryAreasOf(int slot, bool report) {
    const QStringList keep = PutBackParkedFiles(WorkAreaOf(slot, WorkAreas::kCreation), report);
    for (const QString& area : WorkAreas::kAll)
        RemoveLeftoverTemporaries(WorkAreaOf(slot, area));
    // All three may hold plaintext: copies being taken out or exported, and files being encrypted.
    for (const auto& [area, number] : {std::pair{WorkAreas::kCreation, msg::kCreationAreaNotEmptied},
                                       std::pair{WorkAreas::kTakeOut, msg::kTakeOutAreaNotEmptied},
                                       std::pair{WorkAreas::kReturn, msg::kTakeOutAreaNotEmptied}}) {
        const QString path = WorkAreaOf(slot, area);
        if (path.isEmpty() || EmptyFolder(path, true, keep) || !report)
            continue;
        ReportMessage(m_services.ui, *m_state.catalogue, number, WithPath(QString(), path, PathSeparator::Line));
    }
}

void Ckelpie5App::BringOverEarlierPlainAreas() {
    const WorkFolderSettings& work = *m_state.workFolder;
    if (work.plainRoot.isEmpty() || !m_state.registry || SameResolved(work.plainRoot, work.angoTempFolder))
        return;
    for (const auto& [slot, path] : m_state.registry->RegisteredFolders()) {
        const auto earlier = [&](const QString& area) {
            return WorkAreas::AreaOf(work.angoTempFolder, m_state.registry->WorkIdText(slot), area);
        };
        if (IsFolderItem(earlier(WorkAreas::kEditing)))
            MoveCopiesOver(earlier(WorkAreas::kEditing), WorkAreaOf(slot, WorkAreas::kEditing));
        const QStringList keep = PutBackParkedFiles(earlier(WorkAreas::kCreation), true);
        for (const QString& area : {WorkAreas::kCreation, WorkAreas::kTakeOut, WorkAreas::kReturn})
            EmptyFolder(earlier(area), true, keep);
    }
}

void Ckelpie5App::MoveCopiesOver(const QString& from, const QString& to) {
    CopyOptions options;
    options.temp = TempKind::Plain;
    WalkTree(from, [&](const TreeEntry& entry) {
        const QString target = to + entry.path.mid(from.size());
        if (entry.kind == ItemKind::Folder)
            return m_services.files.MakePrivateFolder(target).Ok() ? Visit::Continue : Visit::Prune;
        QString errorText;
        if (entry.kind == ItemKind::File && m_services.files.MakePrivateFolder(ParentOf(target)).Ok() &&
            !ItemExists(target) && CopyFileTo(m_services.files, entry.path, target, options).Ok())
            (void)m_state.engine->WipeAndDelete(entry.path, errorText, true);
        return Visit::Continue;
    });
}

void Ckelpie5App::ReportLeftWorkingCopies() {
    if (!m_state.registry)
        return;
    QString folders;
    for (const auto& [slot, folder] : m_state.registry->RegisteredFolders()) {
        const QString area = WorkAreaOf(slot, WorkAreas::kEditing);
        if (!area.isEmpty() && CDecryptedFileModel::HasCopies(area))
            folders += folder + QStringLiteral("\r\n");
    }
    if (folders.isEmpty())
        return;
    ReportMessage(m_services.ui, *m_state.catalogue, msg::kLeftWorkingCopies, folders, Icon::Warning);
}

bool Ckelpie5App::NeedsFirstStartRegistration() const {
    return CountRegistered(m_state.registry.get(), nullptr) == 0;
}

QString Ckelpie5App::SingleFolderForLogin() const {
    QString single;
    return CountRegistered(m_state.registry.get(), &single) == 1 ? single : QString();
}

void Ckelpie5App::SaveAtShutdown(bool maximized) {
    if (!m_state.startupCompleted || !m_state.catalogue || m_savedAtShutdown)
        return;
    m_savedAtShutdown = true; // a session end and the window's destruction both come here
    CMessageCatalogue& catalogue = *m_state.catalogue;
    const QString env = m_state.environmentFolder;
    m_state.settings.sizeMfMax = maximized ? 1 : 0;
    SettingsFile settingsFile(m_services.files, m_services.ui, catalogue);
    if (settingsFile.SaveSettings(env, m_state.settings))
        static_cast<void>(settingsFile.HideSettingsFile(env));
    else
        ReportMessage(m_services.ui, catalogue, msg::kSettingsNotSaved);
    if (m_state.workFolder && m_state.workFolder->SaveWorkFolderSettings(env) != OpResult::kDone)
        ReportMessage(m_services.ui, catalogue, msg::kWorkFolderNotSaved);
}

} // namespace korimbo
