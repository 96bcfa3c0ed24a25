#pragma once

#include "SimStorage.h"

#include <QByteArray>
#include <QList>

class SimInstrument;

// Stored files: lists, block reads, delete and format.
class SimFileCommands
{
public:
    static void install(SimInstrument& instrument);

    // The reply line (CR LF included) to a list query for one kind of file.
    static QByteArray listReply(const QList<SimStorage::File>& files, const QByteArray& kind);

    // The bytes around a block's data.
    static constexpr char BlockLead = '\x02';
    static constexpr char BlockTrail = '\x03';
    // The largest block the instrument serves.
    static constexpr qint64 MaxBlock = 65536;
};
