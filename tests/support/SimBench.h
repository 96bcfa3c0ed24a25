#pragma once

#include "FrmStart.h"
#include "InstrumentSession.h"
#include "ScriptedMessages.h"
#include "SimInstrument.h"
#include "SimPort.h"
#include "TestUtil.h"

#include <QTest>

#include <memory>

class FrmMeas;
class FrmDload;

// The program's real windows and session over an in-process port, with the simulated
// instrument behind it and the message boxes scripted.
class SimBench
{
public:
    explicit SimBench(SimConfig config = {});
    ~SimBench();

    // config with the simulator's --fault KIND,WORD,N[,ARG] added; fault empty: none.
    static SimConfig withFault(const QString& fault, SimConfig config = {});

    SimInstrument instrument;
    ScriptedMessages messages;
    SimPort* port = nullptr; // owned by the session
    std::unique_ptr<InstrumentSession> session;
    std::unique_ptr<FrmStart> start;
    Link& link() { return session->link(); }

    // Runs the event loop until no job is left; false if one is still running after ms.
    bool settle(int ms = 5000);
    // Clicks "Connect" with Direct selected and waits for the result; true when connected.
    bool connectDirect();
    // The same through the modem: init and number typed, Modem selected.
    bool connectModem(const QString& number, const QString& init = QStringLiteral("AT"));
    // Clicks "Measure" / "Download" and waits until the window has opened.
    FrmMeas* openMeas();
    FrmDload* openDload();

    // Command lines the program wrote since the last clearWire(), without CR LF, and the
    // time-out each was written with (to an open port or not).
    QList<QByteArray> wire() const { return TestUtil::lines(port->written()); }
    QList<int> timeouts;
    void clearWire()
    {
        port->clearWritten();
        timeouts.clear();
    }
    // Runs f from the event loop once the n-th line containing word from now has been written.
    void onLine(const QByteArray& word, int n, std::function<void()> f);

    template <class T> T* child(QObject* parent, const char* name)
    {
        T* w = parent->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
    template <class T> T* startChild(const char* name) { return child<T>(start.get(), name); }
};
