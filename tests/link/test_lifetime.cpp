// A window unloaded while one of its handlers waits must outlive that handler.

#include "FormLifetime.h"
#include "FrmDload.h"
#include "FrmMeas.h"
#include "Link.h"
#include "SimBench.h"

#include <QPointer>

namespace {

// A window with one handler that waits in a transaction and then touches its members, as
// every real window handler does.
class ProbeWindow : public QWidget
{
public:
    explicit ProbeWindow(Link& link) : m_link(link), m_lifetime(this, [this] { m_stop = true; }) {}

    FormLifetime& lifetime() { return m_lifetime; }
    QList<QByteArray> replies;

    void handler(int count)
    {
        FormLifetime::Scope scope(m_lifetime);
        for (int i = 0; i < count && !m_stop; ++i)
            replies << m_link.SendCommand(":STAT?", 2000).text; // members used after each wait
        m_finished = true;
    }
    bool finished() const { return m_finished; }

private:
    Link& m_link;
    FormLifetime m_lifetime;
    bool m_stop = false;
    bool m_finished = false;
};

} // namespace

class TestLifetime : public QObject
{
    Q_OBJECT
private slots:
    void unloadDuringAWaitDefersDestruction();
    void nestedHandlersAllFinishFirst();
    void disconnectWhileAWindowOpens();
};

// Catches: a window destroyed under a handler that waits, shown after its unload, or whose
// handler does not see the stop flag.
void TestLifetime::unloadDuringAWaitDefersDestruction()
{
    SimConfig c;
    c.replyDelayMs = 300;
    SimBench b(c);
    QVERIFY(b.connectDirect());
    QPointer<ProbeWindow> w = new ProbeWindow(b.link());
    w->show();
    bool hiddenAtOnce = false;
    bool aliveDuringWait = false;
    QTimer::singleShot(100, [&] {
        w->lifetime().unload();
        hiddenAtOnce = !w->isVisible();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveDuringWait = !w.isNull();
    });
    w->handler(3);
    QVERIFY(hiddenAtOnce);
    QVERIFY(aliveDuringWait);
    QVERIFY(w);
    QCOMPARE(w->replies.size(), 1); // the stop flag ended the loop after the running wait
    QVERIFY(w->finished());
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
}

// Catches: a window destroyed when only the inner of two nested handlers has returned.
void TestLifetime::nestedHandlersAllFinishFirst()
{
    // A second handler of the same window runs inside the first one's wait (a click during a
    // transaction); the window goes only when both have returned.
    SimConfig c;
    c.replyDelayMs = 300;
    SimBench b(c);
    QVERIFY(b.connectDirect());
    QPointer<ProbeWindow> w = new ProbeWindow(b.link());
    QTimer::singleShot(50, [&] {
        FormLifetime::Scope inner(w->lifetime());
        w->lifetime().unload();
        QCOMPARE(w->lifetime().running(), 2);
    });
    w->handler(1);
    QCOMPARE(w->lifetime().running(), 0);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
}

// Catches: the measurement window destroyed under its opening handler by a disconnect.
void TestLifetime::disconnectWhileAWindowOpens()
{
    // The user disconnects while the measurement window's opening waits for the instrument:
    // the window must not be destroyed under its running handler.
    SimConfig c;
    c.replyDelayMs = 200;
    SimBench b(c);
    QVERIFY(b.connectDirect());
    QPointer<FrmMeas> meas;
    QTimer::singleShot(100, [&] {
        meas = b.start->measWindow();
        b.start->CommandConnect_Click();
    });
    QPointer<FrmMeas> opened = b.openMeas();
    QVERIFY(TestUtil::waitFor([&] { return b.link().ConnectStat() == 0; }));
    QVERIFY(!b.start->measWindow());
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull() && opened.isNull(); }));
}

QTEST_MAIN(TestLifetime)
#include "test_lifetime.moc"
