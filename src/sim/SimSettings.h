#pragma once

#include <QByteArray>

#include <array>

// The instrument's settings as it keeps them. Coded settings are positions in the
// instrument's word lists; per-circuit arrays are indexed by circuit - 1.
struct SimSettings
{
    int wiring = 0;    // 0 1P2W, 1 1P3W, 2 3P3W, 3 3P3W3M, 4 3P4W, 5 3P4W4I
    int cirNum = 1;    // 1..4
    int sampling = 0;  // PLL, FIX
    int freq = 0;      // 50, 60
    int varMethod = 0; // OFF, ON
    int average = 1;   // the count: 1, 2, 5, 10 or 20
    int uRange = 1;    // 150, 300, 600 V
    double vt = 1;
    std::array<int, 4> sens{1, 1, 1, 1};   // CLA, CLB, FLX-500, FLX-5k, CLC, CLD
    std::array<int, 4> iRange{7, 7, 7, 7}; // 0.5, 1, 5, 10, 50, 100, 200, 500, 1000, 5000 A
    std::array<double, 4> ct{1, 1, 1, 1};

    int startMeth = 0;                              // MANUAL, TIME, JUST
    std::array<int, 5> startTime{2026, 1, 1, 0, 0}; // year, month, day, hour, minute
    int stopMeth = 0;                               // MANUAL, TIME, TIMER
    std::array<int, 5> stopTime{2026, 1, 2, 0, 0};
    std::array<int, 3> timer{1, 0, 0}; // days, hours, minutes
    int intvl = 9;                     // ALL, 0.1S .. 60M (9: 30S)

    int media = 0;        // CARD, MEMORY
    QByteArray fileName;  // empty: "NO FILENAME"
    int rsConnection = 0; // PC, PRINTER
    int copyDst = 0;      // CARD, MEMORY, PRINTER

    // The nine item words: normal values; LEVEL and THD; INST, AVE, MAX, MIN with all
    // orders; circuit 1; U1, I1 and P.
    std::array<int, 9> items{81, 143, 1, 137, 0, 0, 0, 0, 0};
    bool harm = true;
    bool wave = false;
    int thd = 0; // F, R

    int baud = 1;      // 2400, 9600, 19200, 38400
    int term = 0;      // 1 (CR+LF), 2 (CR)
    int flow = 0;      // OFF, XONXOFF, RTSCTS, BOTH
    int backlight = 2; // OFF, ON, AUTO
    int beep = 1;      // OFF, ON
    int id = 1;
    int lang = 1; // JAPANESE, ENGLISH, GERMAN, ITALIAN, CHINESE1, CHINESE2
};
