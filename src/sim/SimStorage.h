#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// The files of the simulated instrument's PC card and internal memory. Only names and sizes
// are stored; a file's bytes are computed from its medium, name and position, so a file of
// many megabytes costs nothing and every download can be checked byte for byte.
struct SimStorage
{
    enum Medium
    {
        Card = 0,
        Memory = 1
    };

    struct File
    {
        QByteArray kind; // MEAS, INST, BMP or WAVE
        QByteArray name;
        qint64 size = 0;
    };

    QList<File> card = defaultCard();
    QList<File> memory = defaultMemory();

    static constexpr qint64 MB = 1024 * 1024;

    static QList<File> defaultCard()
    {
        return {
            {"MEAS", "MEAS0001.DAT", 52345},   {"MEAS", "MEAS0002.DAT", 0},
            {"MEAS", "MEAS0003.DAT", 1001},    {"MEAS", "MEAS1MB.DAT", 1 * MB},
            {"INST", "INST0001.DAT", 999},     {"INST", "INST0002.DAT", 3 * MB + 17},
            {"BMP", "SCRN0001.BMP", 1000},     {"BMP", "SCRN0002.BMP", 1},
            {"WAVE", "WAVE0001.DAT", 2500000}, {"WAVE", "WAVE20MB.DAT", 20 * MB},
        };
    }
    // The memory holds no INST files, so its INST query answers "NO FILES".
    static QList<File> defaultMemory()
    {
        return {
            {"MEAS", "M0000001.DAT", 1000},       {"MEAS", "M0000002.DAT", 5000},
            {"MEAS", "M0000003.DAT", 0},          {"BMP", "M0000004.BMP", 1},
            {"BMP", "M0000005.BMP", 999},         {"WAVE", "M0000006.DAT", 1001},
            {"WAVE", "M0000007.DAT", 4 * MB + 3},
        };
    }

    QList<File>& files(Medium m) { return m == Card ? card : memory; }
    const QList<File>& files(Medium m) const { return m == Card ? card : memory; }

    const File* find(Medium m, const QByteArray& name) const
    {
        for (const File& f : files(m))
            if (f.name == name)
                return &f;
        return nullptr;
    }

    // Byte `pos` (1-based) of a file. Every 61st byte cycles through the bytes a serial line
    // likes to mangle (NUL, CR, LF, XON, XOFF, 0xFF); the rest is a hash of medium, name and
    // position, so a byte fetched from the wrong place or file shows up in a comparison.
    static char byteAt(Medium m, const QByteArray& name, qint64 pos)
    {
        return byteAt(seed(m, name), pos);
    }
    static char byteAt(std::uint64_t seed, qint64 pos)
    {
        static const char awkward[] = {'\x00', '\x0d', '\x0a', '\x11', '\x13', '\xff'};
        if (pos % 61 == 0)
            return awkward[(pos / 61) % 6];
        std::uint64_t x = seed + std::uint64_t(pos) * 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        x ^= x >> 31;
        return char(x >> 56);
    }

    // Bytes `from` to `from + count - 1` (1-based) of a file, as the instrument stores them.
    static QByteArray content(Medium m, const QByteArray& name, qint64 from, qint64 count)
    {
        const std::uint64_t s = seed(m, name);
        QByteArray out(count, Qt::Uninitialized);
        for (qint64 i = 0; i < count; ++i)
            out[i] = byteAt(s, from + i);
        return out;
    }

    static std::uint64_t seed(Medium m, const QByteArray& name)
    {
        std::uint64_t h = 1469598103934665603ull ^ std::uint64_t(m + 1);
        for (char c : name)
            h = (h ^ std::uint8_t(c)) * 1099511628211ull;
        return h;
    }
};
