#pragma once

#include <QString>

#include <functional>
#include <vector>

// What every benchmark group shares: printing a figure, timing, the process's CPU time and
// memory, and rounds that time several sides of a comparison alike.
namespace bench {

// Prints "name: value  # note".
void figure(const char* name, double value, const QString& note = {}, int decimals = 3);

double seconds(const std::function<void()>& work);
// CPU seconds (user and system) of this process so far.
double cpuSeconds();
// Resident set size now, and its peak, in MB.
double rssMb();
double peakRssMb();
// Starts the peak resident size afresh.
void resetPeakRss();

struct Spread
{
    double median = 0;
    double min = 0;
    double max = 0;
    int rounds = 0;
};
Spread spread(std::vector<double> values);
// "min 0.90 max 0.95, 9 rounds"
QString spreadText(const Spread& s);
// The median of the values as the figure, their spread and the note as its comment.
void medianFigure(const char* name, const std::vector<double>& values, const QString& note);

// a[i] / b[i] for every round.
std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b);

// Times the sides in rounds and returns seconds[side][round]. A side does its own setup and
// returns the seconds of its timed work only. A round runs every side slices times, in turns
// whose order is reversed every other turn, and sums each side's slices: a slow moment of the
// machine then weighs on every side alike.
std::vector<std::vector<double>> timeRounds(const std::vector<std::function<double()>>& sides,
                                            int rounds = 9, int slices = 1);

// How many runs of the work make over a second even at the pace of the fastest of a few
// calibrating runs (at least two, at least 0.3 s).
int runsForOneSecond(const std::function<void()>& run);

} // namespace bench
