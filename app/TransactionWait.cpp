#include "app/TransactionWait.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

#include <thread>

int RunWhileRepainting(const std::function<int()>& call) {
    QEventLoop loop;
    int result = 0;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    std::thread worker([&] {
        result = call();
        // Queued: delivered by loop.exec() below even when the call ends before it starts.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QGuiApplication::restoreOverrideCursor();
    return result;
}
