#include "util/ErrorText.h"

#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace korimbo;

class TestErrorText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void ErrnoTextByNumber_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("expected");
        QTest::newRow("EPERM") << EPERM << QStringLiteral("エラー詳細（ErrNo=1）：Operation not permitted");
        QTest::newRow("EACCES") << EACCES << QStringLiteral("エラー詳細（ErrNo=13）：Permission denied");
        QTest::newRow("EAGAIN") << EAGAIN
                                << QStringLiteral("エラー詳細（ErrNo=11）：No more processes or not enough memory or "
                                                  "maximum nesting level reached");
        QTest::newRow("EDEADLK") << EDEADLK << QStringLiteral("エラー詳細（ErrNo=35）：Resource deadlock would occur");
        QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << QStringLiteral("エラー詳細（ErrNo=36）：Filename too long");
        QTest::newRow("EILSEQ") << EILSEQ << QStringLiteral("エラー詳細（ErrNo=84）：Illegal byte sequence");
        QTest::newRow("zero") << 0 << QStringLiteral("エラー詳細（ErrNo=0）：エラー内容不明");
        QTest::newRow("ENOTBLK") << ENOTBLK << QStringLiteral("エラー詳細（ErrNo=15）：エラー内容不明");
        QTest::newRow("9999") << 9999 << QStringLiteral("エラー詳細（ErrNo=9999）：エラー内容不明");
    }
    void ErrnoTextByNumber() {
        QFETCH(int, number);
        QFETCH(QString, expected);
        QCOMPARE(ErrnoText(number), expected);
    }

    void FileErrorTextByCause_data() {
        QTest::addColumn<int>("cause");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << 0 << QStringLiteral("エラー詳細：エラーなし");
        QTest::newRow("sharing") << 11 << QStringLiteral("エラー詳細：SHARE.EXE 未ロードまたは共有領域ロック済み");
        QTest::newRow("disk full") << 13 << QStringLiteral("エラー詳細：ディスク フル");
        QTest::newRow("end of file") << 14 << QStringLiteral("エラー詳細：ファイルの終わりに到達");
        QTest::newRow("15") << 15 << QStringLiteral("エラー内容不明");
        QTest::newRow("-1") << -1 << QStringLiteral("エラー内容不明");
    }
    void FileErrorTextByCause() {
        QFETCH(int, cause);
        QFETCH(QString, expected);
        QCOMPARE(FileErrorText(cause), expected);
    }

    void FileErrorCauseByErrno_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("cause");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("ENOENT") << ENOENT << 2;
        QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << 3;
        QTest::newRow("EMFILE") << EMFILE << 4;
        QTest::newRow("EACCES") << EACCES << 5;
        QTest::newRow("EPERM") << EPERM << 5;
        QTest::newRow("EBADF") << EBADF << 6;
        QTest::newRow("EMLINK") << EMLINK << 8;
        QTest::newRow("ESPIPE") << ESPIPE << 9;
        QTest::newRow("EIO") << EIO << 10;
        QTest::newRow("EBUSY") << EBUSY << 11;
        QTest::newRow("ENOLCK") << ENOLCK << 12;
        QTest::newRow("ENOSPC") << ENOSPC << 13;
        QTest::newRow("EDQUOT") << EDQUOT << 13;
        QTest::newRow("ECONNREFUSED") << ECONNREFUSED << 1;
        QTest::newRow("9999") << 9999 << 1;
    }
    void FileErrorCauseByErrno() {
        QFETCH(int, number);
        QFETCH(int, cause);
        QCOMPARE(FileErrorCause(number), cause);
    }

    void SystemErrorTextIsTheSystemsOwn() {
        const QString notFound = SystemErrorText(ENOENT);
        QCOMPARE(notFound, QString::fromLocal8Bit(std::strerror(ENOENT)));
        QVERIFY(notFound != SystemErrorText(EACCES));
        for (int code : {0, ENOENT, 9999, -5}) {
            const QString text = SystemErrorText(code);
            QVERIFY2(!text.isEmpty(), qPrintable(QString::number(code)));
            QVERIFY(text.size() <= 999);
        }
    }
};

QTEST_GUILESS_MAIN(TestErrorText)
#include "TestErrorText.moc"
