#include "ui/uitest.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace tpx::uitest {

SimProcess::SimProcess(const QString& link, const QStringList& args) : link_(link) {
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc_.start(QString(TPX_BIN_DIR) + "/tpxsim", QStringList{"--pty", link} + args);
    if (!proc_.waitForStarted(5000)) return;
    for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) QTest::qWait(20);
    ok_ = QFileInfo::exists(link);
}

SimProcess::~SimProcess() {
    proc_.terminate();
    if (!proc_.waitForFinished(3000)) proc_.kill();
}

void screenshot(QWidget* w, const QString& name) {
    QDir().mkpath(TPX_SCREENSHOT_DIR);
    w->grab().save(QString(TPX_SCREENSHOT_DIR) + "/" + name + ".png");
}

void whenModal(const QString& objectName, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* w = QApplication::activeModalWidget();
        const bool found = w && w->objectName() == objectName;
        if (found || ++*tries > 300) {
            timer->stop();
            timer->deleteLater();
        }
        if (!found) return;
        act(w);
        // A failed check inside `act` returns early: never leave the dialog hanging.
        if (w->isVisible()) QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
    });
    timer->start(10);
}

}  // namespace tpx::uitest
