#pragma once

#include "SimFault.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// Options of the simulated instrument, from kestrel-sim's command line or set by tests.
// Members without a default say "{}", so that tests may set a few by designated initializers.
struct SimConfig
{
    // Line speed in bits per second, 10 bits a byte; 0 sends and reads unpaced.
    int baud = 0;
    // Delay before every reply, in milliseconds.
    int replyDelayMs = 0;

    // A Hayes modem in front of the instrument.
    bool modem = false;
    int dialDelayMs = 2000;
    QStringList busyNumbers{};      // ATD to these answers "BUSY"
    QStringList noCarrierNumbers{}; // ATD to these answers "NO CARRIER"

    // Measurement: items in a ":MEAS?" reply (0: as many as the wiring and circuits give).
    int measItems = 0;
    int measDelayMs = 0;
    // Items answered with a text instead of their number, by item name.
    QHash<QByteArray, QByteArray> measTexts{};

    // Stored files: no PC card inserted; delay of ":CARD:DEL" and ":MEM:FORM".
    bool noCard = false;
    int deleteDelayMs = 500;

    std::vector<SimFault> faults{};

    // Parses kestrel-sim's options (all but --com, --dosdevices and --help, which the
    // executable handles). Returns false with *error set on a bad option.
    bool parse(const QStringList& args, QString* error);
    // The same for options a test or a benchmark wrote itself: a bad one ends the program.
    static SimConfig fromOptions(const QStringList& args);
    static QString help();
};
