#include "platform/Launcher.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <memory>

namespace korimbo {

namespace {

// Titles are read up to 1024 bytes (the length is counted in 32-bit units).
constexpr uint32_t kTitleUnits = 256;

struct ConnectionClose {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using ConnectionPtr = std::unique_ptr<xcb_connection_t, ConnectionClose>;

struct ReplyFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using ReplyPtr = std::unique_ptr<T, ReplyFree>;

// The requests for one window, sent together so that the server answers them in one round.
struct WindowQuery {
    xcb_window_t window = 0;
    xcb_get_property_cookie_t netName{};
    xcb_get_property_cookie_t name{};
    xcb_get_property_cookie_t transientFor{};
    xcb_get_property_cookie_t pid{};
};

// The windows of the session: the window manager's client list, else (no window manager) the root's children.
QList<xcb_window_t> TopLevelWindows(xcb_connection_t* connection, xcb_ewmh_connection_t& ewmh, int screen,
                                    xcb_window_t root) {
    QList<xcb_window_t> windows;
    xcb_ewmh_get_windows_reply_t clients{};
    if (xcb_ewmh_get_client_list_reply(&ewmh, xcb_ewmh_get_client_list(&ewmh, screen), &clients, nullptr) != 0) {
        for (uint32_t i = 0; i < clients.windows_len; ++i) {
            windows.append(clients.windows[i]);
        }
        xcb_ewmh_get_windows_reply_wipe(&clients);
        if (!windows.isEmpty()) {
            return windows;
        }
    }
    const ReplyPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection, xcb_query_tree(connection, root),
                                                                     nullptr));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            windows.append(children[i]);
        }
    }
    return windows;
}

QString TitleOf(xcb_connection_t* connection, xcb_ewmh_connection_t& ewmh, const WindowQuery& query) {
    QString title;
    xcb_ewmh_get_utf8_strings_reply_t netName{};
    if (xcb_ewmh_get_wm_name_reply(&ewmh, query.netName, &netName, nullptr) != 0) {
        title = QString::fromUtf8(netName.strings, int(netName.strings_len));
        xcb_ewmh_get_utf8_strings_reply_wipe(&netName);
    }
    const ReplyPtr<xcb_get_property_reply_t> name(xcb_get_property_reply(connection, query.name, nullptr));
    if (title.isEmpty() && name) {
        // WM_NAME is Latin-1 by the old rules, but programs often put UTF-8 there.
        title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name.get())),
                                  xcb_get_property_value_length(name.get()));
    }
    return title;
}

} // namespace

qint64 X11WindowOwnerOf(const QString& fileName) {
    if (fileName.isEmpty() || qgetenv("DISPLAY").isEmpty()) {
        return 0; // Wayland without X, or no desktop at all
    }
    int screen = 0;
    const ConnectionPtr connection(xcb_connect(nullptr, &screen));
    if (!connection || xcb_connection_has_error(connection.get()) != 0) {
        return 0;
    }
    xcb_connection_t* conn = connection.get();
    xcb_ewmh_connection_t ewmh{};
    if (xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(conn, &ewmh), nullptr) == 0) {
        return 0;
    }
    qint64 owner = 0;
    if (screen >= 0 && screen < ewmh.nb_screens) {
        const QList<xcb_window_t> windows = TopLevelWindows(conn, ewmh, screen, ewmh.screens[screen]->root);
        QList<WindowQuery> queries;
        queries.reserve(windows.size());
        for (const xcb_window_t window : windows) {
            WindowQuery query;
            query.window = window;
            query.netName = xcb_ewmh_get_wm_name(&ewmh, window);
            query.name = xcb_get_property(conn, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                          kTitleUnits);
            query.transientFor =
                xcb_get_property(conn, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1);
            query.pid = xcb_ewmh_get_wm_pid(&ewmh, window);
            queries.append(query);
        }
        // Every reply is collected, also after a match, so that none is left queued on the connection.
        for (const WindowQuery& query : queries) {
            const QString title = TitleOf(conn, ewmh, query);
            const ReplyPtr<xcb_get_property_reply_t> transient(
                xcb_get_property_reply(conn, query.transientFor, nullptr));
            const bool owned = transient && xcb_get_property_value_length(transient.get()) > 0;
            uint32_t pid = 0;
            const bool hasPid = xcb_ewmh_get_wm_pid_reply(&ewmh, query.pid, &pid, nullptr) != 0;
            if (owner == 0 && !owned && hasPid && pid != 0 && title.contains(fileName)) {
                owner = qint64(pid);
            }
        }
    }
    xcb_ewmh_connection_wipe(&ewmh);
    return owner;
}

} // namespace korimbo
