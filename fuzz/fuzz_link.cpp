// The link's receive path: arbitrary bytes arrive in pieces through the in-process port
// while a command, a block fetch and another command wait in turn. The first byte sets the
// piece size and the block's length; bytes one transaction leaves come late to the next.
#include "Link.h"
#include "SimInstrument.h"
#include "SimPort.h"

#include <QCoreApplication>
#include <QTimer>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv); // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    SimInstrument instrument;
    // The instrument stays silent: every byte on the line is the fuzzer's.
    const auto silent = [](SimInstrument&, const QByteArray&) { return SimReply{{}, 0, true}; };
    instrument.addCommand("FUZZ", silent);
    instrument.addCommand("CARD:PICK?", silent);
    SimPort port(instrument);
    port.open(nullptr);
    port.setPieceSize(data[0] & 7);
    Link link(port);
    port.inject(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    // A wait ends as a time-out once every byte has arrived, rather than after its time.
    const auto endIfIdle = [&] {
        if (port.idle())
            link.cancelWait();
    };
    QObject::connect(&port, &CommPort::received, &link, endIfIdle);
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, &link, endIfIdle);

    for (int step = 0; step < 3; ++step) {
        start.start(0);
        if (step == 1) {
            const qint32 count = 3 + (data[0] >> 3);
            const Link::Block b = link.FetchBlock("F", 1, count - 2, Medium::Card);
            if (b.result > 1 || b.bytes.size() != Link::BlockBufSize)
                __builtin_trap();
        } else {
            const Link::Reply r = link.SendCommand("FUZZ", 1000);
            if (r.result > 1 || (r.result == 0 && !r.text.endsWith('\n')) ||
                r.text.size() >= qsizetype(size))
                __builtin_trap();
        }
        if (link.Busy() != 0)
            __builtin_trap();
    }
    return 0;
}
