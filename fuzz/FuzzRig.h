#pragma once

#include "crypto/CryptEngine.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace korimbo::fuzz {

// Every reader of bytes that come from outside the program, as one fuzz target each.
enum class Target { Container, NameFile, Settings, Registry, CommonData, WorkFolder, Catalogue };

struct TargetName {
    Target target;
    const char* name; // also the folder of its corpus: fuzz/corpus/<name>
};

inline constexpr TargetName kTargets[] = {
    {Target::Container, "container"},   {Target::NameFile, "namefile"},     {Target::Settings, "settings"},
    {Target::Registry, "registry"},     {Target::CommonData, "commondata"}, {Target::WorkFolder, "workfolder"},
    {Target::Catalogue, "catalogue"},
};

bool TargetByName(const QString& name, Target& target);

// The first byte of an input says how the rest becomes the file the reader sees. Raw: the rest is the
// file. Plain: the rest is the file's plaintext and the rig enciphers it the way our writers do, so that
// mutations reach the parsers behind the cipher instead of dying in it. Bit 1 picks catalogue B.
constexpr std::uint8_t kModePlain = 0x01;
constexpr std::uint8_t kModeCatalogueB = 0x02;

// The answer a reader gave to one input.
enum Outcome { kAccepted = 0, kRejected = 1 };

// Answers every question with its negative and shows nothing: readers run without anyone watching.
class SilentInteraction final : public Interaction {
public:
    int Message(const QString& text, Icon icon, Buttons buttons, int defaultButton, int number) override;
    void Pump() override {}
    void Sleep(int) override {}
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override {}
    int messages = 0;
};

// One process-wide set-up of the engine, the real catalogue, a registered folder with its key entered
// and an environment folder for the state files, all below one temporary folder. Run feeds one input to
// one reader and says whether the reader took it as valid; it must never crash, whatever the bytes.
class FuzzRig {
public:
    static inline const QString kFolderPassword = QStringLiteral("Fuzz#Pw1x");
    static inline const QString kAdminPassword = QStringLiteral("Admin#Pw2x");
    static inline const QString kWorkId = QStringLiteral("FZ");

    // `parent` empty: the system's temporary folder.
    explicit FuzzRig(const QString& parent = QString());
    ~FuzzRig();
    FuzzRig(const FuzzRig&) = delete;
    FuzzRig& operator=(const FuzzRig&) = delete;

    bool Ready() const { return m_ready; }
    Outcome Run(Target target, const std::uint8_t* data, std::size_t size);
    Outcome Run(Target target, const QByteArray& input) {
        return Run(target, reinterpret_cast<const std::uint8_t*>(input.constData()),
                   static_cast<std::size_t>(input.size()));
    }

    // The file a reader sees for an input (mode byte and payload), and back: the plain payload of a file
    // our writers made. The seed maker uses both.
    QByteArray FileBytes(Target target, const QByteArray& input);
    QByteArray PlainOf(Target target, const QByteArray& file, bool catalogueB = false);

    // What the seed maker writes with: the program's own writers on the rig's folders.
    CCryptEngine& Engine() { return *m_engine; }
    FileSystem& Files() { return m_files; }
    const QString& Root() const { return m_root; }          // the registered folder (also the key's name)
    const QString& Env() const { return m_fuzzEnv; }        // where the fuzzed state files are put
    const QString& Scratch() const { return m_scratch; }    // free room
    QString NameFileOfRoot();
    RegistryPlaces Places() const;
    QByteArray CatalogueBlob(bool catalogueB) const;
    QString CatalogueBPassword();

private:
    bool SetUp();
    static bool WriteFile(const QString& path, const QByteArray& bytes);
    QByteArray Sealed(const QByteArray& plain, const QString& key);
    QByteArray Unsealed(const QByteArray& file, const QString& key);
    QByteArray SealContainer(const QByteArray& plain);
    QByteArray UnsealContainer(const QByteArray& file);
    Outcome RunContainer(const QByteArray& file);
    Outcome RunNameFile(const QByteArray& file);
    Outcome RunSettings(const QByteArray& file);
    Outcome RunRegistry(const QByteArray& file);
    Outcome RunCommonData(const QByteArray& file);
    Outcome RunWorkFolder(const QByteArray& file);
    Outcome RunCatalogue(const QByteArray& file, bool catalogueB);

    QTemporaryDir m_dir;
    SilentInteraction m_ui;
    LocalFileSystem m_files;
    std::unique_ptr<CMessageCatalogue> m_catalogue;
    std::unique_ptr<CCryptEngine> m_engine;
    std::unique_ptr<FolderRegistry> m_registry;
    std::unique_ptr<WorkFolderSettings> m_workFolder;
    QString m_setupEnv;
    QString m_fuzzEnv;
    QString m_root;
    QString m_scratch;
    bool m_ready = false;
};

} // namespace korimbo::fuzz
