// Build-time encipherer of the message catalogues: turns the UTF-8 sources in res/catalogue into the
// blobs the program embeds (UTF-16LE, padded to 16, enciphered under the catalogue keys).
//
//   korimbo-catalogue-cipher SOURCE_A SOURCE_B OUTPUT_A OUTPUT_B
#include "crypto/CryptEngine.h"
#include "crypto/KeyMaterial.h"
#include "state/CatalogueText.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

using namespace korimbo;

namespace {

// The engine needs no catalogue texts to encipher a buffer.
class NoMessages final : public MessageSource {
public:
    QString MsgA(int number) override { return QStringLiteral("A%1").arg(number); }
    QString MsgB(int) override { return QString(); }
};

int ReadSource(const QString& path, QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return -1;
    }
    text = QString::fromUtf8(file.readAll());
    return 0;
}

int WriteBlob(CCryptEngine& engine, const QString& password, const QString& text, const QString& output) {
    QString keyName;
    if (engine.RegisterTempKey(password, QString(), keyName) != 0)
        return -1;
    QByteArray blob = CMessageCatalogue::ToBlob(text);
    if (engine.EncipherBuffer(reinterpret_cast<std::uint8_t*>(blob.data()), blob.size(), keyName) != 0)
        return -1;
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(blob) != blob.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: korimbo-catalogue-cipher SOURCE_A SOURCE_B OUTPUT_A OUTPUT_B\n");
        return 2;
    }
    QString textA;
    QString textB;
    if (ReadSource(args[1], textA) != 0 || ReadSource(args[2], textB) != 0)
        return 1;

    QStringList keys;
    QStringList texts;
    ParseCatalogueEntries(textA, QStringLiteral("ZorMSGa"), keys, texts);
    const QString passwordB = FindCatalogueText(keys, texts, CatalogueKey(QStringLiteral("ZorMSGa"), 588));
    if (passwordB.isEmpty() || !CCryptEngine::HasAllowedPasswordChars(passwordB) || passwordB.size() > 32) {
        std::fprintf(stderr, "catalogue A needs entry 588: a password of at most 32 allowed characters\n");
        return 1;
    }

    ConsoleInteraction ui;
    NoMessages messages;
    LocalFileSystem files;
    CCryptEngine engine(ui, messages, files);
    if (WriteBlob(engine, CataloguePassword(), textA, args[3]) != 0 ||
        WriteBlob(engine, passwordB, textB, args[4]) != 0)
        return 1;
    return 0;
}
