#include "util/FileNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace korimbo;

// Names on disk that are not UTF-8 text, made with the POSIX calls as an old archive would leave them.
class TestFileNames : public QObject {
    Q_OBJECT

private:
    static bool MakeFile(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, "data", 4) == 4;
        ::close(fd);
        return written;
    }

    // The raw names in a folder, as the directory holds them.
    static QList<QByteArray> RawNames(const QByteArray& folder) {
        QList<QByteArray> names;
        DIR* dir = ::opendir(folder.constData());
        if (!dir)
            return names;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

private Q_SLOTS:
    // Bytes that are not UTF-8 come back from their text form exactly and are shown as "%XX".
    void NativeNamesSurviveTheirTextForm_data() {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("\xe8\xa1\xa8.txt") << QStringLiteral("表.txt");
        QTest::newRow("latin-1") << QByteArray("caf\xe9.txt") << QStringLiteral("caf%E9.txt");
        QTest::newRow("shift-jis") << QByteArray("\x95\x5c\x8e\xa6") << QStringLiteral("%95\\%8E%A6");
        QTest::newRow("cut sequence") << QByteArray("a\xe3\x81") << QStringLiteral("a%E3%81");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QStringLiteral("%ED%A0%80");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QStringLiteral("%C0%AF");
    }
    void NativeNamesSurviveTheirTextForm() {
        QFETCH(QByteArray, native);
        QFETCH(QString, shown);
        QCOMPARE(NativePath(PathFromNative(native)), native);
        QCOMPARE(ShownName(PathFromNative(native)), shown);
    }

    // A name stored inside a file becomes a file name only where it cannot lead out of its folder.
    void StoredNamesStayInTheirFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("used");
        QTest::newRow("plain") << QStringLiteral("報告.txt") << QStringLiteral("報告.txt");
        QTest::newRow("dot file") << QStringLiteral(".profile") << QStringLiteral(".profile");
        QTest::newRow("empty") << QString() << QStringLiteral("disk");
        QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("disk");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("disk");
        QTest::newRow("slash") << QStringLiteral("../../.bashrc") << QStringLiteral("disk");
        QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QStringLiteral("disk");
    }
    void StoredNamesStayInTheirFolder() {
        QFETCH(QString, name);
        QFETCH(QString, used);
        QCOMPARE(UsableFileName(name, QStringLiteral("disk")), used);
    }

    void Latin1NameIsNotRepresentable() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray latin1("caf\xe9.txt");   // "café" in Latin-1
        const QByteArray utf8("caf\xc3\xa9.txt"); // "café" in UTF-8
        QVERIFY(MakeFile(folder + '/' + latin1));
        QVERIFY(MakeFile(folder + '/' + utf8));

        const QList<QByteArray> names = RawNames(folder);
        QCOMPARE(names, (QList<QByteArray>{utf8, latin1})); // byte order: 0xC3 before 0xE9
        QVERIFY(!IsRepresentableName(latin1));
        QVERIFY(IsRepresentableName(utf8));
        QVERIFY(!IsRepresentableName(folder + '/' + latin1));
        QVERIFY(IsRepresentableName(QByteArray("plain-ascii")));

        // Held as text (a drop, a paste, a command line), the Latin-1 name no longer names its file.
        const QString latinPath = QFile::decodeName(folder + '/' + latin1);
        const QString utf8Path = QFile::decodeName(folder + '/' + utf8);
        QVERIFY(!IsRepresentablePath(latinPath));
        QVERIFY(!QFile::exists(latinPath));
        QVERIFY(IsRepresentablePath(utf8Path));
        QVERIFY(QFile::exists(utf8Path));
        QVERIFY(IsRepresentablePath(dir.filePath(QStringLiteral("café.txt"))));
        QVERIFY(IsRepresentablePath(QStringLiteral("/tmp/日本語のファイル.txt")));
        QVERIFY(!IsRepresentablePath(QStringLiteral("/tmp/x") + QChar(0xD800))); // a lone surrogate
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "TestFileNames.moc"
