#include "platform/Associations.h"

#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gio/gio.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace korimbo {

namespace {

const QString kText = QStringLiteral(".txt");
const QString kLibraryMs = QStringLiteral(".library-ms");
const QString kNullFile = QStringLiteral("NullFile");
const QString kFileName = QStringLiteral("FileName");

struct ObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, ObjectUnref>;

struct CharFree {
    void operator()(gchar* text) const { g_free(text); }
};
using CharPtr = std::unique_ptr<gchar, CharFree>;

struct AppListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using AppListPtr = std::unique_ptr<GList, AppListFree>;

// ".ext" from "ext" or ".ext"; empty when there is no extension to speak of.
QString NormalizedExtension(const QString& extension) {
    const QString ext = extension.startsWith(u'.') ? extension : u'.' + extension;
    if (ext.size() < 2 || ext.contains(u'/')) {
        return {};
    }
    return ext;
}

// The MIME type of files with the extension; empty when unknown (GIO answers application/octet-stream then).
QByteArray ContentTypeOf(const QString& extension) {
    const QString ext = NormalizedExtension(extension);
    if (ext.isEmpty()) {
        return {};
    }
    const QByteArray fileName = QFile::encodeName(QStringLiteral("x") + ext);
    gboolean uncertain = FALSE;
    const CharPtr type(g_content_type_guess(fileName.constData(), nullptr, 0, &uncertain));
    if (!type || g_content_type_is_unknown(type.get())) {
        return {};
    }
    return QByteArray(type.get());
}

AppInfoPtr DefaultAppOf(const QByteArray& type) {
    if (type.isEmpty()) {
        return {};
    }
    return AppInfoPtr(g_app_info_get_default_for_type(type.constData(), FALSE));
}

// Full path of the application's executable; empty when it cannot be found.
QString ExecutableOf(GAppInfo* app) {
    const char* executable = g_app_info_get_executable(app);
    if (executable == nullptr || *executable == '\0') {
        return {};
    }
    const CharPtr found(g_find_program_in_path(executable));
    if (!found) {
        return {};
    }
    const QString path = QFile::decodeName(found.get());
    return QFileInfo(path).isFile() ? path : QString();
}

QString NameOf(GAppInfo* app) {
    return QString::fromUtf8(g_app_info_get_name(app));
}

QString IdOf(GAppInfo* app) {
    return QString::fromUtf8(g_app_info_get_id(app));
}

} // namespace

QString ProgramFileName(const QString& programPath) {
    const qsizetype slash = programPath.lastIndexOf(u'/');
    return slash < 0 ? programPath : programPath.mid(slash + 1);
}

GioAssociations::GioAssociations(std::function<QString()> templatesFolder)
    : m_templatesFolder(std::move(templatesFolder)) {}

GioAssociations::GioAssociations(UserFolders& folders)
    : m_templatesFolder([&folders] { return folders.Templates(); }) {}

int GioAssociations::DefaultProgramOf(const QString& extension, QString& program) {
    const AppInfoPtr app = DefaultAppOf(ContentTypeOf(extension));
    if (!app) {
        return -1;
    }
    const QString path = ExecutableOf(app.get());
    if (path.isEmpty()) {
        return -1;
    }
    program = path;
    return 0;
}

int GioAssociations::DefaultAppIdOf(const QString& extension, QString& desktopId) {
    const AppInfoPtr app = DefaultAppOf(ContentTypeOf(extension));
    // An application that cannot be started is no default, as in DefaultProgramOf.
    if (!app || ExecutableOf(app.get()).isEmpty()) {
        return -1;
    }
    const QString id = IdOf(app.get());
    if (id.isEmpty()) {
        return -1;
    }
    desktopId = id;
    return 0;
}

int GioAssociations::FileTypeName(const QString& extension, QString& name) {
    const QByteArray type = ContentTypeOf(extension);
    if (type.isEmpty()) {
        return -1;
    }
    const CharPtr description(g_content_type_get_description(type.constData()));
    const QString text = description ? QString::fromUtf8(description.get()) : QString();
    if (text.isEmpty()) {
        return -1;
    }
    name = text;
    return 0;
}

QList<GioAssociations::Template> GioAssociations::Templates() const {
    const QString folder = m_templatesFolder ? m_templatesFolder() : QString();
    if (folder.isEmpty()) {
        return {};
    }
    const QFileInfo info(folder);
    // xdg-user-dirs turns the templates folder off by pointing it at the home folder.
    if (!info.isDir() || info.canonicalFilePath() == QFileInfo(QDir::homePath()).canonicalFilePath()) {
        return {};
    }
    QList<Template> result;
    const QFileInfoList files =
        QDir(info.absoluteFilePath()).entryInfoList(QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString suffix = file.suffix();
        if (file.fileName().startsWith(u'.') || suffix.isEmpty()) {
            continue;
        }
        const QString ext = u'.' + suffix;
        const bool known = std::any_of(result.cbegin(), result.cend(), [&ext](const Template& other) {
            return other.extension.compare(ext, Qt::CaseInsensitive) == 0;
        });
        if (!known) {
            result.append({ext, file.absoluteFilePath()});
        }
    }
    return result;
}

int GioAssociations::ShellNewOf(const QString& extension, ShellNew& out) {
    const QString ext = NormalizedExtension(extension);
    if (ext.isEmpty()) {
        return -1;
    }
    for (const Template& found : Templates()) {
        if (found.extension.compare(ext, Qt::CaseInsensitive) == 0) {
            out = {kFileName, found.path};
            return 0;
        }
    }
    // An empty text file is always on offer.
    if (ext.compare(kText, Qt::CaseInsensitive) == 0) {
        out = {kNullFile, QString()};
        return 0;
    }
    return -1;
}

QStringList GioAssociations::CollectNewFileTypes() {
    // Every candidate has a ShellNew description by construction: a template, or the empty text file.
    QStringList candidates{kText};
    for (const Template& found : Templates()) {
        candidates.append(found.extension);
    }
    QStringList result;
    for (const QString& ext : std::as_const(candidates)) {
        if (result.size() >= kMaxNewFileTypes) {
            break;
        }
        if (ext.compare(kLibraryMs, Qt::CaseInsensitive) == 0 || result.contains(ext, Qt::CaseInsensitive)) {
            continue;
        }
        QString program;
        if (DefaultProgramOf(ext, program) == 0) {
            result.append(ext);
        }
    }
    return result;
}

void GioAssociations::OpenWithPrograms(const QString& extension, int fallback, OpenWithList& out) {
    out = OpenWithList();
    QStringList offeredNames;
    // Programs are told apart by their executable's file name, as the user sees them.
    const auto offer = [&](GAppInfo* app) {
        const QString path = ExecutableOf(app);
        if (path.isEmpty()) {
            return false;
        }
        const QString fileName = ProgramFileName(path);
        if (offeredNames.contains(fileName, Qt::CaseInsensitive)) {
            return false;
        }
        offeredNames.append(fileName);
        out.paths.append(path);
        out.names.append(NameOf(app));
        out.appIds.append(IdOf(app));
        return true;
    };

    const QByteArray type = ContentTypeOf(extension);
    const AppInfoPtr defaultApp = DefaultAppOf(type);
    if (!defaultApp || !offer(defaultApp.get())) {
        out.paths.append(QString());
        out.names.append(QString());
        out.appIds.append(QString());
    }
    if (!type.isEmpty()) {
        for (const auto query : {&g_app_info_get_recommended_for_type, &g_app_info_get_all_for_type}) {
            const AppListPtr apps(query(type.constData()));
            for (GList* item = apps.get(); item != nullptr; item = item->next) {
                offer(static_cast<GAppInfo*>(item->data));
            }
        }
    }
    if (fallback == 1 && out.paths.size() == 1 && out.paths.constFirst().isEmpty()) {
        const AppInfoPtr textApp = DefaultAppOf(ContentTypeOf(kText));
        if (textApp) {
            offer(textApp.get());
        }
    }
}

QString GioAssociations::ProgramDisplayName(const QString& programPath) {
    if (programPath.isEmpty()) {
        return programPath;
    }
    const QString canonical = QFileInfo(programPath).canonicalFilePath();
    QString hiddenMatch;
    QString canonicalMatch;
    const AppListPtr apps(g_app_info_get_all());
    for (GList* item = apps.get(); item != nullptr; item = item->next) {
        GAppInfo* app = static_cast<GAppInfo*>(item->data);
        const QString path = ExecutableOf(app);
        if (path.isEmpty()) {
            continue;
        }
        // Several applications may share one executable: a menu entry beats a hidden one, the exact path
        // beats a path that only resolves to the same file.
        if (path == programPath) {
            if (g_app_info_should_show(app)) {
                return NameOf(app);
            }
            if (hiddenMatch.isEmpty()) {
                hiddenMatch = NameOf(app);
            }
        } else if (canonicalMatch.isEmpty() && !canonical.isEmpty() &&
                   QFileInfo(path).canonicalFilePath() == canonical) {
            canonicalMatch = NameOf(app);
        }
    }
    if (!hiddenMatch.isEmpty()) {
        return hiddenMatch;
    }
    if (!canonicalMatch.isEmpty()) {
        return canonicalMatch;
    }
    return ProgramFileName(programPath);
}

} // namespace korimbo
