// pqlink-cli as a user runs it: one "measure" process from start to exit against unpaced
// kestrel-sim, and its peak memory. The floor is the same program started for --version,
// which opens no port; the figure is also given as a ratio against it.

#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Sample
{
    double ms = 0;
    double peakMb = 0;
    int status = -1;
};

// Runs the program to its end; wait4 gives its own peak RSS, not ours.
Sample runOnce(const QByteArray& program, const std::vector<QByteArray>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.constData())};
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Sample s;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        s.ms = double(t.nsecsElapsed()) / 1e6;
        s.peakMb = double(usage.ru_maxrss) / 1024.0;
        s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

struct Spread
{
    double median, low, high;
};

Spread spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray cli =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/../src/cli/pqlink-cli"))
            .toLocal8Bit();
    SimProcess sim({});
    if (sim.device().isEmpty()) {
        std::fprintf(stderr, "bench_cli: kestrel-sim did not start\n");
        return 1;
    }
    sim.useAsConfigHome();

    constexpr int rounds = 20;
    std::vector<double> measureMs, versionMs, ratios, peakMb;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const Sample floor = runOnce(cli, {"--version"});
        const Sample m = runOnce(cli, {"measure"});
        failures += m.status != 0;
        versionMs.push_back(floor.ms);
        measureMs.push_back(m.ms);
        ratios.push_back(m.ms / floor.ms);
        peakMb.push_back(m.peakMb);
    }
    const Spread ms = spread(measureMs), base = spread(versionMs), ratio = spread(ratios),
                 rss = spread(peakMb);
    std::printf("cli_measure_ms: %.3f  # median of %d, range %.3f..%.3f; target <= 60%s\n",
                ms.median, rounds, ms.low, ms.high, failures ? "; SOME RUNS FAILED" : "");
    std::printf("cli_start_ms: %.3f  # pqlink-cli --version, the floor; range %.3f..%.3f\n",
                base.median, base.low, base.high);
    std::printf(
        "cli_measure_ratio: %.3f  # measure / --version of the same round; range %.3f..%.3f\n",
        ratio.median, ratio.low, ratio.high);
    std::printf("cli_rss_mb: %.3f  # peak RSS of one measure, median of %d, range %.3f..%.3f; "
                "target <= 25\n",
                rss.median, rounds, rss.low, rss.high);
    return failures ? 1 : 0;
}
