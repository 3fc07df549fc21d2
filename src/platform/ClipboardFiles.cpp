#include "platform/ClipboardFiles.h"

#include <QUrl>

namespace korimbo {

namespace {

const QString kGnomeFormat = QStringLiteral("x-special/gnome-copied-files");
const QString kMateFormat = QStringLiteral("x-special/mate-copied-files");
const QString kUriListFormat = QStringLiteral("text/uri-list");
const QString kKdeCutFormat = QStringLiteral("application/x-kde-cutselection");

// The lines of a clipboard text; "\r" is dropped because some programs end lines with CR LF.
QStringList LinesOf(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    text.remove(u'\r');
    return text.split(u'\n');
}

// Local files among URI lines, in order. Comment lines of text/uri-list start with "#"; URLs of other
// schemes (a network share the file manager did not mount) are left out.
QStringList LocalPaths(const QStringList& lines) {
    QStringList paths;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QUrl url(line);
        if (!url.isValid() || !url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

// "copy" or "cut" on the first line, then one URI a line.
bool ReadCopiedFiles(const QByteArray& bytes, ClipboardFiles& files) {
    QStringList lines = LinesOf(bytes);
    if (lines.isEmpty())
        return false;
    const QString action = lines.takeFirst().trimmed();
    if (action != QStringLiteral("copy") && action != QStringLiteral("cut"))
        return false;
    files.paths = LocalPaths(lines);
    files.cut = action == QStringLiteral("cut");
    return !files.paths.isEmpty();
}

} // namespace

bool ReadClipboardFiles(const QMimeData* data, ClipboardFiles& files) {
    files = ClipboardFiles();
    if (!data)
        return false;
    for (const QString& format : {kGnomeFormat, kMateFormat}) {
        if (data->hasFormat(format) && ReadCopiedFiles(data->data(format), files))
            return true;
    }
    files = ClipboardFiles();
    if (!data->hasFormat(kUriListFormat))
        return false;
    files.paths = LocalPaths(LinesOf(data->data(kUriListFormat)));
    if (data->hasFormat(kKdeCutFormat))
        files.cut = QString::fromUtf8(data->data(kKdeCutFormat)).trimmed() == QStringLiteral("1");
    return !files.paths.isEmpty();
}

QMimeData* MakeClipboardFiles(const QStringList& paths, bool cut) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QStringList uriLines;
    for (const QString& path : paths) {
        const QUrl url = QUrl::fromLocalFile(path);
        urls.append(url);
        uriLines.append(QString::fromUtf8(url.toEncoded()));
    }
    // setUrls writes text/uri-list with CR LF line ends, as that format asks.
    data->setUrls(urls);
    // No final newline: some file managers take an empty last line for a file.
    const QString gnome = (cut ? QStringLiteral("cut") : QStringLiteral("copy")) + u'\n' + uriLines.join(u'\n');
    data->setData(kGnomeFormat, gnome.toUtf8());
    data->setData(kKdeCutFormat, cut ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
    data->setText(paths.join(u'\n'));
    return data;
}

} // namespace korimbo
