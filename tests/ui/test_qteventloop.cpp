// The Qt event loop that the windowed programs run their engines on.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>
#include <thread>

#include "platform/ui/qteventloop.h"

using namespace tpx;

class TestQtEventLoop : public QObject {
    Q_OBJECT
private slots:
    void postFromAReaderThreadEndsANestedWait() {
        QtEventLoop loop;
        bool got = false;
        std::thread reader([&] { loop.post([&] { got = true; }); });
        QVERIFY(loop.waitUntil([&] { return got; }, 2000));
        reader.join();
    }

    void nestedWaitTakesTimersButNoUserInput() {
        QtEventLoop loop;
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.setFocus();
        int ticks = 0;
        loop.setTimer(5126, 50, [&] { ++ticks; });
        // A key press that the window system delivers while a wait runs waits for it to end.
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
            edit.windowHandle(), QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QElapsedTimer t;
        t.start();
        QVERIFY(loop.waitUntil([&] { return ticks >= 3; }, 2000));
        QVERIFY(t.elapsed() >= 140);
        QCOMPARE(edit.text(), QString());
        loop.killTimer(5126);
        QVERIFY(!loop.timerActive(5126));
        QTest::qWait(20);
        QCOMPARE(edit.text(), QString("a"));
    }

    void waitEndsAtItsDeadline() {
        QtEventLoop loop;
        QElapsedTimer t;
        t.start();
        QVERIFY(!loop.waitUntil([] { return false; }, 120));
        QVERIFY(t.elapsed() >= 110 && t.elapsed() < 1000);
        int fired = 0;
        loop.postAfter(30, [&] { ++fired; });
        loop.pause(100);
        QCOMPARE(fired, 1);
    }
};

QTEST_MAIN(TestQtEventLoop)
#include "test_qteventloop.moc"
