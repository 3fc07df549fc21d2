#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "crypto/CryptEngine.h"
#include "crypto/KeyMaterial.h"
#include "state/MessageCatalogue.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestMessageCatalogue : public QObject {
    Q_OBJECT

private:
    // Writes `text` as a catalogue blob enciphered under `password`, the way the build does.
    QString WriteBlob(const QString& name, const QString& text, const QString& password) {
        ScriptedInteraction ui;
        CMessageCatalogue none(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, none, files);
        QString key;
        if (engine.RegisterTempKey(password, QString(), key) != 0)
            return QString();
        QByteArray blob = CMessageCatalogue::ToBlob(text);
        if (engine.EncipherBuffer(reinterpret_cast<std::uint8_t*>(blob.data()), blob.size(), key) != 0)
            return QString();
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(blob) != blob.size())
            return QString();
        return path;
    }

    // The catalogue numbers the sources cite: the constants of util/MessageNumbers.h and literal lookups.
    static QSet<int> CitedNumbers(const QString& sources) {
        static const QRegularExpression constant(QStringLiteral("inline constexpr int k\\w+ = (\\d+);"));
        static const QRegularExpression lookup(QStringLiteral("\\b(?:m_Get)?MsgA\\(\\s*(\\d+)\\s*\\)"));
        QSet<int> numbers;
        QDirIterator it(sources, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (const QRegularExpression* pattern : {&lookup, &constant}) {
                if (pattern == &constant && !path.endsWith(QStringLiteral("util/MessageNumbers.h")))
                    continue;
                for (const QRegularExpressionMatch& match : pattern->globalMatch(text))
                    numbers.insert(match.captured(1).toInt());
            }
        }
        return numbers;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    // The embedded catalogues load and hold every text the engine depends on, in the lengths it uses.
    void embeddedCataloguesHoldTheFixedTexts() {
        ScriptedInteraction ui;
        CMessageCatalogue catalogue(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, catalogue, files);
        QCOMPARE(catalogue.MsgAIN(engine), OpResult::kDone);
        QCOMPARE(catalogue.MsgBIN(engine), OpResult::kDone);

        const QString passphrase = catalogue.m_GetMsgB(1);
        QVERIFY(!passphrase.isEmpty() && passphrase.size() <= 32);
        QVERIFY(CCryptEngine::HasAllowedPasswordChars(passphrase));
        QVERIFY(catalogue.m_GetMsgB(6).size() >= 12);
        QVERIFY(catalogue.m_GetMsgB(7).size() >= 16);
        QVERIFY(catalogue.m_GetMsgB(31).size() >= 128);
        QVERIFY(catalogue.m_GetMsgB(34).size() >= 128);
        QVERIFY(catalogue.m_GetMsgB(35).size() >= 8);
        for (int number : {2, 4, 8})
            QVERIFY2(!catalogue.m_GetMsgB(number).isEmpty(), qPrintable(QString::number(number)));
        QVERIFY(ui.Messages().isEmpty());
        QCOMPARE(engine.RegisterBuiltInKey(), 0);
    }

    void embeddedCatalogueAHoldsEveryEngineMessage() {
        ScriptedInteraction ui;
        CMessageCatalogue catalogue(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, catalogue, files);
        QCOMPARE(catalogue.MsgAIN(engine), OpResult::kDone);
        QList<int> numbers{154, 155, 310, 311, 409, 412, 451, 468, 469, 588, 592, 593, 621, 629};
        for (int n = 549; n <= 569; ++n)
            numbers.append(n);
        for (int n = 334; n <= 347; ++n)
            numbers.append(n);
        for (int n = 351; n <= 408; ++n)
            numbers.append(n);
        for (int n = 413; n <= 430; ++n)
            numbers.append(n);
        for (int n = 437; n <= 450; ++n)
            numbers.append(n);
        for (int n = 454; n <= 457; ++n)
            numbers.append(n);
        for (int number : numbers)
            QVERIFY2(!catalogue.m_GetMsgA(number).isEmpty(), qPrintable(QString::number(number)));
        QVERIFY(ui.Messages().isEmpty());
    }

    // Every number the program cites, by name in the one list or as a literal lookup anywhere in the sources,
    // has a text in the embedded catalogue, and that text is Japanese.
    void everyCitedNumberHasAJapaneseText() {
        const QSet<int> cited = CitedNumbers(QStringLiteral(KORIMBO_SOURCE_DIR "/src"));
        QVERIFY2(cited.size() > 300, qPrintable(QString::number(cited.size())));
        ScriptedInteraction ui;
        CMessageCatalogue catalogue(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, catalogue, files);
        QCOMPARE(catalogue.MsgAIN(engine), OpResult::kDone);
        static const QRegularExpression japanese(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"));
        QStringList missing;
        for (int number : cited) {
            if (!catalogue.m_GetMsgA(number).contains(japanese))
                missing.append(QString::number(number));
        }
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    }

    void entriesAreParsedAsWritten() {
        const QString text = QStringLiteral("ZorMSGa0001 = \"line one\\nline two\"\n"
                                            "junk between entries\n"
                                            "ZorMSGa0007 = \"first\"\n"
                                            "ZorMSGa0007 = \"second\"\n"
                                            "ZorMSGa0009 = \"\"\n"
                                            "ZorMSGa0010 = \"holds ZorMSGb0003 inside\"\n"
                                            "ZorMSGa0588 = \"B-key_123!\"\n");
        const QString path = WriteBlob(QStringLiteral("a.bin"), text, CataloguePassword());
        QVERIFY(!path.isEmpty());
        ScriptedInteraction ui;
        CMessageCatalogue catalogue(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, catalogue, files);
        QCOMPARE(catalogue.MsgAIN(engine, path), OpResult::kDone);

        QCOMPARE(catalogue.m_GetMsgA(1), QStringLiteral("line one\nline two"));
        QCOMPARE(catalogue.m_GetMsgA(7), QStringLiteral("second"));
        QCOMPARE(catalogue.m_GetMsgA(10), QStringLiteral("holds ZorMSGb0003 inside"));
        QVERIFY(ui.Messages().isEmpty());

        QCOMPARE(catalogue.m_GetMsgA(5), QString());
        QCOMPARE(catalogue.m_GetMsgA(9), QString());
        QCOMPARE(ui.Messages().size(), 2);
        QCOMPARE(ui.Messages()[0].text, QStringLiteral("m_GetMsgA NOT KEY ERROR: 0005"));
        QCOMPARE(ui.Messages()[1].text, QStringLiteral("m_GetMsgA NOT KEY ERROR: 0009"));
        QCOMPARE(ui.Messages()[0].icon, Icon::Error);

        // Catalogue B is keyed by A588 and sees only its own prefix.
        const QString pathB =
            WriteBlob(QStringLiteral("b.bin"),
                      QStringLiteral("ZorMSGb0003 = \"three\" ZorMSGa0004 = \"not here\" ZorMSGb0005 = \"五\\n行\""),
                      QStringLiteral("B-key_123!"));
        ui.Clear();
        QCOMPARE(catalogue.MsgBIN(engine, pathB), OpResult::kDone);
        QCOMPARE(catalogue.m_GetMsgB(3), QStringLiteral("three"));
        QCOMPARE(catalogue.m_GetMsgB(5), QStringLiteral("五\n行"));
        QCOMPARE(catalogue.m_GetMsgB(4), QString());
        QCOMPARE(ui.Messages().size(), 1);
        QCOMPARE(ui.Messages()[0].text, QStringLiteral("m_GetMsgB NOT KEY ERROR: 0004"));
    }

    void loadFailuresKeepTheirTexts() {
        ScriptedInteraction ui;
        CMessageCatalogue catalogue(ui);
        LocalFileSystem files;
        CCryptEngine engine(ui, catalogue, files);

        QCOMPARE(catalogue.m_GetMsgB(1), QString());
        QCOMPARE(ui.Messages().last().text, QStringLiteral("m_GetMsgB NOT ERROR"));

        QCOMPARE(catalogue.MsgAIN(engine, m_dir.filePath(QStringLiteral("missing"))), OpResult::kFailed);
        QCOMPARE(ui.Messages().last().text, QStringLiteral("MsgAIN NOT ERROR2"));

        QFile odd(m_dir.filePath(QStringLiteral("odd.bin")));
        QVERIFY(odd.open(QIODevice::WriteOnly));
        odd.write(QByteArray(100, 'x'));
        odd.close();
        QCOMPARE(catalogue.MsgAIN(engine, odd.fileName()), OpResult::kFailed);
        QCOMPARE(ui.Messages().last().text, QStringLiteral("MsgAIN NOT ERROR2"));

        // A catalogue A without entry 588 cannot key catalogue B.
        const QString path =
            WriteBlob(QStringLiteral("no588.bin"), QStringLiteral("ZorMSGa0001 = \"x\""), CataloguePassword());
        QCOMPARE(catalogue.MsgAIN(engine, path), OpResult::kDone);
        QCOMPARE(catalogue.MsgBIN(engine), OpResult::kFailed);
        QCOMPARE(ui.Messages().last().text, QStringLiteral("MsgBIN NOT ERROR1"));

        QCOMPARE(catalogue.MsgAIN(engine), OpResult::kDone);
        QCOMPARE(catalogue.MsgBIN(engine, m_dir.filePath(QStringLiteral("missing"))), OpResult::kFailed);
        QCOMPARE(ui.Messages().last().text, QStringLiteral("MsgBIN NOT ERROR2"));
        for (const auto& record : ui.Messages())
            QCOMPARE(record.icon, Icon::Error);
    }
};

QTEST_GUILESS_MAIN(TestMessageCatalogue)
#include "TestMessageCatalogue.moc"
