// modcarta-web as an operator meets it, measured by bench/web_bench.mjs (headless chromium
// driven by playwright-core, and the same program in tmux) and reported here as counters, so
// that the figures come from one place and run with the other benchmarks:
//
//   BM_PageTurnKeyToScreen   100 page turns on panel 3 (PgDn to the next department, PgUp
//                            back): keydown to xterm.js's render of the new card, beside the
//                            same keys sent to tmux until its pane shows the card; medians and
//                            p90s in milliseconds, and the browser's median minus tmux's; the
//                            parsed_ figures stop at xterm.js's parse of the output, before the
//                            browser's next animation frame paints it
//   BM_LoginToFirstScreen    the click on "Log in" to the first screen rendered, 5 logins
//   BM_TwentySessions        20 browser sessions on one server: MiB per session (modcarta-web
//                            plus its modcarta children, RSS and PSS), sessions answering F4
//
// Each is one run of the script (a few seconds to a minute); the iteration time reported is the
// browser's median (or the login's), the rest are counters. Needs node, chromium, tmux and the
// npm packages of tools/web (scripts/setup).
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "bench/support/installation.h"

namespace {

// Runs one part of the script and answers its JSON line, or nothing when it failed.
std::optional<nlohmann::json> RunPart(const std::string& part) {
  std::string command = "MODCARTA_BIN_DIR='" + bench_support::BinDir() + "' MODCARTA_SOURCE_DIR='" +
                        bench_support::SourceDir() + "' node '" + bench_support::SourceDir() +
                        "/bench/web_bench.mjs' --json " + part;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  if (::pclose(pipe) != 0) return std::nullopt;
  for (std::size_t start = 0; start < out.size();) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    nlohmann::json line = nlohmann::json::parse(out.substr(start, end - start), nullptr, false);
    if (!line.is_discarded() && line.is_object() && line.value("part", "") == part) return line;
    start = end + 1;
  }
  return std::nullopt;
}

double Number(const nlohmann::json& j, const char* a, const char* b = nullptr) {
  const nlohmann::json& v = b == nullptr ? j.at(a) : j.at(a).at(b);
  return v.get<double>();
}

void BM_PageTurnKeyToScreen(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<nlohmann::json> r = RunPart("keys");
    if (!r) {
      state.SkipWithError("bench/web_bench.mjs keys failed (node, chromium, tmux and scripts/setup's npm packages?)");
      return;
    }
    state.SetIterationTime(Number(*r, "browser", "median") / 1000.0);
    state.counters["browser_median_ms"] = Number(*r, "browser", "median");
    state.counters["browser_p90_ms"] = Number(*r, "browser", "p90");
    state.counters["parsed_median_ms"] = Number(*r, "browser_parsed", "median");
    state.counters["parsed_p90_ms"] = Number(*r, "browser_parsed", "p90");
    state.counters["tmux_median_ms"] = Number(*r, "tmux", "median");
    state.counters["tmux_p90_ms"] = Number(*r, "tmux", "p90");
    state.counters["difference_ms"] = Number(*r, "median_difference");
    state.counters["turns"] = Number(*r, "browser", "count");
  }
}

void BM_LoginToFirstScreen(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<nlohmann::json> r = RunPart("login");
    if (!r) {
      state.SkipWithError("bench/web_bench.mjs login failed");
      return;
    }
    state.SetIterationTime(Number(*r, "median") / 1000.0);
    state.counters["median_ms"] = Number(*r, "median");
    state.counters["p90_ms"] = Number(*r, "p90");
  }
}

void BM_TwentySessions(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<nlohmann::json> r = RunPart("sessions");
    if (!r) {
      state.SkipWithError("bench/web_bench.mjs sessions failed");
      return;
    }
    state.SetIterationTime(1.0);
    state.counters["rss_per_session_mib"] = Number(*r, "rss_per_session_mib");
    state.counters["pss_per_session_mib"] = Number(*r, "pss_per_session_mib");
    state.counters["modcarta_rss_mib"] = Number(*r, "program_rss_mib");
    state.counters["server_rss_mib"] = Number(*r, "server_rss_mib");
    state.counters["answering"] = Number(*r, "answering");
    state.counters["programs"] = Number(*r, "programs");
    if (Number(*r, "answering") != Number(*r, "sessions")) state.SkipWithError("a session stopped answering");
  }
}

}  // namespace

BENCHMARK(BM_PageTurnKeyToScreen)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoginToFirstScreen)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwentySessions)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
