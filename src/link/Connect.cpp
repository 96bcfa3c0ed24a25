#include "Connect.h"

#include "BlockingPause.h"
#include "Link.h"

qint32 ConnectDirect(Link& link)
{
    return link.SendCommand(QByteArrayLiteral("aaa"), 1000).result;
}

qint32 ConnectModem(Link& link, const QByteArray& init, const QByteArray& number)
{
    link.setRecvMode(Link::ModeModemAck);
    const Link::Reply ack = link.SendModemCommand(init, 1000);
    if (!ack.text.contains("OK"))
        return 1;
    BlockingPause::pause(1000);
    link.setRecvMode(Link::ModeModemDial);
    const Link::Reply dial = link.SendModemCommand(QByteArrayLiteral("ATD") + number, 30000);
    if (dial.text.contains("CONNECT")) {
        link.setRecvMode(Link::ModeLine);
        return 0;
    }
    return 1;
}
