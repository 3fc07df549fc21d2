#include "app/FolderRegistration.h"

#include "platform/AccessCheck.h"
#include "util/BusySection.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/SecretText.h"
#include "workspace/LoginManager.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <array>
#include <cstdint>

namespace korimbo {

namespace {

const QString kThisDrive = QStringLiteral("このドライブ");

// The places a Windows system folder and program files folder stand for here.
const QStringList kSystemFolders = {QStringLiteral("/usr"),   QStringLiteral("/etc"),   QStringLiteral("/boot"),
                                    QStringLiteral("/bin"),   QStringLiteral("/sbin"),  QStringLiteral("/lib"),
                                    QStringLiteral("/lib32"), QStringLiteral("/lib64"), QStringLiteral("/proc"),
                                    QStringLiteral("/sys"),   QStringLiteral("/dev"),   QStringLiteral("/run"),
                                    QStringLiteral("/var")};
const QString kProgramFilesFolder = QStringLiteral("/opt");
// Removable media are mounted below /run/media on many systems: that part of /run belongs to the user.
const QString kUserMediaFolder = QStringLiteral("/run/media/");

// Related when one lies in the other, so a folder that contains a system folder is refused too.
bool Related(const QString& first, const QString& second) {
    if (first.isEmpty() || second.isEmpty())
        return false;
    return IsWithinPath(first, second) || IsWithinPath(second, first);
}

} // namespace

namespace {

bool Inside(const QString& path, const QString& folder) {
    return path != folder && IsWithinPath(path, folder);
}

// The home folder, or a folder below it, as given or resolved. A home folder that is the root or one of the
// system folders themselves would open all of them, so it opens nothing.
bool InHome(const QString& path, const QString& home) {
    for (const QString& folder : {home, QFileInfo(home).canonicalFilePath()}) {
        const QString clean = folder.isEmpty() ? folder : QDir::cleanPath(folder);
        if (clean.isEmpty() || clean == QStringLiteral("/") || kSystemFolders.contains(clean))
            continue;
        if (path == clean || Inside(path, clean))
            return true;
    }
    return false;
}

} // namespace

bool CFolderRegistration::IsSystemFolder(const QString& path, const QString& home) {
    // Some systems keep the home folders in /var/home: the user's own folders are not the system's.
    if (path.startsWith(kUserMediaFolder) || InHome(path, home))
        return false;
    for (const QString& system : kSystemFolders)
        if (Related(path, system))
            return true;
    return false;
}

CFolderRegistration::CFolderRegistration(Ckelpie5App& app, PasswordPrompts& prompts) : m_app(app), m_prompts(prompts) {}

QStringList CFolderRegistration::ContainersBelow(const QString& folder) {
    QStringList containers;
    QDirIterator it(folder, {QStringLiteral("*.zorf")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        containers.append(it.next());
    containers.sort();
    return containers;
}

int CFolderRegistration::Refuse(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_app.Svc().ui, *m_app.State().catalogue, number, tail, icon);
}

OpResult CFolderRegistration::Fail(int number, const QString& tail, Icon icon) {
    Refuse(number, tail, icon);
    return OpResult::kFailed;
}

// A message the engine composed already, shown under its number.
int CFolderRegistration::Say(int number, const QString& text, Icon icon) {
    m_app.Svc().ui.Message(text, icon, Buttons::Ok, 0, number);
    return -1;
}

int CFolderRegistration::Validate(const QString& path) {
    CMessageCatalogue& texts = *m_app.State().catalogue;
    const FolderRegistry& registry = *m_app.State().registry;
    if (path.size() >= kMaxPathLength)
        return Refuse(msg::kPathTooLongHead, texts.m_GetMsgA(msg::kFolderPathLimit));
    if (registry.Count() >= FolderRegistry::kMaxEntries)
        return Refuse(msg::kTableFull);
    // A path without a root, or no folder at all, has no volume to register on.
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !QFileInfo(path).isDir())
        return Refuse(msg::kRegistrationNoRoot);

    switch (m_app.Svc().volumes.TypeOf(path)) {
    case DriveType::Fixed:
    case DriveType::Removable:
    case DriveType::Network:
    case DriveType::Optical:
        break;
    case DriveType::RamDisk:
        return Refuse(msg::kRamDisk);
    case DriveType::Unknown:
        return Refuse(msg::kUnknownDrive);
    default:
        return Refuse(msg::kUnsuitableDrive);
    }
    // A link must not lead around the refusal, so the resolved path is tested as well.
    const QString resolved = QFileInfo(path).canonicalFilePath();
    const QString home = QDir::homePath();
    if (IsSystemFolder(path, home) || IsSystemFolder(resolved, home))
        return Refuse(msg::kSystemFolder);
    if (Related(path, kProgramFilesFolder) || Related(resolved, kProgramFilesFolder))
        return Refuse(msg::kProgramFolder);

    for (const auto& [slot, registered] : registry.RegisteredFolders()) {
        if (registered == path)
            return Refuse(msg::kAlreadyRegistered);
        if (Inside(path, registered))
            return Refuse(msg::kInsideRegistered);
        if (Inside(registered, path))
            return Refuse(msg::kContainsRegistered);
    }
    return 0;
}

OpResult CFolderRegistration::Register(const QString& path, QString* driveLabel) {
    AppState& state = m_app.State();
    if (!state.registry || !state.engine || !state.catalogue)
        return OpResult::kFailed;
    CMessageCatalogue& texts = *state.catalogue;
    Interaction& ui = m_app.Svc().ui;
    const QString folder = path.isEmpty() ? path : QDir::cleanPath(path);
    if (Validate(folder) != 0)
        return OpResult::kFailed;

    const DriveType type = m_app.Svc().volumes.TypeOf(folder);
    QString label;
    bool readOnly = false;
    switch (type) {
    case DriveType::Fixed:
        break;
    case DriveType::Removable:
        label = kRemovableLabel;
        break;
    case DriveType::Network:
        if (m_prompts.AskNetworkRegistration(folder, readOnly) != PasswordPrompts::Answer::kOk)
            return OpResult::kDeclined;
        break;
    case DriveType::Optical:
        label = kOpticalLabel;
        readOnly = true;
        ui.Message(kThisDrive + label + texts.m_GetMsgA(msg::kOptical) + texts.m_GetMsgA(msg::kOpticalTail),
                   Icon::Information, Buttons::Ok, 0, msg::kOptical);
        break;
    default:
        readOnly = true;
        ui.Message(kThisDrive + texts.m_GetMsgA(msg::kOtherDrive), Icon::Information, Buttons::Ok, 0, msg::kOtherDrive);
        break;
    }

    // Containers anywhere below make this a re-registration of an encrypted folder.
    const QStringList containers = ContainersBelow(folder);
    const bool reRegistration = !containers.isEmpty();
    if (reRegistration && !readOnly) {
        const QString question =
            texts.m_GetMsgA(msg::kHasFiles) + folder +
            QStringLiteral(" ' には既にファイルが格納されています。\nファイルが格納されているフォルダーの") +
            QStringLiteral("登録は、暗号フォルダーの再登録の場合に限ってください。　\n\nよろしいですか？　");
        if (ui.Message(question, Icon::Question, Buttons::YesNo, 0, msg::kHasFiles) != kAnswerYes)
            return OpResult::kDeclined;
    }
    if (reRegistration && type != DriveType::Optical) {
        QString message;
        const BusySection section(busy);
        if (CAccessCheck(m_app.Svc().volumes, m_app.Svc().files, ui, texts).CheckAccess(folder, 1, message) != 0)
            return OpResult::kFailed;
    }

    QString password;
    const ScopedWipe wipePassword(password);
    QString hint;
    if ((readOnly ? ReadOnlyPassword(containers, password, hint)
                  : WritablePassword(folder, containers, password, hint)) != 0)
        return OpResult::kFailed;

    QString workId;
    if (UniqueNameText(false, workId) != 0)
        return Fail(msg::kNoUniqueName, QString(), Icon::Error);
    const bool autoRelease =
        type == DriveType::Optical || (type == DriveType::Removable && state.settings.usbAutoKaijyoFlg == 1);
    const QString env = state.environmentFolder;
    const OpResult added = state.registry->AddFolder(
        env, folder, hint, password, readOnly ? QStringLiteral("1") : QStringLiteral("0"), workId,
        autoRelease ? QStringLiteral("1") : QStringLiteral("0"), static_cast<int>(type));
    // Making the verifier left the password's key in the scratch slot.
    state.engine->ReleaseKey(CCryptEngine::kTempKeyName);
    if (added != OpResult::kDone)
        return OpResult::kFailed;

    if (!readOnly && !reRegistration && ProbeWrite(folder) != 0) {
        static_cast<void>(state.registry->RemoveFolder(env, folder));
        return OpResult::kFailed;
    }
    if (!readOnly && reRegistration) {
        const QString question = QStringLiteral("既に格納されてい") + QStringLiteral("る暗号ファイルのヒン") +
                                 QStringLiteral("トを全て置き換えますか？");
        if (ui.Message(question, Icon::Question, Buttons::YesNo, 0, 0) == kAnswerYes &&
            RewriteHints(containers, hint) != 0) {
            static_cast<void>(state.registry->RemoveFolder(env, folder));
            return OpResult::kFailed;
        }
    }

    // The password was just proven, so the new folder opens without asking again.
    static_cast<void>(EnterKey(folder, password, hint));
    if (driveLabel)
        *driveLabel = label;
    return OpResult::kDone;
}

int CFolderRegistration::ReadOnlyPassword(const QStringList& containers, QString& password, QString& hint) {
    const PasswordPrompts::Answer answer = m_prompts.AskPassword(PasswordPrompts::PromptMode::kLogin, password);
    if (answer == PasswordPrompts::Answer::kCancel)
        return -1;
    if (answer == PasswordPrompts::Answer::kInvalid || !CCryptEngine::KeepsPasswordRules(password))
        return Refuse(msg::kRegistrationInvalidPassword);
    if (containers.isEmpty())
        return 0;
    // The containers' own hint becomes the folder's hint, so a failed login can show it.
    return TestPassword(password, containers, &hint) == 0 ? 0 : -1;
}

int CFolderRegistration::WritablePassword(const QString& path, const QStringList& containers, QString& password,
                                          QString& hint) {
    for (int tries = 1;; ++tries) {
        if (m_prompts.AskNewPassword(PasswordPrompts::SetMode::kRegisterFolder, path, password, hint) !=
            PasswordPrompts::Answer::kOk)
            return -1;
        if (!CCryptEngine::KeepsPasswordRules(password))
            return Refuse(msg::kRegistrationInvalidPassword);
        if (containers.isEmpty())
            return 0;
        const int rc = TestPassword(password, containers);
        if (rc <= 0)
            return rc;
        if (tries >= kMaxPasswordTries)
            return -1;
    }
}

int CFolderRegistration::TestPassword(const QString& password, const QStringList& containers, QString* firstHint) {
    CCryptEngine& engine = *m_app.State().engine;
    Interaction& ui = m_app.Svc().ui;
    QString key;
    if (engine.RegisterTempKey(password, QString(), key) != 0)
        return -1;
    // Every container must open: the hint rewrite that may follow puts this password's hint on all of them.
    int result = 0;
    for (const QString& container : containers) {
        ui.Pump();
        ContainerInfo info;
        const std::optional<ContainerCheck> check = engine.CheckContainer(container, info, key, false);
        if (!check) {
            result = Refuse(msg::kContainerOpen, WithPath(QString(), container, PathSeparator::Paragraph), Icon::Error);
            break;
        }
        const ContainerStatus status = check->status;
        const QString& text = check->text;
        if (status == kWrongPassword) {
            Say(msg::kWrongPasswordFor, text, Icon::Warning);
            result = 1;
            break;
        }
        // A damaged or foreign container is not a wrong password: asking again would not help.
        if (status != kUsable) {
            result = Say(status == kNewerVersion ? msg::kNewerContainer : msg::kNotContainer, text, Icon::Error);
            break;
        }
        if (firstHint && container == containers.first())
            *firstHint = WithoutTrailingSpaces(info.hint);
    }
    engine.ReleaseKey(key);
    return result;
}

int CFolderRegistration::ProbeWrite(const QString& path) {
    FileSystem& files = m_app.Svc().files;
    const QString probe = path + u'/' + kProbeFileName;
    int rc = files.ReplaceContents(probe, QByteArray("0")).error;
    if (rc == 0)
        rc = files.Remove(probe).error;
    if (rc == 0)
        return 0;
    if (files.Exists(probe))
        static_cast<void>(files.Remove(probe));
    return Refuse(msg::kProbeFailed, QStringLiteral("\n\n") + ErrnoText(rc), Icon::Error);
}

int CFolderRegistration::RewriteHints(const QStringList& containers, const QString& hint) {
    CCryptEngine& engine = *m_app.State().engine;
    const BusySection section(busy);
    for (const QString& container : containers) {
        m_app.Svc().ui.Pump();
        if (engine.UpdateHint(container, hint) != 0)
            return Refuse(msg::kFileUnreadable, WithPath(QString(), container, PathSeparator::Paragraph), Icon::Error);
    }
    return 0;
}

int CFolderRegistration::EnterKey(const QString& path, const QString& password, const QString& hint) {
    CCryptEngine& engine = *m_app.State().engine;
    engine.ReleaseKey(path);
    std::array<std::uint8_t, 34> bytes{};
    const int count = engine.PasswordToBytes(password, bytes);
    const int rc = engine.RegisterKey(bytes.data(), count, path, WithoutTrailingSpaces(hint));
    volatile std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        p[i] = 0;
    return rc;
}

OpResult CFolderRegistration::Release(const QString& folder) {
    AppState& state = m_app.State();
    if (!state.registry || !state.engine || !state.catalogue || !state.workFolder)
        return OpResult::kFailed;
    const int slot = state.registry->SlotOf(folder);
    if (slot < 0)
        return OpResult::kFailed;
    CMessageCatalogue& texts = *state.catalogue;
    Interaction& ui = m_app.Svc().ui;
    if (ui.Message(WithPath(texts.m_GetMsgA(msg::kReleaseQuestion), folder, PathSeparator::Paragraph), Icon::Question,
                   Buttons::YesNo, 0, msg::kReleaseQuestion) != kAnswerYes)
        return OpResult::kDeclined;

    CLoginManager login(*state.engine, *state.registry, *state.workFolder, state.settings, m_app.Svc().files, ui,
                        texts);
    login.busy = busy;
    if (login.HasWorkingCopies(folder)) {
        // Changed copies of a writable folder would be lost; the user writes them back first.
        if (state.registry->ReadOnlyText(slot) != QStringLiteral("1"))
            return Fail(msg::kReleaseBlocked);
        if (login.EraseEditingArea(folder) != OpResult::kDone)
            return OpResult::kFailed;
    }
    // Once released, no start-up or exit looks at the folder's areas again: what they hold goes now.
    m_app.EmptyTemporaryAreasOf(slot, true);
    if (state.registry->RemoveFolder(state.environmentFolder, folder) != OpResult::kDone)
        return OpResult::kFailed;
    state.engine->ReleaseKey(folder);
    return OpResult::kDone;
}

} // namespace korimbo
