#include "WindowCloseWatcher.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#if TABULON_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace tabulon {

namespace {

#if TABULON_HAVE_XCB
std::uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::char_traits<char>::length(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : 0;
}
#endif

}  // namespace

WindowCloseWatcher::WindowCloseWatcher(QWidget* window) : QObject(window), window_(window) {
#if TABULON_HAVE_XCB
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    wmProtocols_ = InternAtom(x11->connection(), "WM_PROTOCOLS");
    wmDeleteWindow_ = InternAtom(x11->connection(), "WM_DELETE_WINDOW");
    if (wmProtocols_ != 0 && wmDeleteWindow_ != 0) QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

WindowCloseWatcher::~WindowCloseWatcher() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WindowCloseWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
#if TABULON_HAVE_XCB
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->format == 32 && client->type == wmProtocols_ && client->data.data32[0] == wmDeleteWindow_ &&
        window_->internalWinId() != 0 && client->window == static_cast<xcb_window_t>(window_->internalWinId())) {
        emit CloseRequested();
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;  // Qt goes on with the event as usual
}

}  // namespace tabulon
