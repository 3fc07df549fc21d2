#include "util/DisplayText.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <limits>
#include <sys/stat.h>

using namespace korimbo;

namespace {

const QString kTimeFormat = QStringLiteral("yyyy年MM月dd日 hh:mm:ss");
constexpr qint64 kAccessTime = 981173106;  // 2001-02-03 04:05:06 UTC
constexpr qint64 kModifyTime = 1700000000; // 2023-11-14 22:13:20 UTC

} // namespace

class TestDisplayText : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_file;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("時刻.txt"));
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const timespec times[2] = {{kAccessTime, 0}, {kModifyTime, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_file).constData(), times, 0), 0);
    }

    void SizeTextUnits_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("-1") << qint64(-1) << QStringLiteral("0バイト");
        QTest::newRow("0") << qint64(0) << QStringLiteral("0バイト");
        QTest::newRow("5") << qint64(5) << QStringLiteral("5バイト");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("1024バイト");
        QTest::newRow("1025") << qint64(1025) << QStringLiteral("1.00KB");
        QTest::newRow("9.998 KB") << qint64(10238) << QStringLiteral("10.00KB");
        QTest::newRow("10240") << qint64(10240) << QStringLiteral("10.0KB");
        QTest::newRow("99.899 KB") << qint64(102297) << QStringLiteral("99.9KB");
        QTest::newRow("99.9609 KB") << qint64(102360) << QStringLiteral("100.0KB");
        QTest::newRow("100 KB") << qint64(102400) << QStringLiteral("100KB");
        QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("1024KB");
        QTest::newRow("1048577") << qint64(1048577) << QStringLiteral("1.00MB");
        QTest::newRow("99.96 MB") << qint64(104815657) << QStringLiteral("100.0MB");
        QTest::newRow("1073741824") << qint64(1073741824) << QStringLiteral("1024MB");
        QTest::newRow("1073741825") << qint64(1073741825) << QStringLiteral("1.00GB");
        QTest::newRow("max") << std::numeric_limits<qint64>::max() << QStringLiteral("8589934592GB");
    }
    void SizeTextUnits() {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(SizeText(bytes), expected);
    }

    void KilobyteColumnTextColumn_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("-5") << qint64(-5) << QStringLiteral("        0 KB");
        QTest::newRow("0") << qint64(0) << QStringLiteral("        0 KB");
        QTest::newRow("1") << qint64(1) << QStringLiteral("        1 KB");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("        1 KB");
        QTest::newRow("1025") << qint64(1025) << QStringLiteral("        2 KB");
        QTest::newRow("999 KB") << qint64(999 * 1024) << QStringLiteral("      999 KB");
        QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("    1,024 KB");
        QTest::newRow("1073741824") << qint64(1073741824) << QStringLiteral("1,048,576 KB");
        QTest::newRow("ten digits") << qint64(1234567890) * 1024 << QStringLiteral("1234,567,890 KB");
    }
    void KilobyteColumnTextColumn() {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(KilobyteColumnText(bytes), expected);
    }

    void GroupedNumberTextSeparators_data() {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << qint64(0) << QStringLiteral("0");
        QTest::newRow("999") << qint64(999) << QStringLiteral("999");
        QTest::newRow("1000") << qint64(1000) << QStringLiteral("1,000");
        QTest::newRow("1000000") << qint64(1000000) << QStringLiteral("1,000,000");
        QTest::newRow("1234567890") << qint64(1234567890) << QStringLiteral("1,234,567,890");
        QTest::newRow("-1234567890") << qint64(-1234567890) << QStringLiteral("-1,234,567,890");
        QTest::newRow("-100") << qint64(-100) << QStringLiteral("-100");
        QTest::newRow("-1000") << qint64(-1000) << QStringLiteral("-1,000");
        QTest::newRow("max") << std::numeric_limits<qint64>::max() << QStringLiteral("9223372036,854,775,807");
    }
    void GroupedNumberTextSeparators() {
        QFETCH(qint64, value);
        QFETCH(QString, expected);
        QCOMPARE(GroupedNumberText(value), expected);
    }

    void FileTimeTextLocalTime_data() {
        QTest::addColumn<int>("selector");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("modification") << 1 << kModifyTime;
        QTest::newRow("access") << 2 << kAccessTime;
    }
    void FileTimeTextLocalTime() {
        QFETCH(int, selector);
        QFETCH(qint64, seconds);
        QString text;
        QCOMPARE(FileTimeText(m_file, selector, text), 0);
        QCOMPARE(text, QDateTime::fromSecsSinceEpoch(seconds).toString(kTimeFormat));
    }

    void FileTimeTextCreationIsRecent() {
        // Birth time or, without one, the status change made by utimensat: either way just now.
        QString text;
        QCOMPARE(FileTimeText(m_file, 0, text), 0);
        const QDateTime created = QDateTime::fromString(text, kTimeFormat);
        QVERIFY2(created.isValid(), qPrintable(text));
        QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTime())) < 120);
    }

    void FileTimeTextFailures() {
        QString text = QStringLiteral("stale");
        QCOMPARE(FileTimeText(m_dir.filePath(QStringLiteral("missing")), 1, text), -1);
        QVERIFY(text.isEmpty());
        for (int selector : {-1, 3}) {
            text = QStringLiteral("stale");
            QCOMPARE(FileTimeText(m_file, selector, text), -1);
            QVERIFY(text.isEmpty());
        }
    }

    void UniqueNameTextFormat() {
        QString dashed;
        QString plain;
        QCOMPARE(UniqueNameText(true, dashed), 0);
        QCOMPARE(UniqueNameText(false, plain), 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}$")).match(dashed).hasMatch(),
                 qPrintable(dashed));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(plain).hasMatch(), qPrintable(plain));
        // A random identifier: version 4 in the third group, variant bits 10 in the first byte after the dash.
        QCOMPARE(dashed.at(12), u'4');
        QVERIFY(QStringLiteral("89AB").contains(dashed.at(17)));

        QString again;
        QCOMPARE(UniqueNameText(true, again), 0);
        QVERIFY(again != dashed);
    }
};

QTEST_GUILESS_MAIN(TestDisplayText)
#include "TestDisplayText.moc"
