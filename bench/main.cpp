// The benchmark program's entry: runs every benchmark with the console
// reporter, then prints each figure a benchmark reported as a counter named
// "figure:NAME" as a line "NAME: VALUE", the lines the issue notes quote.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr std::string_view kFigurePrefix = "figure:";

class FigureReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      for (const auto& [name, counter] : run.counters) {
        if (name.starts_with(kFigurePrefix)) {
          figures_[name.substr(kFigurePrefix.size())] = counter.value;
        }
      }
    }
  }

  void PrintFigures() const {
    std::printf("\n");
    for (const auto& [name, value] : figures_) {
      std::printf("%s: %.3f\n", name.c_str(), value);
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, double> figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FigureReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintFigures();
  benchmark::Shutdown();
  return 0;
}
