// korimbo-fuzz-seeds OUTDIR: writes the seed corpora, made by the program's own writers, into
// OUTDIR/<target>/seed-*. Each file made by a writer becomes two inputs: as it lies on disk (raw) and as
// its plaintext (plain), which the rig enciphers again when it reads the input.
#include "FuzzRig.h"

#include "crypto/KeyMaterial.h"
#include "folder/NameFile.h"
#include "state/CommonManagementData.h"
#include "state/SettingsFile.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace korimbo;
using namespace korimbo::fuzz;

namespace {

QString g_out;
int g_failures = 0;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

const char* NameOf(Target target) {
    for (const TargetName& t : kTargets)
        if (t.target == target)
            return t.name;
    return "unknown";
}

// One seed: the mode byte and the payload, checked against the reader before it is kept.
void Keep(FuzzRig& rig, Target target, const QString& name, std::uint8_t mode, const QByteArray& payload) {
    const QString folder = g_out + u'/' + QLatin1String(NameOf(target));
    QDir().mkpath(folder);
    QByteArray input(1, static_cast<char>(mode));
    input += payload;
    if (rig.Run(target, input) != kAccepted) {
        std::fprintf(stderr, "seed %s/%s is not accepted by its reader\n", NameOf(target), qPrintable(name));
        ++g_failures;
        return;
    }
    if (!Write(folder + QStringLiteral("/seed-") + name, input))
        ++g_failures;
}

void KeepBoth(FuzzRig& rig, Target target, const QString& name, const QByteArray& file, std::uint8_t extra = 0) {
    Keep(rig, target, name + QStringLiteral("-raw"), extra, file);
    Keep(rig, target, name + QStringLiteral("-plain"), extra | kModePlain,
         rig.PlainOf(target, file, (extra & kModeCatalogueB) != 0));
}

QByteArray TextOf(int lines) {
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "line " + QByteArray::number(i) + " of a text that compresses well\n";
    return text;
}

void Containers(FuzzRig& rig) {
    const struct {
        const char* name;
        QByteArray contents;
    } sources[] = {{"empty", QByteArray()}, {"short", QByteArray("hello")}, {"text", TextOf(300)}};
    for (const auto& source : sources) {
        const QString plain = rig.Scratch() + QStringLiteral("/") + QLatin1String(source.name) + QStringLiteral(".txt");
        const QString container = rig.Scratch() + QStringLiteral("/seed.zorf");
        if (!Write(plain, source.contents) || rig.Engine().EncryptFile(plain, container, rig.Root()) != kOk) {
            ++g_failures;
            continue;
        }
        KeepBoth(rig, Target::Container, QLatin1String(source.name), ReadAll(container));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korimbo-fuzz-seeds OUTDIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    FuzzRig rig;
    if (!rig.Ready()) {
        std::fprintf(stderr, "the fuzz rig could not be set up\n");
        return 1;
    }
    CCryptEngine& engine = rig.Engine();
    FileSystem& files = rig.Files();
    SilentInteraction ui;
    const QString env = rig.Scratch() + QStringLiteral("/seed-env");
    QDir().mkpath(env);

    Containers(rig);

    // The name file as a refresh of the registered folder writes it.
    {
        const QString path = rig.NameFileOfRoot();
        QFile::remove(path);
        rig.Run(Target::NameFile, QByteArray(1, '\0')); // an empty input: the refresh writes a fresh file
        KeepBoth(rig, Target::NameFile, QStringLiteral("refreshed"), ReadAll(path));
    }

    // The settings file as a save writes it.
    {
        CMessageCatalogue texts(ui);
        SettingsFile settings(files, ui, texts);
        SettingsRecord record;
        record.sizeMfWidth = 900;
        record.dispMode = 1;
        if (settings.EnsureSettingsFile(env) != OpResult::kDone || !settings.SaveSettings(env, record))
            ++g_failures;
        Keep(rig, Target::Settings, QStringLiteral("saved"), 0, ReadAll(SettingsFile::PathIn(env)));
    }

    // Two registered folders, one with a placeholder path.
    {
        FolderRegistry registry(engine, files, rig.Places());
        if (registry.LoadFolderRegistry(env) != OpResult::kDone ||
            registry.AddFolder(env, QStringLiteral("/media/stick/Secret"), QStringLiteral("the usual"),
                               FuzzRig::kFolderPassword, QStringLiteral("0"), QStringLiteral("W1"), QStringLiteral("1"),
                               2) != OpResult::kDone ||
            registry.AddFolder(env, rig.Places().documents + QStringLiteral("/Vault"), QStringLiteral("hint"),
                               QStringLiteral("Other#Pw3x"), QStringLiteral("1"), QStringLiteral("W2"),
                               QStringLiteral("0"), 3) != OpResult::kDone)
            ++g_failures;
        KeepBoth(rig, Target::Registry, QStringLiteral("two"), ReadAll(env + u'/' + FolderRegistry::kFileName));
    }

    // The administrator record and two change passwords.
    {
        CommonManagementData data(engine, files);
        if (data.LoadManagementData(env, FuzzRig::kAdminPassword, 1) == Verdict::kFailed ||
            !data.SetChangePasswords(2, {QStringLiteral("first"), QStringLiteral("second")},
                                     {QStringLiteral("Change#1x"), QStringLiteral("Change#2x")},
                                     {QStringLiteral("hint one"), QStringLiteral("hint two")}) ||
            data.SaveManagementData(env, FuzzRig::kAdminPassword, QStringLiteral("admin hint"), 1) != OpResult::kDone)
            ++g_failures;
        KeepBoth(rig, Target::CommonData, QStringLiteral("admin-two"),
                 ReadAll(env + u'/' + CommonManagementData::kFileName));
    }

    // A work folder the user chose.
    {
        WorkFolderSettings work(engine, files, rig.Scratch() + QStringLiteral("/standard"));
        if (work.LoadWorkFolderSettings(env) != OpResult::kDone)
            ++g_failures;
        work.angoTempFolderFlg = QStringLiteral("1");
        work.angoTempFolder = QStringLiteral("/media/stick/work");
        if (work.SaveWorkFolderSettings(env) != OpResult::kDone)
            ++g_failures;
        KeepBoth(rig, Target::WorkFolder, QStringLiteral("chosen"), ReadAll(env + u'/' + WorkFolderSettings::kFileName));
    }

    // Catalogue B as built; catalogue A cut down to a few entries (the whole of it is large) and
    // enciphered the way the build does it.
    {
        KeepBoth(rig, Target::Catalogue, QStringLiteral("b"), rig.CatalogueBlob(true), kModeCatalogueB);
        const QByteArray plainA = rig.PlainOf(Target::Catalogue, rig.CatalogueBlob(false));
        const auto* units = reinterpret_cast<const char16_t*>(plainA.constData());
        qsizetype count = 0;
        while (count < plainA.size() / 2 && units[count] != 0)
            ++count;
        const QStringList lines = QString::fromUtf16(units, count).split(u'\n');
        QString cut;
        for (const QString& line : lines)
            if (line.startsWith(u'#') || line.startsWith(QStringLiteral("ZorMSGa000")) ||
                line.startsWith(QStringLiteral("ZorMSGa0588")) || line.startsWith(QStringLiteral("ZorMSGa042")))
                cut += line + u'\n';
        const QByteArray blob = CMessageCatalogue::ToBlob(cut);
        Keep(rig, Target::Catalogue, QStringLiteral("a-cut-plain"), kModePlain, blob);
        QByteArray raw = blob;
        QString key;
        if (engine.RegisterTempKey(CataloguePassword(), QString(), key) != 0 ||
            engine.EncipherBuffer(reinterpret_cast<std::uint8_t*>(raw.data()), raw.size(), key) != 0)
            ++g_failures;
        Keep(rig, Target::Catalogue, QStringLiteral("a-cut-raw"), 0, raw);
    }

    if (g_failures != 0)
        std::fprintf(stderr, "%d seed(s) failed\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
