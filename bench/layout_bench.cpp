// The wizard's layout of many controls: how long building its pages takes
// (the controls' models, as every platform builds them), for a page file of
// 10,000 named labels and for the same controls over 100 pages.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_Parser.h"
#include "installer-library/SE_Global.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kControls = 10000;
const char* kArchive = "bench-layout.pak";

// Pages.txt and the page files, each page holding its share of the labels.
void WriteLayout(int pages) {
  TPak pak(kArchive, false, true);
  std::string index = "[pages]\r\n";
  for (int p = 0; p < pages; ++p) {
    std::string page;
    for (int i = p * kControls / pages; i < (p + 1) * kControls / pages; ++i)
      page += "[label_" + std::to_string(i) + "]\r\ntype=tlabel\r\nleft=10\r\ntop=" + std::to_string(i % 300) +
              "\r\ncaption=Control " + std::to_string(i) + "\r\n";
    std::string name = "page" + std::to_string(p) + ".txt";
    index += name + "\r\n";
    pak.WriteEntryData(pak.AddEntry(name, "", 0), page.data(), page.size());
  }
  pak.WriteEntryData(pak.AddEntry("Pages.txt", "", 0), index.data(), index.size());
  pak.WriteTable();
}

void BuildPages(benchmark::State& state) {
  WriteLayout(static_cast<int>(state.range(0)));
  TPak archive(kArchive, false, false);
  SetupArchive = &archive;
  for (auto _ : state) {
    TPanel panel(nullptr);
    TTntButton back(nullptr), next(nullptr), cancel(nullptr), language(nullptr);
    TSEPageControl pages(&back, &panel, &language, &cancel, &next);
    pages.LoadFromFile("Pages.txt");
    if (panel.Children().size() != kControls) state.SkipWithError("controls missing");
  }
  SetupArchive = nullptr;
  std::remove(kArchive);
}

}  // namespace

BENCHMARK(BuildPages)->ArgName("pages")->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
  platform::SetMessageBoxHandler([](const std::string& text, const std::string&, unsigned) {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return platform::kIdOk;
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\n%d controls of a layout (target: well under a second to build)\n", kControls);
  benchmark::Shutdown();
}
