#include "platform/Launcher.h"

#include <QFile>
#include <QFileInfo>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

namespace korimbo {

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, ObjectUnref>;
using FilePtr = std::unique_ptr<GFile, ObjectUnref>;

struct CharFree {
    void operator()(gchar* text) const { g_free(text); }
};
using CharPtr = std::unique_ptr<gchar, CharFree>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

// The desktop's default application for the type GIO guesses from the file's name.
AppInfoPtr DefaultAppFor(const QString& file) {
    // A folder goes to the file manager.
    if (QFileInfo(file).isDir()) {
        return AppInfoPtr(g_app_info_get_default_for_type("inode/directory", FALSE));
    }
    const QByteArray name = QFile::encodeName(QFileInfo(file).fileName());
    gboolean uncertain = FALSE;
    const CharPtr type(g_content_type_guess(name.constData(), nullptr, 0, &uncertain));
    // An unknown type has no application of its own, even where one is set up for any binary data.
    if (!type || g_content_type_is_unknown(type.get())) {
        return {};
    }
    return AppInfoPtr(g_app_info_get_default_for_type(type.get(), FALSE));
}

QString FindProgram(const QByteArray& program) {
    const CharPtr found(g_find_program_in_path(program.constData()));
    return found ? QFile::decodeName(found.get()) : QString();
}

// A desktop id names an installed application; anything else is taken as a program to run with the file.
AppInfoPtr AppFor(const QString& program) {
    if (program.endsWith(QStringLiteral(".desktop")) && !program.contains(u'/')) {
        const QByteArray id = program.toUtf8();
        return AppInfoPtr(G_APP_INFO(g_desktop_app_info_new(id.constData())));
    }
    // Quoted, because the command line is split like a shell's; GIO adds the file as "%f".
    const CharPtr quoted(g_shell_quote(QFile::encodeName(program).constData()));
    GError* error = nullptr;
    AppInfoPtr app(g_app_info_create_from_commandline(quoted.get(), nullptr, G_APP_INFO_CREATE_NONE, &error));
    if (error != nullptr) {
        g_error_free(error);
    }
    return app;
}

QString ExecutableOf(GAppInfo* app) {
    const char* executable = g_app_info_get_executable(app);
    return executable == nullptr || *executable == '\0' ? QString() : FindProgram(executable);
}

void TakePid(GDesktopAppInfo*, GPid pid, gpointer data) {
    *static_cast<qint64*>(data) = pid;
}

} // namespace

int GioLauncher::Launch(const QString& file, const QString& program, qint64& pid, QString& appId,
                        QString& executable) {
    const AppInfoPtr app = program.isEmpty() ? DefaultAppFor(file) : AppFor(program);
    if (!app || !G_IS_DESKTOP_APP_INFO(app.get())) {
        return -1;
    }
    // GIO starts programs through a small helper that then runs them, so a program that is not there is not
    // a failed start to GIO: look for it first. (GIO takes an executable path up to its first space.)
    const bool byPath = !program.isEmpty() && !program.endsWith(QStringLiteral(".desktop"));
    const QString found = byPath ? FindProgram(QFile::encodeName(program)) : ExecutableOf(app.get());
    const bool byBus = !byPath && g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app.get()), "DBusActivatable");
    if (found.isEmpty() && !byBus) {
        return -1;
    }
    // As a URI, so that any name survives the trip; GIO hands a local path to programs that take "%f".
    const FilePtr gfile(g_file_new_for_path(QFile::encodeName(QFileInfo(file).absoluteFilePath()).constData()));
    const CharPtr uri(g_file_get_uri(gfile.get()));
    GList uris{};
    uris.data = uri.get();

    qint64 started = 0;
    GError* rawError = nullptr;
    // Not reaped by GLib: the PID must not be reused while the watch asks about it. Our process probe reaps it.
    const gboolean ok = g_desktop_app_info_launch_uris_as_manager(
        G_DESKTOP_APP_INFO(app.get()), &uris, nullptr,
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr, TakePid, &started,
        &rawError);
    const ErrorPtr error(rawError);
    if (!ok) {
        return -1;
    }
    pid = started;
    const char* id = g_app_info_get_id(app.get());
    appId = id != nullptr ? QString::fromUtf8(id) : QString();
    executable = found;
    return 0;
}

} // namespace korimbo
