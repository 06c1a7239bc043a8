#pragma once

// Side-by-side timing against a peer implementation of the same work. A case is registered twice,
// as "<case>/ours" and "<case>/peer:<who>"; after the run one line per case gives peer time over
// our time (the median of the repetitions, real time), so 1.0 or more means we are at least level.
//
// By default every case runs 11 repetitions, interleaved at random with the other benchmarks of the
// program, so that both sides of a pair see the same machine state; flags given on the command
// line win.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace k7bench {

class PeerRatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that logs stay plain text.
    PeerRatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OutputOptions(OO_Color | OO_Tabular) : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            // The median of repetitions, or the single run without repetitions.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && !(run.run_type == Run::RT_Iteration && run.repetitions <= 1)) continue;
            auto [key, side] = split(run.run_name.function_name);
            if (side.empty()) continue;
            if (!run.run_name.args.empty()) key += "/" + run.run_name.args;
            Pair& pair = pairs_[key];
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (side == "ours") {
                pair.ours = seconds;
            } else {
                pair.peer = seconds;
                pair.peerName = side;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        auto& out = GetOutputStream();
        out << "\nPeer time / our time (median of repetitions; 1.0 or more: ours at least level)\n";
        for (const auto& [key, pair] : pairs_) {
            if (pair.ours <= 0 || pair.peer <= 0) continue;
            char line[256];
            std::snprintf(line, sizeof line, "  %-44s %6.2f x  against %s\n", key.c_str(),
                          pair.peer / pair.ours, pair.peerName.c_str());
            out << line;
        }
    }

private:
    struct Pair {
        double ours = 0;
        double peer = 0;
        std::string peerName;
    };

    // "Case/ours" -> {"Case", "ours"}; "Case/peer:who" -> {"Case", "peer:who"}.
    static std::pair<std::string, std::string> split(const std::string& name) {
        std::string key;
        std::string side;
        std::size_t start = 0;
        while (start <= name.size()) {
            const std::size_t end = std::min(name.find('/', start), name.size());
            const std::string_view part(name.data() + start, end - start);
            if (part == "ours" || part.rfind("peer", 0) == 0) {
                side = part;
            } else {
                if (!key.empty()) key += '/';
                key += part;
            }
            start = end + 1;
        }
        return {key, side};
    }

    std::map<std::string, Pair> pairs_;
};

inline int runWithPeerRatios(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    const auto given = [&](std::string_view flag) {
        return std::any_of(args.begin(), args.end(),
                           [&](const char* arg) { return std::string_view(arg).rfind(flag, 0) == 0; });
    };
    static char repetitions[] = "--benchmark_repetitions=11";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char aggregates[] = "--benchmark_display_aggregates_only=true";
    if (!given("--benchmark_repetitions")) args.push_back(repetitions);
    if (!given("--benchmark_enable_random_interleaving")) args.push_back(interleave);
    if (!given("--benchmark_display_aggregates_only") && !given("--benchmark_report_aggregates_only")) {
        args.push_back(aggregates);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    PeerRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace k7bench

// Replaces benchmark_main in a program that compares itself with peers.
#define K7_BENCHMARK_MAIN_WITH_PEER_RATIOS() \
    int main(int argc, char** argv) { return k7bench::runWithPeerRatios(argc, argv); }
