#include "BenchUtil.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace bench {

void figure(const char* name, double value, const QString& note, int decimals)
{
    std::printf("%s: %.*f%s%s\n", name, decimals, value, note.isEmpty() ? "" : "  # ",
                qPrintable(note));
    std::fflush(stdout);
}

double seconds(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

namespace {

double statusMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(qsizetype(qstrlen(field)))
                           .trimmed()
                           .split(' ')
                           .value(0)
                           .toDouble() /
                       1024.0;
    return 0;
}

} // namespace

double rssMb()
{
    return statusMb("VmRSS:");
}

double peakRssMb()
{
    return statusMb("VmHWM:");
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

Spread spread(std::vector<double> values)
{
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    s.rounds = int(n);
    return s;
}

QString spreadText(const Spread& s)
{
    return QStringLiteral("min %1 max %2, %3 rounds")
        .arg(s.min, 0, 'f', 3)
        .arg(s.max, 0, 'f', 3)
        .arg(s.rounds);
}

void medianFigure(const char* name, const std::vector<double>& values, const QString& note)
{
    const Spread s = spread(values);
    figure(name, s.median,
           spreadText(s) + (note.isEmpty() ? QString() : QStringLiteral("; ") + note));
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> out;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        out.push_back(b[i] > 0 ? a[i] / b[i] : 0);
    return out;
}

std::vector<std::vector<double>> timeRounds(const std::vector<std::function<double()>>& sides,
                                            int rounds, int slices)
{
    const bool verbose = qEnvironmentVariableIsSet("PQBENCH_VERBOSE");
    std::vector<std::vector<double>> out(sides.size());
    int pass = 0;
    for (int r = 0; r < rounds; ++r) {
        std::vector<double> sum(sides.size(), 0.0);
        for (int s = 0; s < slices; ++s, ++pass)
            for (size_t k = 0; k < sides.size(); ++k) {
                const size_t side = pass % 2 ? sides.size() - 1 - k : k;
                sum[side] += sides[side]();
            }
        for (size_t side = 0; side < sides.size(); ++side)
            out[side].push_back(sum[side]);
        if (verbose) {
            std::printf("  round %d:", r + 1);
            for (double v : sum)
                std::printf(" %.4f s", v);
            std::printf("\n");
        }
    }
    return out;
}

int runsForOneSecond(const std::function<void()>& run)
{
    // From the fastest run seen, so that a side stays over a second in a fast moment too.
    QElapsedTimer total;
    total.start();
    double fastest = 1e9;
    for (int n = 0; n < 2 || total.nsecsElapsed() < 300000000; ++n)
        fastest = std::min(fastest, seconds(run));
    return std::max(1, int(std::ceil(1.2 / fastest)));
}

} // namespace bench
