#include "ScriptedInteraction.h"
#include "crypto/ContainerHeader.h"
#include "crypto/CryptEngine.h"
#include "state/MessageCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// korimbo-cli run as a user runs it, on real files.
class TestCli : public QObject {
    Q_OBJECT

private:
    struct Result {
        int exit;
        QString out;
        QString err;
    };

    // `launcher`: started as `sh LAUNCHER ARGS...` instead of the program itself.
    Result Run(const QStringList& args, const QString& password = QString(), const QByteArray& input = {},
               const QString& launcher = QString()) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("KORIMBO_PASSWORD"));
        if (!password.isNull())
            env.insert(QStringLiteral("KORIMBO_PASSWORD"), password);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        if (launcher.isEmpty())
            process.start(QStringLiteral(KORIMBO_CLI_PATH), args);
        else
            process.start(QStringLiteral("sh"), QStringList{launcher} + args);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            return {-100, {}, {}};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    void Write(const QString& name, const QByteArray& data) {
        // Containers are read-only; writing over one is what a user who damages it does first.
        if (QFile::exists(Path(name)))
            QFile::setPermissions(Path(name), QFile::permissions(Path(name)) | QFile::WriteOwner);
        QFile file(Path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(data), data.size());
    }

    QByteArray Read(const QString& name) {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    const QString m_password = QStringLiteral("Tiger#Lily42");

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void roundTripThroughEveryPasswordSource() {
        QByteArray data;
        for (int i = 0; i < 200000; ++i)
            data.append(QByteArray::number(i * 7919 % 100003)).append(i % 10 ? ',' : '\n');
        Write(QStringLiteral("表.csv"), data);
        Write(QStringLiteral("pw.txt"), m_password.toUtf8() + "\n");

        Result r = Run({QStringLiteral("encrypt"), QStringLiteral("--hint"), QStringLiteral("花の名前"),
                        QStringLiteral("表.csv"), QStringLiteral("c.zorf")},
                       m_password);
        QCOMPARE(r.exit, 0);

        r = Run({QStringLiteral("decrypt"), QStringLiteral("--password-file"), QStringLiteral("pw.txt"),
                 QStringLiteral("c.zorf"), QStringLiteral("back.csv")});
        QCOMPARE(r.exit, 0);
        QCOMPARE(Read(QStringLiteral("back.csv")), data);
        QCOMPARE(QFileInfo(Path(QStringLiteral("back.csv"))).lastModified().toSecsSinceEpoch(),
                 QFileInfo(Path(QStringLiteral("表.csv"))).lastModified().toSecsSinceEpoch());

        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("out")));
        r = Run({QStringLiteral("decrypt"), QStringLiteral("--password-stdin"), QStringLiteral("c.zorf"),
                 QStringLiteral("out")},
                QString(), m_password.toUtf8() + "\n");
        QCOMPARE(r.exit, 0);
        QCOMPARE(Read(QStringLiteral("out/表.csv")), data);

        r = Run({QStringLiteral("info"), QStringLiteral("c.zorf")});
        QCOMPARE(r.exit, 0);
        QVERIFY(r.out.contains(QStringLiteral("signature: ok")));
        QVERIFY(r.out.contains(QStringLiteral("hint: 花の名前")));
        QVERIFY(r.out.contains(QStringLiteral("plain size: %1").arg(data.size())));
        QVERIFY(!r.out.contains(QStringLiteral("name:")));

        r = Run({QStringLiteral("info"), QStringLiteral("c.zorf")}, m_password);
        QVERIFY(r.out.contains(QStringLiteral("name: 表.csv")));

        r = Run({QStringLiteral("verify"), QStringLiteral("c.zorf")}, m_password);
        QCOMPARE(r.exit, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("OK")));
    }

    void encryptIntoAFolderNamesTheContainer() {
        Write(QStringLiteral("note.txt"), "hello");
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("vault")));
        const Result r =
            Run({QStringLiteral("encrypt"), QStringLiteral("note.txt"), QStringLiteral("vault")}, m_password);
        QCOMPARE(r.exit, 0);
        const QString made = r.out.trimmed();
        QVERIFY(QRegularExpression(QStringLiteral("/[0-9A-F]{16}-[0-9A-F]{16}\\.zorf$")).match(made).hasMatch());
        QVERIFY(QFile::exists(made));
    }

    // A run killed in the middle leaves its temporary file beside the target: the next run into that
    // folder takes such files away, but not one a running writer still holds, nor a user's own file.
    void nextRunRemovesLeftoversNotHeldOpen() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("left")));
        Write(QStringLiteral("left.txt"), "kept safe");
        const QString target = Path(QStringLiteral("left/doc.zorf"));
        const QString sealed = korimbo::CCryptEngine::TempPathBeside(target, korimbo::TempKind::Sealed);
        const QString plain = korimbo::CCryptEngine::TempPathBeside(target, korimbo::TempKind::Plain);
        const QString held = korimbo::CCryptEngine::TempPathBeside(target, korimbo::TempKind::Sealed);
        const QString users = Path(QStringLiteral("left/.korimbo-notes.part"));
        for (const QString& path : {sealed, plain, held, users}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        }
        QFile holder(held);
        QVERIFY(holder.open(QIODevice::ReadOnly));

        QCOMPARE(Run({QStringLiteral("encrypt"), QStringLiteral("left.txt"), target}, m_password).exit, 0);
        QVERIFY(!QFile::exists(sealed) && !QFile::exists(plain));
        QVERIFY(QFile::exists(held) && QFile::exists(users));

        holder.close();
        QCOMPARE(Run({QStringLiteral("decrypt"), target, Path(QStringLiteral("left/doc.txt"))}, m_password).exit, 0);
        QVERIFY(!QFile::exists(held) && QFile::exists(users));
        QCOMPARE(Read(QStringLiteral("left/doc.txt")), QByteArray("kept safe"));
    }

    void wrongPasswordExitsWithThreeAndWritesNothing() {
        Write(QStringLiteral("w.txt"), "secret");
        QCOMPARE(Run({QStringLiteral("encrypt"), QStringLiteral("w.txt"), QStringLiteral("w.zorf")}, m_password).exit,
                 0);
        Result r = Run({QStringLiteral("decrypt"), QStringLiteral("w.zorf"), QStringLiteral("w.out")},
                       QStringLiteral("Wrong#Pass1"));
        QCOMPARE(r.exit, 3);
        QVERIFY(!QFile::exists(Path(QStringLiteral("w.out"))));
        QVERIFY(r.err.contains(QStringLiteral(" 」です。")));
        r = Run({QStringLiteral("verify"), QStringLiteral("w.zorf")}, QStringLiteral("Wrong#Pass1"));
        QCOMPARE(r.exit, 3);
    }

    // A container of a newer format version: its check text is not known here, so the right password
    // must not be called wrong.
    void newerFormatVersionLeavesThePasswordUnjudged() {
        Write(QStringLiteral("n.txt"), "from a later version");
        QCOMPARE(Run({QStringLiteral("encrypt"), QStringLiteral("n.txt"), QStringLiteral("n.zorf")}, m_password).exit,
                 0);
        korimbo::ScriptedInteraction ui;
        korimbo::CMessageCatalogue catalogue(ui);
        korimbo::LocalFileSystem files;
        korimbo::CCryptEngine engine(ui, catalogue, files);
        QCOMPARE(catalogue.MsgAIN(engine), korimbo::OpResult::kDone);
        QCOMPARE(catalogue.MsgBIN(engine), korimbo::OpResult::kDone);
        QCOMPARE(engine.RegisterBuiltInKey(), 0);
        QByteArray container = Read(QStringLiteral("n.zorf"));
        QByteArray header = container.left(korimbo::ContainerHeader::kSize);
        auto* bytes = reinterpret_cast<std::uint8_t*>(header.data());
        QCOMPARE(engine.DecipherWithBuiltInKey(bytes, header.size()), 0);
        QCOMPARE(header.mid(korimbo::ContainerHeader::kVersionOffset, 6), QByteArray("0\0000\0001\000", 6));
        header[korimbo::ContainerHeader::kVersionOffset + 4] = '2';
        QCOMPARE(engine.EncipherWithBuiltInKey(bytes, header.size()), 0);
        Write(QStringLiteral("n.zorf"), header + container.mid(header.size()));

        const Result r = Run({QStringLiteral("info"), QStringLiteral("n.zorf")}, m_password);
        QCOMPARE(r.exit, 1);
        QVERIFY2(r.out.contains(QStringLiteral("signature: newer format version")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("version: 002")));
        QVERIFY2(!r.out.contains(QStringLiteral("password: wrong")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("password: not checked (newer format version)")));
    }

    // A name in Latin-1 bytes, as an old archive leaves it, is refused as such and not as missing.
    void nameThatIsNotTextIsRefused() {
        {
            QProcess make;
            make.start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("printf data > \"$1\"$(printf '\\351').txt"),
                        QStringLiteral("sh"), m_dir.filePath(QStringLiteral("old-caf"))});
            QVERIFY(make.waitForFinished(30000));
            QCOMPARE(make.exitCode(), 0);
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORIMBO_PASSWORD"), m_password);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("exec \"$1\" encrypt \"$2\"$(printf '\\351').txt latin.zorf"),
                       QStringLiteral("sh"), QStringLiteral(KORIMBO_CLI_PATH), QStringLiteral("old-caf")});
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("文字として読めないバイト")), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("No such file")), qPrintable(err));
        QVERIFY(!QFile::exists(Path(QStringLiteral("latin.zorf"))));
    }

    void damagedContainerFailsVerification() {
        QByteArray data(300000, 'z');
        Write(QStringLiteral("d.txt"), data);
        QCOMPARE(Run({QStringLiteral("encrypt"), QStringLiteral("d.txt"), QStringLiteral("d.zorf")}, m_password).exit,
                 0);
        QByteArray container = Read(QStringLiteral("d.zorf"));
        container[container.size() - 40] = static_cast<char>(container[container.size() - 40] ^ 0x01);
        Write(QStringLiteral("d.zorf"), container);
        Result r = Run({QStringLiteral("verify"), QStringLiteral("d.zorf")}, m_password);
        QCOMPARE(r.exit, 1);
        QVERIFY(r.out.startsWith(QStringLiteral("NG")));
        r = Run({QStringLiteral("decrypt"), QStringLiteral("d.zorf"), QStringLiteral("d.out")}, m_password);
        QCOMPARE(r.exit, 1);
        QVERIFY(!QFile::exists(Path(QStringLiteral("d.out"))));
    }

    // scan: 0 while every container is whole (another password's is listed apart), 1 once one is damaged, 3
    // when the password opens none of them.
    void scanExitCodesTellWholeDamagedAndWrongPassword() {
        QVERIFY(QDir().mkpath(Path(QStringLiteral("scanbox/sub"))));
        QByteArray bytes(20000, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 2654435761U) >> 13);
        Write(QStringLiteral("b.txt"), bytes);
        for (const QString& to : {QStringLiteral("a"), QStringLiteral("sub/b"), QStringLiteral("o")})
            QVERIFY(Run({QStringLiteral("encrypt"), QStringLiteral("b.txt"), QStringLiteral("scanbox/%1.zorf").arg(to)},
                        to == u'o' ? QStringLiteral("Other#Word77") : m_password)
                        .exit == 0);
        const QStringList scan{QStringLiteral("scan"), QStringLiteral("scanbox")};
        Result r = Run(scan, m_password);
        QCOMPARE(r.exit, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("other-password\t%1\t\t").arg(Path(QStringLiteral("scanbox/o.zorf")))));
        QVERIFY(r.out.endsWith(
            QStringLiteral("\nsummary\t3 files, 3 containers, 0 damaged, 0 unreadable, 1 other password\n")));

        QByteArray container = Read(QStringLiteral("scanbox/sub/b.zorf"));
        container[container.size() / 2] = static_cast<char>(container[container.size() / 2] ^ 0x04);
        Write(QStringLiteral("scanbox/sub/b.zorf"), container);
        r = Run(scan, m_password);
        QCOMPARE(r.exit, 1);
        QVERIFY(r.out.contains(QStringLiteral("\ndamaged\t%1\tb.txt\tデータの中身が壊れています（ビットの誤り）。\n")
                                   .arg(Path(QStringLiteral("scanbox/sub/b.zorf")))));
        r = Run(scan, QStringLiteral("Wrong#Pass99"));
        QCOMPARE(r.exit, 3);
        QVERIFY(r.out.endsWith(QStringLiteral("3 other password\n")));
    }

    // A stick mounted without execute rights: korimbo-cli.sh starts the program through the dynamic loader.
    void startsThroughTheLauncherWithoutExecuteRights() {
        const QString launcher = Path(QStringLiteral("stick/korimbo-cli.sh"));
        QVERIFY(QDir().mkpath(Path(QStringLiteral("stick"))));
        QVERIFY(QFile::copy(QStringLiteral(KORIMBO_LAUNCHER_PATH), launcher));
        QVERIFY(QFile::copy(QStringLiteral(KORIMBO_CLI_PATH), Path(QStringLiteral("stick/korimbo-cli"))));
        QVERIFY(QFile::setPermissions(Path(QStringLiteral("stick/korimbo-cli")), QFile::ReadOwner | QFile::WriteOwner));
        Write(QStringLiteral("stick.txt"), "carried on a stick");
        const Result r = Run({QStringLiteral("encrypt"), QStringLiteral("stick.txt"), QStringLiteral("stick.zorf")},
                             m_password, {}, launcher);
        QVERIFY2(r.exit == 0 && QFileInfo::exists(Path(QStringLiteral("stick.zorf"))), qPrintable(r.err));
    }

    // The launcher hands the program a fontconfig file with the bundled Japanese font when the folder has
    // one, and a starter for the programs GIO launches that exists on this machine (the bundled GIO looks
    // for its own only where Debian keeps it). /usr/bin/env stands in for the program: it shows both.
    void launcherGivesFontsAndAProgramStarter() {
        const QString launcher = Path(QStringLiteral("envstick/korimbo-cli.sh"));
        QVERIFY(QDir().mkpath(Path(QStringLiteral("envstick/fonts"))));
        QVERIFY(QFile::copy(QStringLiteral(KORIMBO_LAUNCHER_PATH), launcher));
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/env"), Path(QStringLiteral("envstick/korimbo-cli"))));
        QVERIFY(QFile::setPermissions(Path(QStringLiteral("envstick/korimbo-cli")), QFile::ReadOwner));
        Write(QStringLiteral("envstick/fonts/fonts.conf"), "<fontconfig/>");
        qunsetenv("FONTCONFIG_FILE");
        qunsetenv("GIO_LAUNCH_DESKTOP");
        const Result r = Run({}, QString(), {}, launcher);
        QCOMPARE(r.exit, 0);
        const QStringList lines = r.out.split(u'\n');
        const QString fonts = QFileInfo(Path(QStringLiteral("envstick/fonts/fonts.conf"))).canonicalFilePath();
        QVERIFY2(lines.contains(QStringLiteral("FONTCONFIG_FILE=") + fonts), qPrintable(r.out));
        const QStringList starter = lines.filter(QRegularExpression(QStringLiteral("^GIO_LAUNCH_DESKTOP=/")));
        QCOMPARE(starter.size(), 1);
        QVERIFY(QFileInfo(starter[0].section(u'=', 1)).isExecutable());
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("shred"), QStringLiteral("x")};
        QTest::newRow("password on the command line") << QStringList{
            QStringLiteral("decrypt"), QStringLiteral("--password=abc"), QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("missing destination") << QStringList{QStringLiteral("encrypt"), QStringLiteral("a")};
        QTest::newRow("scan without a folder") << QStringList{QStringLiteral("scan")};
        QTest::newRow("find without a pattern") << QStringList{QStringLiteral("find"), QStringLiteral("a")};
        QTest::newRow("hint too long") << QStringList{QStringLiteral("encrypt"), QStringLiteral("--hint"),
                                                      QString(49, u'x'), QStringLiteral("a"), QStringLiteral("b")};
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QCOMPARE(Run(args, m_password).exit, 2);
    }

    void refusesPasswordsTheProgramCannotUse() {
        Write(QStringLiteral("p.txt"), "x");
        QCOMPARE(Run({QStringLiteral("encrypt"), QStringLiteral("p.txt"), QStringLiteral("p.zorf")},
                     QStringLiteral("with space"))
                     .exit,
                 2);
        QVERIFY(!QFile::exists(Path(QStringLiteral("p.zorf"))));
    }

    void helpDocumentsEveryCommand() {
        const Result r = Run({QStringLiteral("--help")});
        QCOMPARE(r.exit, 0);
        for (const char* word : {"info", "encrypt", "decrypt", "verify", "scan", "find", "--password-file",
                                 "--password-stdin", "KORIMBO_PASSWORD", "--hint"})
            QVERIFY2(r.out.contains(QString::fromLatin1(word)), word);
    }

    // find: the stored paths (folder names and the plain names in the headers) whose names hold the
    // pattern, folded as the window folds them; 0 found, 1 none, 3 no container opens with the password.
    void findPrintsStoredPathsOfMatches() {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("findbox/資料/深い")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("findbox/.hidden")));
        for (const auto& [plain, folder] :
             {std::pair{"ガイド.pdf", "/資料"}, std::pair{"REPORT.txt", ""}, std::pair{"データ.csv", "/資料/深い"}}) {
            Write(QString::fromUtf8(plain), "x");
            const QString to = QStringLiteral("findbox") + QString::fromUtf8(folder);
            QVERIFY(Run({QStringLiteral("encrypt"), QString::fromUtf8(plain), to}, m_password).exit == 0);
        }
        Write(QStringLiteral("findbox/資料/memo-report.txt"), "plain");
        Write(QStringLiteral("findbox/.hidden/report-hidden.txt"), "hidden");
        const QList<std::tuple<QString, QString, QString, int>> cases{
            {QStringLiteral("ｶﾞｲﾄﾞ"), m_password, QStringLiteral("資料/ガイド.pdf\n"), 0},
            {QStringLiteral("report"), m_password, QStringLiteral("REPORT.txt\n資料/memo-report.txt\n"), 0},
            {QStringLiteral("深"), m_password, QStringLiteral("資料/深い\n"), 0},
            {QStringLiteral("でーた"), m_password, QStringLiteral("資料/深い/データ.csv\n"), 0},
            {QStringLiteral("xyz"), m_password, QString(), 1},
            {QStringLiteral("ガイド"), QStringLiteral("Wrong#Pass1"), QString(), 3}};
        for (const auto& [pattern, password, out, exit] : cases) {
            const Result r = Run({QStringLiteral("find"), Path(QStringLiteral("findbox")), pattern}, password);
            QCOMPARE(r.out, out);
            QCOMPARE(r.exit, exit);
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"
