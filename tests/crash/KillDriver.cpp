// A headless driver of the program's writing paths for the kill harness. The "run" modes repeat one
// operation for ever, each round writing the next numbered version, until the harness kills the
// process; the "check" modes are the next run: they start over the same program folder as the program
// would, tell which version they found and that it is complete, and recover what the killed run left
// the way the user would.
//
//   kill-driver prepare-writeback PROGRAM ROOT     register ROOT and put version 0 of doc.bin in it
//   kill-driver writeback PROGRAM ROOT             open doc.bin, save the next version, write it back, ...
//   kill-driver check-writeback PROGRAM ROOT
//   kill-driver settings PROGRAM                   save the settings with the next version, ...
//   kill-driver check-settings PROGRAM
//   kill-driver registry PROGRAM ROOT OTHER        register OTHER, remove it, ...
//   kill-driver check-registry PROGRAM ROOT OTHER
//   kill-driver fulldisk PROGRAM ROOT SPARE        encrypt-in and write-back into a nearly full ROOT
//   kill-driver plain PROGRAM ROOT                 put plain files in ROOT, "暗号化する(&U)" them once
//   kill-driver check-plain PROGRAM ROOT           the next start: each file in ROOT or in its container
//
// Every run mode prints "ready" once set up and "done" after each completed round. A check prints
// "version N" and exits 0, or says on stderr what was wrong and exits 1.

#include "CopiesRig.h"
#include "KillVersions.h"
#include "folder/EncryptIn.h"
#include "state/SettingsFile.h"
#include "state/WorkAreas.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cstdio>

using namespace korimbo;

namespace {

constexpr qint64 kDocumentSize = 1536 * 1024;
const QString kDocument = QStringLiteral("doc.bin");

void Say(const QString& text) {
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

int Fail(const QString& why) {
    std::fputs(qPrintable(why + u'\n'), stderr);
    return 1;
}

QString Messages(const ScriptedInteraction& ui) {
    QStringList numbers;
    for (const int n : ui.Numbers())
        numbers << QString::number(n);
    return numbers.join(u',');
}

// Our own files in an encrypted folder: the containers and the name file; anything else is left over.
QStringList Containers(const QString& root) {
    return QDir(root).entryList({QStringLiteral("*.zorf")}, QDir::Files | QDir::Hidden);
}

// The editor saves the way careful editors do (a new file renamed over the old), so that a kill never
// tears the working copy itself: what is tested is our write-back, not the editor.
// Each version gets a time of its own, seconds apart as a person's saves are: versions of one size
// saved within one second would look unchanged to the write-back, whose check is by time and size.
// A kill in the middle of the save leaves the editor's own temporary file, which is the editor's to
// clean up, not ours: it has a fixed name the check knows.
const QString kEditorTemporary = QStringLiteral(".doc.bin.editor-save");

bool SaveAsEditor(const QString& path, const QByteArray& bytes) {
    const QString temporary = QFileInfo(path).path() + u'/' + kEditorTemporary;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    QFile done(path);
    return done.open(QIODevice::ReadWrite) &&
           done.setFileTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(2 * KillVersions::Check(bytes)),
                            QFileDevice::FileModificationTime);
}

int PrepareWriteBack(const QString& program, const QString& root) {
    CopiesRig rig(program);
    if (!rig.StartIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    if (rig.Encrypt(root, kDocument, KillVersions::Make(0, kDocumentSize)).isEmpty())
        return Fail(QStringLiteral("first encryption failed: ") + Messages(rig.ui));
    Say(QStringLiteral("ready"));
    return 0;
}

int RunWriteBack(const QString& program, const QString& root) {
    CopiesRig rig(program);
    if (!rig.ResumeIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    const QStringList containers = Containers(root);
    if (containers.size() != 1)
        return Fail(QStringLiteral("expected one container, found %1").arg(containers.size()));
    const QString container = root + u'/' + containers.first();
    Say(QStringLiteral("ready"));
    for (;;) {
        const QString copy = rig.Open(container);
        if (copy.isEmpty())
            return Fail(QStringLiteral("open failed: ") + Messages(rig.ui));
        const qint64 version = KillVersions::Check(CopiesRig::Bytes(copy));
        if (version < 0)
            return Fail(QStringLiteral("the working copy is no complete version"));
        if (!SaveAsEditor(copy, KillVersions::Make(version + 1, kDocumentSize)))
            return Fail(QStringLiteral("the edit could not be saved"));
        if (rig.copies->WriteBackOne(copy) != OpResult::kDone)
            return Fail(QStringLiteral("write-back failed: ") + Messages(rig.ui));
        Say(QStringLiteral("done"));
    }
}

// Everything in `root` but the filler.
QStringList Left(const QString& root) {
    QStringList names = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("filler"));
    return names;
}

// The next start: the engine's leftovers in the work areas go, a working copy the killed run had not
// written back yet is written back as the user would from the decrypted-file list, and the container
// then holds a complete version no older than any edit.
int CheckWriteBack(const QString& program, const QString& root) {
    CopiesRig rig(program);
    if (!rig.ResumeIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    rig.app.EmptyTemporaryWorkAreas(false);
    QStringList inEditingArea = QDir(rig.Editing()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    inEditingArea.removeAll(kDocument);
    inEditingArea.removeAll(kEditorTemporary);
    if (!inEditingArea.isEmpty())
        return Fail(QStringLiteral("left in the editing area after the start: ") + inEditingArea.join(u' '));
    const QStringList containers = Containers(root);
    if (containers.size() != 1)
        return Fail(QStringLiteral("expected one container, found: ") + containers.join(u' '));
    const QString container = root + u'/' + containers.first();
    const QString out = rig.scratch.path() + QStringLiteral("/out.bin");
    if (rig.Engine().DecryptFile(container, out, rig.folder) != 0)
        return Fail(QStringLiteral("the container does not decrypt: ") + Messages(rig.ui));
    qint64 version = KillVersions::Check(CopiesRig::Bytes(out));
    if (version < 0)
        return Fail(QStringLiteral("the container holds no complete version"));

    const QString copy = rig.Editing() + u'/' + kDocument;
    if (QFileInfo::exists(copy)) {
        const qint64 edited = KillVersions::Check(CopiesRig::Bytes(copy));
        if (edited < 0)
            return Fail(QStringLiteral("the working copy is no complete version"));
        if (edited < version || edited > version + 1)
            return Fail(QStringLiteral("working copy %1 beside container %2").arg(edited).arg(version));
        if (edited == version + 1) {
            if (rig.copies->WriteBackOne(copy) != OpResult::kDone)
                return Fail(QStringLiteral("recovering write-back failed: ") + Messages(rig.ui));
            QFile::remove(out);
            if (rig.Engine().DecryptFile(container, out, rig.folder) != 0 ||
                KillVersions::Check(CopiesRig::Bytes(out)) != edited)
                return Fail(QStringLiteral("the recovered edit %1 is not in the container (%2, copy %3, messages %4)")
                                .arg(edited)
                                .arg(KillVersions::Check(CopiesRig::Bytes(out)))
                                .arg(QFileInfo::exists(copy))
                                .arg(Messages(rig.ui)));
            version = edited;
        }
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(copy);
    }
    // The next refresh of the folder takes away what the killed write left beside the container.
    rig.names->SetOpenCheck(&rig.probe);
    if (rig.names->RefreshNameFile(root, rig.folder) != 0)
        return Fail(QStringLiteral("the folder does not refresh: ") + Messages(rig.ui));
    if (const QStringList left = Left(root); left != QStringList{containers.first()})
        return Fail(QStringLiteral("left in the folder after its refresh: ") + left.join(u' '));
    if (!rig.ui.Numbers().isEmpty())
        return Fail(QStringLiteral("messages: ") + Messages(rig.ui));
    Say(QStringLiteral("version %1").arg(version));
    return 0;
}

// Both widths carry the round's number: a save is complete when they agree.
int RunSettings(const QString& program) {
    AppRig rig(program);
    if (!rig.Start())
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    AppState& s = rig.app.State();
    SettingsFile file(rig.fs, rig.ui, *s.catalogue);
    Say(QStringLiteral("ready"));
    for (int round = s.settings.sizeTvWidth + 1;; ++round) {
        s.settings.sizeTvWidth = round;
        s.settings.sizeLv2Width = round;
        if (!file.SaveSettings(s.environmentFolder, s.settings))
            return Fail(QStringLiteral("save failed: ") + Messages(rig.ui));
        Say(QStringLiteral("done"));
    }
}

int CheckSettings(const QString& program) {
    AppRig rig(program);
    if (!rig.Start())
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    const SettingsRecord& settings = rig.app.State().settings;
    if (!rig.app.State().settingsFileExisted)
        return Fail(QStringLiteral("the settings file is gone"));
    if (settings.sizeTvWidth != settings.sizeLv2Width)
        return Fail(QStringLiteral("a torn save: %1 and %2").arg(settings.sizeTvWidth).arg(settings.sizeLv2Width));
    if (!rig.ui.Numbers().isEmpty())
        return Fail(QStringLiteral("messages: ") + Messages(rig.ui));
    Say(QStringLiteral("version %1").arg(settings.sizeTvWidth));
    return 0;
}

int RunRegistry(const QString& program, const QString& root, const QString& other) {
    FolderRig rig(program);
    if (!rig.Resume(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    Say(QStringLiteral("ready"));
    for (;;) {
        if (rig.Slot(other) < 0
                ? rig.Add(other, QStringLiteral("Other#Pw2"), QStringLiteral("0"), QStringLiteral("OID")) != 0
                : rig.Registry().RemoveFolder(rig.app.EnvironmentFolder(), other) != OpResult::kDone)
            return Fail(QStringLiteral("registry change failed: ") + Messages(rig.ui));
        Say(QStringLiteral("done"));
    }
}

int CheckRegistry(const QString& program, const QString& root, const QString& other) {
    FolderRig rig(program);
    if (!rig.Resume(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    if (rig.Slot(root) < 0)
        return Fail(QStringLiteral("the first folder is no longer registered"));
    if (!rig.ui.Numbers().isEmpty())
        return Fail(QStringLiteral("messages: ") + Messages(rig.ui));
    Say(QStringLiteral("version %1").arg(rig.Slot(other) < 0 ? 0 : 1));
    return 0;
}

// "暗号化する(&U)" over files of these sizes: the large ones make the kill land mid-encryption.
constexpr qint64 kPlainSizes[] = {4 * 1024, 1024 * 1024, 3 * 1024 * 1024};

// One run: the plain files go into the folder (each complete before it is there), then the command.
int RunPlain(const QString& program, const QString& root) {
    CopiesRig rig(program);
    if (!rig.ResumeIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    QStringList files;
    for (int i = 0; i < int(std::size(kPlainSizes)); ++i) {
        files << root + QStringLiteral("/plain%1.bin").arg(i);
        if (!SaveAsEditor(files.last(), KillVersions::Make(i + 1, kPlainSizes[i])))
            return Fail(QStringLiteral("the plain files could not be written"));
    }
    CEncryptIn encryptIn(rig.Services(), rig.prompts);
    rig.ui.QueueAnswer(kAnswerYes);
    Say(QStringLiteral("ready"));
    if (encryptIn.EncryptPlainFiles(files, root) != OpResult::kDone)
        return Fail(QStringLiteral("the command failed: ") + Messages(rig.ui));
    Say(QStringLiteral("done"));
    std::getchar(); // waits for the kill like the other run modes: a kill after the end is a kill too
    return 0;
}

// The next start puts parked files back; then every file is whole in the folder (under its name or as
// "name (2)" beside a namesake) or in a container, and the creation area is empty. Says how many files
// were parked and how many encrypted, and clears the folder for the next run.
int CheckPlain(const QString& program, const QString& root) {
    CopiesRig rig(program);
    if (!rig.ResumeIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    const QString area = rig.app.WorkAreaOf(rig.Slot(root), WorkAreas::kCreation);
    int parked = 0;
    for (QDirIterator it(area, {QStringLiteral("plain*")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++parked;
    rig.app.EmptyTemporaryWorkAreas(true);
    if (!QDir(area).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        return Fail(QStringLiteral("left in the creation area"));
    QSet<qint64> versions; // in the containers
    const QString out = rig.scratch.path() + QStringLiteral("/out.bin");
    for (const QString& name : Containers(root)) {
        if (CCryptEngine::IsTempName(name) || CCryptEngine::IsWipeName(name))
            continue;
        if (QFile::remove(out); rig.Engine().DecryptFile(root + u'/' + name, out, rig.folder) != 0)
            return Fail(QStringLiteral("a container does not decrypt: ") + name + u' ' + Messages(rig.ui));
        versions.insert(KillVersions::Check(CopiesRig::Bytes(out)));
    }
    int encrypted = 0;
    for (int i = 0; i < int(std::size(kPlainSizes)); ++i) {
        const QByteArray bytes = KillVersions::Make(i + 1, kPlainSizes[i]);
        encrypted += versions.contains(i + 1) ? 1 : 0;
        if (!versions.contains(i + 1) && CopiesRig::Bytes(root + QStringLiteral("/plain%1.bin").arg(i)) != bytes &&
            CopiesRig::Bytes(root + QStringLiteral("/plain%1 (2).bin").arg(i)) != bytes)
            return Fail(QStringLiteral("plain%1.bin is neither in the folder nor in a container").arg(i));
    }
    for (const QString& name : QDir(root).entryList({QStringLiteral("*.zorf"), QStringLiteral("plain*")}, QDir::Files))
        if (QFile::setPermissions(root + u'/' + name, QFile::ReadOwner | QFile::WriteOwner))
            QFile::remove(root + u'/' + name);
    // The refresh takes away what a killed encryption left beside its container.
    rig.names->SetOpenCheck(&rig.probe);
    if (rig.names->RefreshNameFile(root, rig.folder) != 0 || Left(root).size() > 1 || !rig.ui.Numbers().isEmpty())
        return Fail(QStringLiteral("after the refresh: ") + Left(root).join(u' ') + u' ' + Messages(rig.ui));
    Say(QStringLiteral("parked %1 encrypted %2").arg(parked).arg(encrypted));
    return 0;
}

// Fills `folder` until `keep` bytes are free (a tmpfs counts in pages, so this is approximate).
bool FillUntil(const QString& folder, qint64 keep) {
    QFile filler(folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray block(64 * 1024, 'f');
    for (;;) {
        const qint64 free = QStorageInfo(folder).bytesAvailable();
        if (free <= keep)
            return true;
        const QByteArray piece = block.left(int(std::min<qint64>(block.size(), free - keep)));
        if (filler.write(piece) != piece.size() || !filler.flush())
            return true;
    }
}

// A full disk under encrypt-in and write-back: each reports its message, the container keeps its old
// version, the user's file and the edited working copy are still there, and no partial file is left.
// First with the free space told truly (the check before writing refuses), then with it unknown, as
// some network and FUSE file systems report it, so that the kernel's ENOSPC meets the write itself.
int FullDisk(const QString& program, const QString& root, const QString& spare) {
    CopiesRig rig(program);
    if (!rig.StartIn(root))
        return Fail(QStringLiteral("start failed: ") + Messages(rig.ui));
    const QByteArray old = KillVersions::Make(0, 64 * 1024);
    const QString container = rig.Encrypt(root, kDocument, old);
    const QString copy = rig.Open(container);
    if (container.isEmpty() || copy.isEmpty())
        return Fail(QStringLiteral("set-up failed: ") + Messages(rig.ui));
    QByteArray edit(kDocumentSize, '\0'); // incompressible: the container is larger than the file
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(edit.data()), edit.size() / 4);
    const QString plain = spare + QStringLiteral("/letter.bin");
    if (!SaveAsEditor(copy, edit) || !FolderRig::WriteRaw(plain, edit))
        return Fail(QStringLiteral("set-up failed"));
    if (!FillUntil(root, 256 * 1024))
        return Fail(QStringLiteral("the disk could not be filled"));
    const QStringList before = Left(root);

    for (const bool knowsFree : {true, false}) {
        if (!knowsFree)
            rig.fs.freeBytes = qint64(1) << 40;
        rig.ui.Clear();
        if (rig.copies->WriteBackOne(copy) == OpResult::kDone)
            return Fail(QStringLiteral("a write-back on a full disk reported success"));
        const QString writeBackSaid = Messages(rig.ui);
        if (writeBackSaid.isEmpty())
            return Fail(QStringLiteral("a write-back on a full disk said nothing"));
        if (CopiesRig::Bytes(copy) != edit || !rig.Opens(container, kDocument, old) || Left(root) != before)
            return Fail(QStringLiteral("a failed write-back lost or left something: ") + Left(root).join(u' '));

        rig.ui.Clear();
        EncryptInRequest request;
        request.mode = EncryptInRequest::kMove;
        request.sources = {plain};
        request.destination = root;
        CEncryptIn encryptIn(rig.Services(), rig.prompts);
        if (encryptIn.Run(request) == OpResult::kDone)
            return Fail(QStringLiteral("an encrypt-in on a full disk reported success"));
        if (rig.ui.Numbers().isEmpty())
            return Fail(QStringLiteral("an encrypt-in on a full disk said nothing"));
        if (CopiesRig::Bytes(plain) != edit || Left(root) != before)
            return Fail(QStringLiteral("a failed encrypt-in lost or left something: ") + Left(root).join(u' '));
        Say(QStringLiteral("%1: write-back said %2, encrypt-in said %3")
                .arg(knowsFree ? QStringLiteral("free space known") : QStringLiteral("free space unknown"),
                     writeBackSaid, Messages(rig.ui)));
    }
    QFile::remove(root + QStringLiteral("/filler"));
    rig.fs.freeBytes.reset();
    rig.ui.Clear();
    if (rig.copies->WriteBackOne(copy) != OpResult::kDone || !rig.Opens(container, kDocument, edit))
        return Fail(QStringLiteral("the write-back failed once there was room: ") + Messages(rig.ui));
    Say(QStringLiteral("version 1"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const QString a = args.value(1), b = args.value(2), c = args.value(3);
    if (mode == QLatin1String("prepare-writeback") && args.size() == 3)
        return PrepareWriteBack(a, b);
    if (mode == QLatin1String("writeback") && args.size() == 3)
        return RunWriteBack(a, b);
    if (mode == QLatin1String("check-writeback") && args.size() == 3)
        return CheckWriteBack(a, b);
    if (mode == QLatin1String("settings") && args.size() == 2)
        return RunSettings(a);
    if (mode == QLatin1String("check-settings") && args.size() == 2)
        return CheckSettings(a);
    if (mode == QLatin1String("registry") && args.size() == 4)
        return RunRegistry(a, b, c);
    if (mode == QLatin1String("check-registry") && args.size() == 4)
        return CheckRegistry(a, b, c);
    if (mode == QLatin1String("plain") && args.size() == 3)
        return RunPlain(a, b);
    if (mode == QLatin1String("check-plain") && args.size() == 3)
        return CheckPlain(a, b);
    if (mode == QLatin1String("fulldisk") && args.size() == 4)
        return FullDisk(a, b, c);
    return Fail(QStringLiteral("usage: see the head of KillDriver.cpp"));
}
