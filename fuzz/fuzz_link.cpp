// The link's receive path: arbitrary bytes arrive in pieces through the in-process port
// while a job's command, block fetch and second command wait in turn. The first byte sets
// the piece size and the block's length; bytes one transaction leaves come late to the next.
#include "InstrumentSession.h"
#include "SimInstrument.h"
#include "SimPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv); // lives as long as the process
    return 0;
}

namespace {

// A reply the link may give: complete or timed out, a line ending in LF, never longer than
// the bytes the fuzzer sent, a block always its buffer's size.
Task<bool> steps(Job& job, qint32 count, qsizetype size)
{
    bool sound = true;
    for (int step = 0; step < 3; ++step) {
        if (step == 1) {
            const Link::Reply b = co_await job.fetchBlock("F", 1, count - 2, Medium::Card);
            sound =
                sound && b.result <= Link::Result::Timeout && b.text.size() == Link::BlockBufSize;
        } else {
            const Link::Reply r = co_await job.transact("FUZZ", 1000);
            sound = sound && r.result <= Link::Result::Timeout &&
                    (r.result != Link::Result::Complete || r.text.endsWith('\n')) &&
                    r.text.size() < size;
        }
    }
    co_return sound;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    SimInstrument instrument;
    // The instrument stays silent: every byte on the line is the fuzzer's.
    const auto silent = [](SimInstrument&, const QByteArray&) { return SimReply{{}, 0, true}; };
    instrument.addCommand("FUZZ", silent);
    instrument.addCommand("CARD:PICK?", silent);
    auto* port = new SimPort(instrument);
    port->open(nullptr);
    port->setPieceSize(data[0] & 7);
    InstrumentSession session{std::unique_ptr<SimPort>(port)};
    Link& link = session.link();
    port->inject(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    // A wait ends as a time-out once every byte has arrived, rather than after its time.
    const auto endIfIdle = [&] {
        if (port->idle())
            QTimer::singleShot(0, &link, [&] {
                if (port->idle())
                    link.cancelWait();
            });
    };
    QObject::connect(port, &CommPort::received, &link, endIfIdle);
    QObject::connect(&link, &Link::written, &link, endIfIdle);
    QEventLoop loop;
    bool sound = false;
    const qint32 count = 3 + (data[0] >> 3);
    session.submit<bool>(
        nullptr, [&](Job& job) { return steps(job, count, qsizetype(size)); },
        [&](bool ok) {
            sound = ok;
            loop.quit();
        });
    loop.exec();
    if (!sound || link.held())
        __builtin_trap();
    return 0;
}
