// Script storage speed: loading a 10 MB script with 50,000 sections, and lookups by name.
//   build-<you>/bench/script_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// Baselines in the same run: plain UTF-8 decoding of the same bytes (a floor for loading), and
// an unordered_map lookup of the same keys (for the lookups).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "script/ini_file.h"

// Counting allocator: live and peak bytes of this program's heap.
namespace {
std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};
constexpr size_t kHeader = 16;

void* CountedAlloc(size_t n) {
  auto* p = static_cast<char*>(std::malloc(n + kHeader));
  if (!p) throw std::bad_alloc();
  *reinterpret_cast<size_t*>(p) = n;
  int64_t live = g_live.fetch_add(static_cast<int64_t>(n)) + static_cast<int64_t>(n);
  int64_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p + kHeader;
}

void CountedFree(void* q) {
  if (!q) return;
  char* p = static_cast<char*>(q) - kHeader;
  g_live.fetch_sub(static_cast<int64_t>(*reinterpret_cast<size_t*>(p)));
  std::free(p);
}
}  // namespace

void* operator new(size_t n) { return CountedAlloc(n); }
void* operator new[](size_t n) { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace zem {
namespace {

constexpr int kKeysPerSection = 8;

std::string SectionName(int i) { return "Slide" + std::to_string(i); }
std::string KeyName(int k) { return "Key" + std::to_string(k); }

// A UTF-8 script with a byte-order mark: `sections` sections of kKeysPerSection keys each, padded
// so that the whole text is about `target_bytes`.
std::string MakeScript(int sections, size_t target_bytes) {
  size_t per_section = target_bytes / static_cast<size_t>(sections);
  std::string text = "\xEF\xBB\xBF; generated show script\r\n";
  text.reserve(target_bytes + 1024);
  for (int i = 0; i < sections; ++i) {
    size_t start = text.size();
    text += "[" + SectionName(i) + "]\r\n";
    for (int k = 0; k < kKeysPerSection; ++k)
      text += KeyName(k) + "=" + std::to_string(i * 31 + k) + "\r\n";
    size_t used = text.size() - start;
    if (used + 12 < per_section) text += "; " + std::string(per_section - used - 4, 'x') + "\r\n";
  }
  return text;
}

const std::string& TenMegabytes() {
  static const std::string text = MakeScript(50000, 10u << 20);
  return text;
}

long MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void BM_LoadScript(benchmark::State& state) {
  const std::string& text = TenMegabytes();
  int64_t storage_bytes = 0, peak_bytes = 0;
  for (auto _ : state) {
    int64_t base = g_live.load();
    g_peak.store(base);
    auto ini = std::make_unique<TIniFile>();
    TBufferStream stream(text.data(), static_cast<int64_t>(text.size()));
    if (!ini->LoadFromStream(stream)) state.SkipWithError("load failed");
    storage_bytes = g_live.load() - base;
    peak_bytes = g_peak.load() - base;
    benchmark::DoNotOptimize(ini.get());
    state.PauseTiming();
    ini.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.counters["input_MB"] = static_cast<double>(text.size()) / (1 << 20);
  state.counters["storage_MB"] = static_cast<double>(storage_bytes) / (1 << 20);
  state.counters["peak_MB"] = static_cast<double>(peak_bytes) / (1 << 20);
  state.counters["maxrss_MB"] = static_cast<double>(MaxRssKb()) / 1024;
}
BENCHMARK(BM_LoadScript)->Unit(benchmark::kMillisecond);

// Floor for loading: decode the same bytes to UTF-16 and count the lines.
void BM_LoadBaselineDecode(benchmark::State& state) {
  const std::string& text = TenMegabytes();
  for (auto _ : state) {
    WideString w = Utf8ToWide(text);
    size_t lines = 0;
    for (char16_t c : w) lines += c == u'\n';
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LoadBaselineDecode)->Unit(benchmark::kMillisecond);

struct TLookupCase {
  std::vector<WideString> sections, keys;
};

TLookupCase MakeLookups(int sections) {
  std::mt19937 rng(7);
  TLookupCase c;
  for (int i = 0; i < 4096; ++i) {
    c.sections.push_back(Utf8ToWide(SectionName(static_cast<int>(rng() % static_cast<unsigned>(sections)))));
    c.keys.push_back(Utf8ToWide(KeyName(static_cast<int>(rng() % kKeysPerSection))));
  }
  return c;
}

// FindSection + ReadString on storages of 1,000 to 50,000 sections: the time per lookup stays flat.
void BM_Lookup(benchmark::State& state) {
  int sections = static_cast<int>(state.range(0));
  std::string text = MakeScript(sections, static_cast<size_t>(sections) * 200);
  TIniFile ini;
  if (!ini.LoadFromBytes(text.data(), text.size())) state.SkipWithError("load failed");
  TLookupCase c = MakeLookups(sections);
  size_t i = 0, found = 0;
  for (auto _ : state) {
    const TIniSection* s = ini.FindSection(c.sections[i]);
    WideString v = s ? s->ReadString(c.keys[i], u"") : WideString();
    found += !v.empty();
    benchmark::DoNotOptimize(v);
    i = (i + 1) & 4095;
  }
  if (static_cast<int64_t>(found) != state.iterations()) state.SkipWithError("missing keys");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Lookup)->Arg(1000)->Arg(10000)->Arg(50000);

// ReadString in one section of 8 to 2,500 keys: flat while the keys stay near one per bucket
// (251 buckets), then growing with the chains.
void BM_KeyLookup(benchmark::State& state) {
  int keys = static_cast<int>(state.range(0));
  WideString text = u"[s]\n";
  for (int k = 0; k < keys; ++k) text += Utf8ToWide(KeyName(k)) + u"=v\n";
  TIniFile ini;
  if (!ini.LoadFromText(text)) state.SkipWithError("load failed");
  const TIniSection* s = ini.FindSection(u"s");
  std::mt19937 rng(7);
  std::vector<WideString> names;
  for (int i = 0; i < 4096; ++i) names.push_back(Utf8ToWide(KeyName(static_cast<int>(rng() % static_cast<unsigned>(keys)))));
  size_t i = 0;
  for (auto _ : state) {
    WideString v = s->ReadString(names[i], u"");
    benchmark::DoNotOptimize(v);
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_KeyLookup)->Arg(8)->Arg(250)->Arg(2500);

// Baseline: a hash map from lower-case "section/key" to the value.
void BM_LookupBaselineHashMap(benchmark::State& state) {
  int sections = static_cast<int>(state.range(0));
  std::unordered_map<WideString, WideString> map;
  for (int s = 0; s < sections; ++s)
    for (int k = 0; k < kKeysPerSection; ++k)
      map[LowerCase(Utf8ToWide(SectionName(s))) + u"/" + LowerCase(Utf8ToWide(KeyName(k)))] = u"value";
  TLookupCase c = MakeLookups(sections);
  size_t i = 0;
  for (auto _ : state) {
    auto it = map.find(LowerCase(c.sections[i]) + u"/" + LowerCase(c.keys[i]));
    WideString v = it != map.end() ? it->second : WideString();
    benchmark::DoNotOptimize(v);
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_LookupBaselineHashMap)->Arg(1000)->Arg(50000);

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
