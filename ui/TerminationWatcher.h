#pragma once

#include <QObject>

class QSocketNotifier;

namespace tabulon {

// Turns SIGTERM (a task manager ending the program) into a Qt signal on the
// event thread, through a self-pipe, so that the window can close cleanly.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void TerminationRequested();

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tabulon
