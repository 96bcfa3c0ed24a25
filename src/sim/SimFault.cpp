#include "SimFault.h"

#include <QStringList>

bool SimFault::parse(const QString& text, SimFault* fault, QString* error)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 3 || parts.size() > 4) {
        *error = QStringLiteral("--fault wants KIND,WORD,N[,ARG]: %1").arg(text);
        return false;
    }
    static const struct
    {
        const char* name;
        Kind kind;
    } kinds[] = {{"drop", Kind::Drop},         {"delay", Kind::Delay},
                 {"truncate", Kind::Truncate}, {"lengthen", Kind::Lengthen},
                 {"garble", Kind::Garble},     {"hangup", Kind::Hangup},
                 {"refuse", Kind::Refuse}};
    bool found = false;
    for (const auto& k : kinds) {
        if (parts[0] == QLatin1String(k.name)) {
            fault->kind = k.kind;
            found = true;
        }
    }
    if (!found) {
        *error = QStringLiteral("unknown fault kind: %1").arg(parts[0]);
        return false;
    }
    fault->word = parts[1].toLatin1().toUpper();
    bool ok = false;
    fault->occurrence = parts[2].toInt(&ok);
    if (!ok || fault->occurrence < 1) {
        *error = QStringLiteral("bad occurrence in --fault %1").arg(text);
        return false;
    }
    fault->arg = parts.size() == 4 ? parts[3].toInt() : 0;
    return true;
}

QByteArray SimFault::apply(const QByteArray& reply, int* delayMs) const
{
    switch (kind) {
    case Kind::Drop:
    case Kind::Hangup:
        return {};
    case Kind::Delay:
        *delayMs += arg > 0 ? arg : 6000;
        return reply;
    case Kind::Truncate:
        return reply.left(std::max<qsizetype>(0, std::min(reply.size() / 2, reply.size() - 1)));
    case Kind::Lengthen:
        return reply + QByteArray(arg > 0 ? arg : 5, '#');
    case Kind::Refuse:
        return "EXECUTE ERROR\r\n";
    case Kind::Garble: {
        QByteArray out = reply;
        for (qsizetype i = out.size() / 3; i < out.size() * 2 / 3; ++i)
            out[i] = char(out[i] ^ 0x5A);
        return out;
    }
    }
    return reply;
}
