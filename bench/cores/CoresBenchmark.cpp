// Run time of the page parser on a full page and on hostile texts of growing size; the hostile
// runs must grow linearly with the text.
#include "lookup/ExtractLocation.h"
#include "proxylist/ExtractProxyEntries.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrovan {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

std::u16string decimal(long long i) {
    std::u16string digits;
    for (const char c : std::to_string(i)) {
        digits += static_cast<char16_t>(c);
    }
    return digits;
}

std::u16string fullPage() {
    std::u16string text = u"免费代理列表\r\n";
    for (int i = 1; i <= kMaxProxyEntries; ++i) {
        text += decimal(i) + u"10.0." + decimal(i / 256) + u"." + decimal(i % 256) + u":8080ok\r\n";
    }
    return text;
}

// Digits and "1"s everywhere, no terminator at all.
std::u16string digitsWithoutTerminator(std::size_t size) {
    std::u16string text;
    for (long long i = 1; text.size() < size; ++i) {
        text += decimal(i);
    }
    text.resize(size);
    return text;
}

// Many terminators between runs of digits that never form the next marker, so that the search
// for marker 2 crosses the whole text while passing "ok" after "ok".
std::u16string terminatorsWithoutMarkers(std::size_t size) {
    std::u16string text = u"1";
    while (text.size() < size) {
        text += u"13ok90ok";
    }
    text.resize(size);
    return text;
}

// Markers present up to 990, each far from the last: the whole text is crossed in steps.
std::u16string widelySpacedMarkers(std::size_t size) {
    const std::size_t gap = size / kMaxProxyEntries;
    std::u16string text;
    for (int i = 1; i <= kMaxProxyEntries; ++i) {
        text += decimal(i) + u"h:80ok" + std::u16string(gap, u'-');
    }
    return text;
}

void runParser(benchmark::State& state, const std::u16string& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExtractProxyEntries(text));
    }
    state.SetComplexityN(static_cast<std::int64_t>(text.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * sizeof(char16_t)));
}

void BM_FullPage(benchmark::State& state) {
    runParser(state, fullPage());
}

void BM_DigitsWithoutTerminator(benchmark::State& state) {
    runParser(state, digitsWithoutTerminator(static_cast<std::size_t>(state.range(0)) * kMiB));
}

void BM_TerminatorsWithoutMarkers(benchmark::State& state) {
    runParser(state, terminatorsWithoutMarkers(static_cast<std::size_t>(state.range(0)) * kMiB));
}

void BM_WidelySpacedMarkers(benchmark::State& state) {
    runParser(state, widelySpacedMarkers(static_cast<std::size_t>(state.range(0)) * kMiB));
}

void BM_LocationWithoutSecondMarker(benchmark::State& state) {
    std::u16string text = u"参考数据一：本站主数据：";
    text.append(static_cast<std::size_t>(state.range(0)) * kMiB, u'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExtractLocation(text));
    }
    state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_FullPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DigitsWithoutTerminator)
    ->RangeMultiplier(2)
    ->Range(1, 10)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerminatorsWithoutMarkers)
    ->RangeMultiplier(2)
    ->Range(1, 10)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WidelySpacedMarkers)
    ->RangeMultiplier(2)
    ->Range(1, 10)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocationWithoutSecondMarker)
    ->RangeMultiplier(2)
    ->Range(1, 8)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrovan

BENCHMARK_MAIN();
