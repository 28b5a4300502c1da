#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>

class QWidget;

namespace tabulon {

// Reports the window manager's close request for one window (WM_DELETE_WINDOW
// on X11) as it arrives from the display, before Qt sees it. Qt drops such a
// request while a modal dialog blocks the window; the window can hold it and
// act on it once the dialog's command has ended. On other platforms it stays
// silent and Qt's own close event is all there is.
class WindowCloseWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit WindowCloseWatcher(QWidget* window);
    ~WindowCloseWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void CloseRequested();

private:
    QWidget* window_;
    std::uint32_t wmProtocols_ = 0;
    std::uint32_t wmDeleteWindow_ = 0;
};

}  // namespace tabulon
