#include "FuzzRig.h"

#include "crypto/KeyMaterial.h"
#include "folder/NameFile.h"
#include "state/CommonManagementData.h"
#include "state/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstring>

namespace korimbo::fuzz {

namespace {

std::uint8_t* U8(QByteArray& bytes) {
    return reinterpret_cast<std::uint8_t*>(bytes.data());
}

QByteArray PaddedTo16(QByteArray bytes) {
    bytes.append(QByteArray((16 - bytes.size() % 16) % 16, '\0'));
    return bytes;
}

// The header runs enciphered with the folder's key, each starting from the key's chaining value.
struct CipherRun {
    int offset;
    int length;
};
constexpr CipherRun kInnerRuns[] = {
    {ContainerHeader::kTailOffset, ContainerHeader::kTailRunBytes},
    {ContainerHeader::kDatesOffset, ContainerHeader::kDatesRunBytes},
    {ContainerHeader::kCheckOffset, ContainerHeader::kCheckRunBytes},
};

int NameBlockLengthIn(const QByteArray& plainHeader) {
    ContainerHeader header;
    std::memcpy(header.Data(), plainHeader.constData(), ContainerHeader::kSize);
    const int k = header.NameBlockLength();
    return ContainerHeader::NameBlockLengthValid(k) ? k : 0;
}

} // namespace

bool TargetByName(const QString& name, Target& target) {
    for (const TargetName& t : kTargets) {
        if (name == QLatin1String(t.name)) {
            target = t.target;
            return true;
        }
    }
    return false;
}

int SilentInteraction::Message(const QString&, Icon, Buttons buttons, int, int) {
    ++messages;
    switch (buttons) {
    case Buttons::Ok:
        return kAnswerOk;
    case Buttons::YesNo:
        return kAnswerNo;
    default:
        return kAnswerCancel;
    }
}

FuzzRig::FuzzRig(const QString& parent)
    : m_dir((parent.isEmpty() ? QDir::tempPath() : parent) + QStringLiteral("/korimbo-fuzz-XXXXXX")) {
    m_ready = m_dir.isValid() && SetUp();
}

FuzzRig::~FuzzRig() = default;

bool FuzzRig::SetUp() {
    const QString base = m_dir.path();
    m_setupEnv = base + QStringLiteral("/env-setup");
    m_fuzzEnv = base + QStringLiteral("/env");
    m_root = base + QStringLiteral("/folder");
    m_scratch = base + QStringLiteral("/scratch");
    for (const QString& folder : {m_setupEnv, m_fuzzEnv, m_root + QStringLiteral("/sub"), m_scratch})
        if (!QDir().mkpath(folder))
            return false;

    m_catalogue = std::make_unique<CMessageCatalogue>(m_ui);
    m_engine = std::make_unique<CCryptEngine>(m_ui, *m_catalogue, m_files);
    if (m_catalogue->MsgAIN(*m_engine) != OpResult::kDone || m_catalogue->MsgBIN(*m_engine) != OpResult::kDone ||
        m_engine->RegisterBuiltInKey() != 0)
        return false;

    m_registry = std::make_unique<FolderRegistry>(*m_engine, m_files, Places());
    if (m_registry->LoadFolderRegistry(m_setupEnv) != OpResult::kDone ||
        m_registry->AddFolder(m_setupEnv, m_root, QStringLiteral("hint"), kFolderPassword, QStringLiteral("0"), kWorkId,
                              QStringLiteral("0"), 0) != OpResult::kDone)
        return false;
    m_workFolder = std::make_unique<WorkFolderSettings>(*m_engine, m_files, base + QStringLiteral("/work"));
    if (m_workFolder->LoadWorkFolderSettings(m_setupEnv) != OpResult::kDone)
        return false;
    m_engine->SetWorkFolder(m_workFolder->angoTempFolder);

    std::array<std::uint8_t, 34> bytes{};
    const int count = m_engine->PasswordToBytes(kFolderPassword, bytes);
    if (m_engine->RegisterKey(bytes.data(), count, m_root, QStringLiteral("hint")) != 0)
        return false;

    // The registered folder holds one of each kind, so that a name file is merged with a real listing.
    const QString source = m_scratch + QStringLiteral("/note.txt");
    QString name;
    if (!WriteFile(source, QByteArrayLiteral("a note\n")) || !WriteFile(m_root + QStringLiteral("/plain.txt"), "x") ||
        m_engine->MakeContainerName(m_root, name) != 0 ||
        m_engine->EncryptFile(source, m_root + u'/' + name, m_root) != kOk)
        return false;
    return QDir().mkpath(QFileInfo(NameFileOfRoot()).absolutePath());
}

RegistryPlaces FuzzRig::Places() const {
    const QString base = m_dir.path();
    return {base + QStringLiteral("/Documents"), base + QStringLiteral("/Desktop"), QStringLiteral("/"),
            [](const QString&) { return QStringLiteral("/"); }};
}

QString FuzzRig::NameFileOfRoot() {
    CNameFile names(*m_engine, *m_registry, *m_workFolder, m_files, m_ui, *m_catalogue);
    return names.NameFilePath(m_root);
}

bool FuzzRig::WriteFile(const QString& path, const QByteArray& bytes) {
    // The readers leave some files read-only (name files, containers after maintenance): start afresh.
    QFile::remove(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray FuzzRig::CatalogueBlob(bool catalogueB) const {
    QFile file(catalogueB ? CMessageCatalogue::kResourceB : CMessageCatalogue::kResourceA);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString FuzzRig::CatalogueBPassword() {
    return m_catalogue->m_GetMsgA(588);
}

// ---- the cipher layers our writers put around the bytes ----

QByteArray FuzzRig::Sealed(const QByteArray& plain, const QString& key) {
    QByteArray bytes = PaddedTo16(plain);
    if (m_engine->EncipherBuffer(U8(bytes), bytes.size(), key) != 0)
        return plain;
    return bytes;
}

QByteArray FuzzRig::Unsealed(const QByteArray& file, const QString& key) {
    QByteArray bytes = file;
    if (bytes.size() % 16 != 0 || m_engine->DecipherBuffer(U8(bytes), bytes.size(), key) != 0)
        return file;
    return bytes;
}

// Plain layout: the header as plaintext, the name block the header announces, the compressed body.
QByteArray FuzzRig::SealContainer(const QByteArray& plain) {
    QByteArray header = plain.left(ContainerHeader::kSize);
    header.append(QByteArray(ContainerHeader::kSize - header.size(), '\0'));
    const int k = NameBlockLengthIn(header);
    QByteArray nameBlock = plain.mid(ContainerHeader::kSize, k);
    nameBlock.append(QByteArray(k - nameBlock.size(), '\0'));
    QByteArray body = PaddedTo16(plain.mid(ContainerHeader::kSize + k));
    for (const CipherRun& run : kInnerRuns)
        (void)m_engine->EncipherBuffer(U8(header) + run.offset, run.length, m_root);
    (void)m_engine->EncipherBuffer(U8(nameBlock), nameBlock.size(), m_root);
    (void)m_engine->EncipherBuffer(U8(body), body.size(), m_root);
    (void)m_engine->EncipherWithBuiltInKey(U8(header), header.size());
    return header + nameBlock + body;
}

QByteArray FuzzRig::UnsealContainer(const QByteArray& file) {
    if (file.size() < ContainerHeader::kSize)
        return file;
    QByteArray header = file.left(ContainerHeader::kSize);
    (void)m_engine->DecipherWithBuiltInKey(U8(header), header.size());
    for (const CipherRun& run : kInnerRuns)
        (void)m_engine->DecipherBuffer(U8(header) + run.offset, run.length, m_root);
    const int k = NameBlockLengthIn(header);
    QByteArray nameBlock = file.mid(ContainerHeader::kSize, k);
    QByteArray body = file.mid(ContainerHeader::kSize + k);
    (void)m_engine->DecipherBuffer(U8(nameBlock), nameBlock.size(), m_root);
    if (body.size() % 16 == 0)
        (void)m_engine->DecipherBuffer(U8(body), body.size(), m_root);
    return header + nameBlock + body;
}

QByteArray FuzzRig::FileBytes(Target target, const QByteArray& input) {
    const std::uint8_t mode = input.isEmpty() ? 0 : static_cast<std::uint8_t>(input.at(0));
    const QByteArray payload = input.mid(1);
    if (!(mode & kModePlain))
        return payload;
    switch (target) {
    case Target::Container:
        return SealContainer(payload);
    case Target::NameFile:
        return Sealed(payload, m_root);
    case Target::Registry:
    case Target::CommonData:
    case Target::WorkFolder:
        return Sealed(payload, m_engine->BuiltInKeyName());
    case Target::Catalogue: {
        QString key;
        const QString password = (mode & kModeCatalogueB) ? CatalogueBPassword() : CataloguePassword();
        if (m_engine->RegisterTempKey(password, QString(), key) != 0)
            return payload;
        return Sealed(payload, key);
    }
    case Target::Settings:
        break; // plain text on disk: nothing to put around it
    }
    return payload;
}

QByteArray FuzzRig::PlainOf(Target target, const QByteArray& file, bool catalogueB) {
    switch (target) {
    case Target::Container:
        return UnsealContainer(file);
    case Target::NameFile:
        return Unsealed(file, m_root);
    case Target::Registry:
    case Target::CommonData:
    case Target::WorkFolder:
        return Unsealed(file, m_engine->BuiltInKeyName());
    case Target::Catalogue: {
        QString key;
        const QString password = catalogueB ? CatalogueBPassword() : CataloguePassword();
        if (m_engine->RegisterTempKey(password, QString(), key) != 0)
            return file;
        return Unsealed(file, key);
    }
    case Target::Settings:
        break;
    }
    return file;
}

// ---- the readers ----

Outcome FuzzRig::Run(Target target, const std::uint8_t* data, std::size_t size) {
    if (!m_ready)
        return kRejected;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray file = FileBytes(target, input);
    switch (target) {
    case Target::Container:
        return RunContainer(file);
    case Target::NameFile:
        return RunNameFile(file);
    case Target::Settings:
        return RunSettings(file);
    case Target::Registry:
        return RunRegistry(file);
    case Target::CommonData:
        return RunCommonData(file);
    case Target::WorkFolder:
        return RunWorkFolder(file);
    case Target::Catalogue:
        return RunCatalogue(file, !input.isEmpty() && (input.at(0) & kModeCatalogueB));
    }
    return kRejected;
}

Outcome FuzzRig::RunContainer(const QByteArray& file) {
    const QString path = m_scratch + QStringLiteral("/input.zorf");
    const QString plain = m_scratch + QStringLiteral("/decrypted");
    const QString renamed = m_scratch + QStringLiteral("/renamed.zorf");
    if (!WriteFile(path, file))
        return kRejected;
    ContainerInfo info;
    const std::optional<ContainerCheck> checked = m_engine->CheckContainer(path, info, m_root, true);
    const int verified = m_engine->VerifyContainer(path, m_root);
    const EngineResult decrypted = m_engine->DecryptFile(path, plain, m_root);
    const EngineResult copied = m_engine->RenameStoredName(path, renamed, QStringLiteral("renamed.txt"), m_root, true);
    const EngineResult hinted = m_engine->UpdateHint(path, QStringLiteral("new hint"));
    QFile::remove(plain);
    QFile::remove(renamed);
    const bool accepted =
        checked && checked->Usable() && verified == 0 && decrypted == kOk && copied == kOk && hinted == kOk;
    return accepted ? kAccepted : kRejected;
}

Outcome FuzzRig::RunNameFile(const QByteArray& file) {
    if (!WriteFile(NameFileOfRoot(), file))
        return kRejected;
    CNameFile names(*m_engine, *m_registry, *m_workFolder, m_files, m_ui, *m_catalogue);
    QList<NameEntry> entries;
    const int loaded = names.LoadNameEntries(m_root, m_root, true, entries);
    const bool listed = !entries.isEmpty();
    (void)IndexByDiskName(entries);
    const int refreshed = names.RefreshNameFile(m_root, m_root);
    (void)names.TakeEntriesSeen(m_root);
    (void)names.HasSubfolders(m_root, m_root);
    return loaded == 0 && listed && refreshed == 0 ? kAccepted : kRejected;
}

Outcome FuzzRig::RunSettings(const QByteArray& file) {
    if (!WriteFile(SettingsFile::PathIn(m_fuzzEnv), file))
        return kRejected;
    SettingsFile settings(m_files, m_ui, *m_catalogue);
    SettingsRecord record;
    settings.LoadSettings(m_fuzzEnv, record);
    const OpResult version = settings.CheckSettingsVersion(m_fuzzEnv, record);
    const bool saved = settings.SaveSettings(m_fuzzEnv, record);
    settings.LoadSettings(m_fuzzEnv, record);
    return version == OpResult::kDone && saved ? kAccepted : kRejected;
}

Outcome FuzzRig::RunRegistry(const QByteArray& file) {
    if (!WriteFile(m_fuzzEnv + u'/' + FolderRegistry::kFileName, file))
        return kRejected;
    FolderRegistry registry(*m_engine, m_files, Places());
    const OpResult loaded = registry.LoadFolderRegistry(m_fuzzEnv);
    bool opened = false;
    for (int slot = 0; slot < registry.Count(); ++slot) {
        const QString path = registry.PathText(slot);
        (void)registry.SlotOf(path);
        (void)registry.StoredForm(path);
        QString hint;
        (void)registry.GetFolderHint(path, hint);
        if (registry.VerifyFolderPassword(path, kFolderPassword) == Verdict::kYes)
            opened = true;
    }
    (void)registry.IsPasswordUsedByAnyFolder(kFolderPassword);
    return loaded == OpResult::kDone && opened ? kAccepted : kRejected;
}

Outcome FuzzRig::RunCommonData(const QByteArray& file) {
    if (!WriteFile(m_fuzzEnv + u'/' + CommonManagementData::kFileName, file))
        return kRejected;
    CommonManagementData data(*m_engine, m_files);
    const Verdict loaded = data.LoadManagementData(m_fuzzEnv, kAdminPassword, 1);
    int count = 0;
    QStringList names, passwords, hints;
    data.GetChangePasswords(count, names, passwords, hints);
    CommonManagementData lenient(*m_engine, m_files);
    (void)lenient.LoadManagementData(m_fuzzEnv, QStringLiteral(" "), 0);
    return loaded == Verdict::kYes ? kAccepted : kRejected;
}

Outcome FuzzRig::RunWorkFolder(const QByteArray& file) {
    if (!WriteFile(m_fuzzEnv + u'/' + WorkFolderSettings::kFileName, file))
        return kRejected;
    WorkFolderSettings settings(*m_engine, m_files, m_scratch + QStringLiteral("/standard"));
    const OpResult loaded = settings.LoadWorkFolderSettings(m_fuzzEnv);
    // What was read must survive its own save and a second load.
    if (loaded == OpResult::kDone && settings.SaveWorkFolderSettings(m_fuzzEnv) == OpResult::kDone) {
        WorkFolderSettings again(*m_engine, m_files, m_scratch + QStringLiteral("/standard"));
        if (again.LoadWorkFolderSettings(m_fuzzEnv) != OpResult::kDone)
            return kRejected;
    }
    return loaded == OpResult::kDone && settings.angoTempFolderFlg == QStringLiteral("1") ? kAccepted : kRejected;
}

Outcome FuzzRig::RunCatalogue(const QByteArray& file, bool catalogueB) {
    const QString path = m_scratch + QStringLiteral("/catalogue");
    if (!WriteFile(path, file))
        return kRejected;
    // A catalogue and engine of their own: the rig's texts must stay what the other readers rely on.
    CMessageCatalogue catalogue(m_ui);
    CCryptEngine engine(m_ui, *m_catalogue, m_files);
    if (!catalogueB) {
        if (catalogue.MsgAIN(engine, path) != OpResult::kDone)
            return kRejected;
        (void)catalogue.m_GetMsgA(1);
        return catalogue.m_GetMsgA(588).isEmpty() ? kRejected : kAccepted;
    }
    if (catalogue.MsgAIN(engine) != OpResult::kDone || catalogue.MsgBIN(engine, path) != OpResult::kDone)
        return kRejected;
    bool complete = true;
    for (int number : {1, 2, 4, 6, 7, 8})
        complete &= !catalogue.m_GetMsgB(number).isEmpty();
    return complete ? kAccepted : kRejected;
}

} // namespace korimbo::fuzz
