#include "state/IniFile.h"

namespace korimbo {

namespace {

bool IsSection(const QString& line, QString* name = nullptr) {
    const QString t = line.trimmed();
    if (!t.startsWith(u'[') || !t.contains(u']'))
        return false;
    if (name)
        *name = t.mid(1, t.indexOf(u']') - 1).trimmed();
    return true;
}

// The key of a "key=value" line, or an empty text for anything else.
QString KeyOf(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0 || line.trimmed().startsWith(u';'))
        return QString();
    return line.left(eq).trimmed();
}

QString ValueOf(const QString& line) {
    QString value = line.mid(line.indexOf(u'=') + 1).trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool Same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList CIniFile::Decode(const QByteArray& bytes) {
    QString text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    else
        text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray CIniFile::Encode(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

int CIniFile::Lines(QStringList& lines) {
    QByteArray bytes;
    if (const int rc = m_files.ReadContents(m_path, bytes).error; rc != 0)
        return rc;
    lines = Decode(bytes);
    return 0;
}

void CIniFile::Load() {
    m_lines.clear();
    m_loadError = Lines(m_lines);
    m_loaded = true;
}

QString CIniFile::Read(const QString& section, const QString& key, const QString& fallback) {
    if (m_loaded)
        return m_loadError == 0 ? Find(m_lines, section, key, fallback) : fallback.left(kValueUnits - 1);
    QStringList lines;
    if (Lines(lines) != 0)
        return fallback.left(kValueUnits - 1);
    return Find(lines, section, key, fallback);
}

QString CIniFile::Find(const QStringList& lines, const QString& section, const QString& key,
                       const QString& fallback) {
    QString value = fallback;
    bool inSection = false;
    for (const QString& line : lines) {
        QString name;
        if (IsSection(line, &name)) {
            if (inSection)
                break;
            inSection = Same(name, section);
        } else if (inSection && Same(KeyOf(line), key)) {
            value = ValueOf(line);
            break;
        }
    }
    return value.left(kValueUnits - 1);
}

int CIniFile::Write(const QString& section, const QString& key, const QString& value) {
    return Write(QList<Entry>{{section, key, value}});
}

int CIniFile::Write(const QList<Entry>& entries) {
    m_loaded = false;
    QStringList lines;
    if (m_files.Exists(m_path)) {
        if (const int rc = Lines(lines); rc != 0)
            return rc;
    }
    for (const Entry& entry : entries)
        Apply(lines, entry);
    return m_files.ReplaceContents(m_path, Encode(lines)).error;
}

void CIniFile::Apply(QStringList& lines, const Entry& e) {
    const QString text = e.key + u'=' + e.value;
    qsizetype sectionAt = -1;
    qsizetype insertAt = -1; // behind the last non-blank line of the section
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString name;
        if (IsSection(lines[i], &name)) {
            if (sectionAt >= 0)
                break;
            if (Same(name, e.section)) {
                sectionAt = i;
                insertAt = i + 1;
            }
        } else if (sectionAt >= 0) {
            if (Same(KeyOf(lines[i]), e.key)) {
                lines[i] = text;
                return;
            }
            if (!lines[i].trimmed().isEmpty())
                insertAt = i + 1;
        }
    }
    if (sectionAt < 0) {
        lines.append(u'[' + e.section + u']');
        lines.append(text);
    } else {
        lines.insert(insertAt, text);
    }
}

} // namespace korimbo
