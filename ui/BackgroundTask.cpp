#include "BackgroundTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <limits>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace zalvo {

namespace {

constexpr int progressMilliseconds = 100;
constexpr int workerNiceness = 10;

} // namespace

bool BackgroundTask::run(const std::function<void()>& work, const std::function<std::size_t()>& progress) {
    QEventLoop loop;
    std::unique_ptr<QProgressDialog> dialog;
    QTimer dialogTimer;
    dialogTimer.setSingleShot(true);
    QObject::connect(&dialogTimer, &QTimer::timeout, [&] {
        // Above whichever window is modal now, so that it stays on top of the playlist manager too.
        QWidget* parent = QApplication::activeModalWidget() != nullptr ? QApplication::activeModalWidget() : owner;
        dialog = std::make_unique<QProgressDialog>(label, QStringLiteral("Annuler"), 0, 0, parent);
        dialog->setWindowTitle(QApplication::applicationName());
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(std::numeric_limits<int>::max());
        dialog->setAutoReset(false);
        dialog->setAutoClose(false);
        QObject::connect(dialog.get(), &QProgressDialog::canceled, [this] { cancel(); });
        dialog->show();
    });
    QTimer progressTimer;
    QObject::connect(&progressTimer, &QTimer::timeout, [&] {
        if (dialog) {
            dialog->setLabelText(label + QStringLiteral("\n%1").arg(progress()));
        }
    });

    std::atomic<bool> finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        // Yields the processor to the UI thread; the threads it starts inherit that.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), workerNiceness);
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    dialogTimer.start(dialogDelay);
    progressTimer.start(progressMilliseconds);
    loop.exec();
    // The loop also ends when the application leaves every loop to quit: the work is cut short then.
    if (!finished) {
        cancel();
    }
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !cancelled;
}

} // namespace zalvo
