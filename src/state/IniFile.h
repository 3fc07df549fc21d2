#pragma once

#include "util/FileSystem.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// A UTF-16LE INI file (byte-order mark FF FE, CR LF line ends), read and written the way the classic
// profile services do: sections and keys match without regard to case, unknown sections, keys and
// comments stay as they are, a new key goes to the end of its section and a new section to the end of
// the file. Every write replaces the whole file at once.
class CIniFile {
public:
    static constexpr int kValueUnits = 2000; // values are read into a buffer of this many units

    CIniFile(FileSystem& files, const QString& path) : m_files(files), m_path(path) {}

    // The value of section/key, or `fallback` when the file, the section or the key is missing.
    // At most kValueUnits - 1 units come back. After Load, from the lines read then.
    QString Read(const QString& section, const QString& key, const QString& fallback);
    // Reads and decodes the file once for the Reads that follow (a missing file reads as empty), so
    // that many keys cost one read. A Write drops what was loaded.
    void Load();
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    // 0, or an errno.
    int Write(const QString& section, const QString& key, const QString& value);
    // Several writes in order, with one replacement of the file.
    int Write(const QList<Entry>& entries);

    // The file's text as lines (CR LF and LF both end a line).
    static QStringList Decode(const QByteArray& bytes);
    static QByteArray Encode(const QStringList& lines);

private:
    int Lines(QStringList& lines);
    static QString Find(const QStringList& lines, const QString& section, const QString& key, const QString& fallback);
    static void Apply(QStringList& lines, const Entry& entry);

    FileSystem& m_files;
    QString m_path;
    bool m_loaded = false;
    int m_loadError = 0;
    QStringList m_lines;
};

} // namespace korimbo
