#include "Connect.h"

Task<ConnectResult> ConnectDirect(Job& job)
{
    const Link::Reply reply = co_await job.transact(QByteArrayLiteral("aaa"), 1000);
    co_return ConnectResult{reply.result == Link::Result::Complete, reply.text};
}

Task<ConnectResult> ConnectModem(Job& job, QByteArray init, QByteArray number)
{
    const Link::Reply ack = co_await job.transact(init, 1000, Link::Mode::ModemAck);
    if (!ack.text.contains("OK"))
        co_return ConnectResult{false, ack.text};
    co_await job.pause(ModemPauseMs);
    const Link::Reply dial =
        co_await job.transact(QByteArrayLiteral("ATD") + number, 30000, Link::Mode::ModemDial);
    co_return ConnectResult{dial.text.contains("CONNECT"), dial.text};
}
