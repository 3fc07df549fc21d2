#include "platform/ClipboardFiles.h"

#include <QMimeData>
#include <QTest>

#include <memory>

using namespace korimbo;

namespace {

std::unique_ptr<QMimeData> DataWith(const QList<QPair<QString, QByteArray>>& formats) {
    auto data = std::make_unique<QMimeData>();
    for (const auto& [format, bytes] : formats)
        data->setData(format, bytes);
    return data;
}

} // namespace

class TestClipboardFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A cut from each of the three formats a file manager offers, with CR LF line ends and a percent-encoded
    // non-ASCII name; every format gives the same files and the cut.
    void ReadsCutFromEachFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("kdeCut");
        const QByteArray uris = "file:///tmp/a%20b.txt\r\nfile:///tmp/%E6%97%A5%E6%9C%AC.doc";
        QTest::newRow("gnome") << QStringLiteral("x-special/gnome-copied-files") << QByteArray("cut\r\n" + uris)
                               << QByteArray();
        QTest::newRow("mate") << QStringLiteral("x-special/mate-copied-files") << QByteArray("cut\n" + uris + "\n")
                              << QByteArray();
        QTest::newRow("uri-list+kde") << QStringLiteral("text/uri-list") << QByteArray(uris + "\r\n")
                                      << QByteArray("1");
    }
    void ReadsCutFromEachFormat() {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, kdeCut);
        auto data = DataWith({{format, bytes}});
        if (!kdeCut.isEmpty())
            data->setData(QStringLiteral("application/x-kde-cutselection"), kdeCut);
        ClipboardFiles files;
        QVERIFY(ReadClipboardFiles(data.get(), files));
        QCOMPARE(files.paths, QStringList({QStringLiteral("/tmp/a b.txt"), QStringLiteral("/tmp/日本.doc")}));
        QVERIFY(files.cut);
    }

    // A copy stays a copy; the gnome format wins over a uri-list that says something else; a uri-list
    // without the KDE flag (or with "0") is a copy; non-local URLs and comments are left out; data with
    // no local file at all is refused.
    void CopiesOrderAndForeignUrls() {
        ClipboardFiles files;
        auto gnome =
            DataWith({{QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///x/one\nsmb://host/s/two"},
                      {QStringLiteral("text/uri-list"), "file:///x/other\r\n"},
                      {QStringLiteral("application/x-kde-cutselection"), "1"}});
        QVERIFY(ReadClipboardFiles(gnome.get(), files));
        QCOMPARE(files.paths, QStringList{QStringLiteral("/x/one")});
        QVERIFY(!files.cut);

        auto list = DataWith(
            {{QStringLiteral("text/uri-list"), "# comment\r\nhttp://example.org/f\r\nfile:///x/b\r\nfile:///x/a\r\n"},
             {QStringLiteral("application/x-kde-cutselection"), "0"}});
        QVERIFY(ReadClipboardFiles(list.get(), files));
        QCOMPARE(files.paths, QStringList({QStringLiteral("/x/b"), QStringLiteral("/x/a")}));
        QVERIFY(!files.cut);

        auto remote = DataWith({{QStringLiteral("text/uri-list"), "sftp://host/f\r\n"}});
        QVERIFY(!ReadClipboardFiles(remote.get(), files));
        QVERIFY(files.paths.isEmpty());
        auto text = DataWith({{QStringLiteral("text/plain"), "/x/a"}});
        QVERIFY(!ReadClipboardFiles(text.get(), files));
        QVERIFY(!ReadClipboardFiles(nullptr, files));
    }

    // What we put on the clipboard reads back the same, and the gnome list has no final newline.
    void MadeDataReadsBack() {
        const QStringList paths = {QStringLiteral("/tmp/a b.txt"), QStringLiteral("/tmp/日本#1.doc")};
        for (const bool cut : {false, true}) {
            std::unique_ptr<QMimeData> data(MakeClipboardFiles(paths, cut));
            const QByteArray gnome = data->data(QStringLiteral("x-special/gnome-copied-files"));
            QVERIFY(gnome.startsWith(cut ? "cut\nfile:///tmp/a%20b.txt\n" : "copy\nfile:///tmp/a%20b.txt\n"));
            QVERIFY(!gnome.endsWith('\n'));
            QCOMPARE(data->data(QStringLiteral("application/x-kde-cutselection")),
                     cut ? QByteArray("1") : QByteArray("0"));
            QCOMPARE(data->text(), paths.join(u'\n'));
            ClipboardFiles files;
            QVERIFY(ReadClipboardFiles(data.get(), files));
            QCOMPARE(files.paths, paths);
            QCOMPARE(files.cut, cut);
            // The uri-list alone (as a KDE program reads it) tells the same.
            auto kde = DataWith({{QStringLiteral("text/uri-list"), data->data(QStringLiteral("text/uri-list"))},
                                 {QStringLiteral("application/x-kde-cutselection"),
                                  data->data(QStringLiteral("application/x-kde-cutselection"))}});
            QVERIFY(ReadClipboardFiles(kde.get(), files));
            QCOMPARE(files.paths, paths);
            QCOMPARE(files.cut, cut);
        }
    }
};

QTEST_GUILESS_MAIN(TestClipboardFiles)
#include "TestClipboardFiles.moc"
