// Formatting costs of the values layer: the operations a screen redraw calls per field.
#include <benchmark/benchmark.h>

#include <string>

#include "values/date_text.h"
#include "values/dates.h"
#include "values/numbers.h"
#include "values/pictures.h"
#include "values/text.h"

namespace {

void BM_FormatPicture(benchmark::State& state) {
  double v = 1234.56;
  for (auto _ : state) {
    benchmark::DoNotOptimize(values::FormatPicture("ZZ,ZZZ,ZZ9.99", v, {}));
    v += 0.01;
  }
}
BENCHMARK(BM_FormatPicture);

void BM_FormatAmount(benchmark::State& state) {
  double cents = 123456;
  for (auto _ : state) {
    benchmark::DoNotOptimize(values::FormatAmount("Z,ZZZ,ZZZ,ZZ9", cents, {}));
    cents += 1;
  }
}
BENCHMARK(BM_FormatAmount);

void BM_NumberText(benchmark::State& state) {
  double v = 12.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(values::NumberText(v));
    v += 0.25;
  }
}
BENCHMARK(BM_NumberText);

void BM_ParseAndCheckDate(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(values::CheckDate("15/10/26", 2026));
    benchmark::DoNotOptimize(values::ParseDate("15/10/26", 2026));
  }
}
BENCHMARK(BM_ParseAndCheckDate);

void BM_DateTextLong(benchmark::State& state) {
  const auto date = values::PackDate(2026, 4, 5);
  for (auto _ : state) {
    benchmark::DoNotOptimize(values::DateText(date, 2, "DMA", "CAT", {}));
  }
}
BENCHMARK(BM_DateTextLong);

// A calendar pop-up month: the weekday of every day.
void BM_WeekdaysOfAMonth(benchmark::State& state) {
  for (auto _ : state) {
    for (int d = 1; d <= 31; ++d) benchmark::DoNotOptimize(values::Weekday(values::PackDate(2026, 12, d)));
  }
}
BENCHMARK(BM_WeekdaysOfAMonth);

void BM_DaysBetweenCenturies(benchmark::State& state) {
  const auto a = values::PackDate(1200, 3, 1);
  const auto b = values::PackDate(9999, 12, 31);
  for (auto _ : state) benchmark::DoNotOptimize(values::DaysBetween(a, b));
}
BENCHMARK(BM_DaysBetweenCenturies);

// A message box text of a few lines at width 76.
void BM_WrapTextMessage(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "El registre est\x85 bloquejat per una altra estaci\xa2; ";
  for (auto _ : state) benchmark::DoNotOptimize(values::WrapText(text, 0, 76, "A"));
}
BENCHMARK(BM_WrapTextMessage);

void BM_FoldText(benchmark::State& state) {
  const std::string text(80, '\x87');
  for (auto _ : state) benchmark::DoNotOptimize(values::FoldText(text, true));
}
BENCHMARK(BM_FoldText);

}  // namespace

BENCHMARK_MAIN();
