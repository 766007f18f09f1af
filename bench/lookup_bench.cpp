// Callsign lookups per second over 10,000 callsigns: the simulator's reference tables when
// they are there (data/simulator/db), else synthetic prefix tables of the same shape. The
// callsigns are pseudo-random: home calls of many entities, some portable forms, some with
// an individual entry, some that no row places. BM_LookupCallsigns is the lookup as built,
// BM_LookupCallsignsRowByRow the plain walk it replaced (tests/app/lookup_reference.h), over
// the same list; BM_LookupLoad reads the three rowset files and makes the lookup, which
// compiles and indexes every pattern; BM_LookupMake only the latter.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/lookup.h"
#include "platform/qt/xmlrowset.h"
#include "tests/app/lookup_reference.h"

// Heap blocks taken, counted where every allocation of the process passes (Qt's included):
// the "allocs" counter of the lookups, which should be nothing for most callsigns.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
namespace {
std::atomic<std::uint64_t> GAllocations{0};
}
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t Size) {
  GAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(Size);
}
extern "C" void* calloc(std::size_t Count, std::size_t Size) {
  GAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(Count, Size);
}
extern "C" void* realloc(void* Block, std::size_t Size) {
  GAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(Block, Size);
}
static std::uint64_t Allocations() { return GAllocations.load(std::memory_order_relaxed); }
#else
static std::uint64_t Allocations() { return 0; }
#endif

namespace orvane {
namespace {

using platform::TMemoryRecordSet;

constexpr int kCallsigns = 10'000;

struct TTables {
  std::unique_ptr<TMemoryRecordSet> Unique, Province, DXCC;
  std::vector<QString> Calls;
  std::string Label;  // where the tables come from and their sizes
};

class TRandom {
 public:
  std::uint32_t Next(std::uint32_t Range) {
    FSeed = FSeed * 1664525u + 1013904223u;
    return (FSeed >> 8) % Range;
  }

 private:
  std::uint32_t FSeed = 12345;
};

/// Entities of two-letter prefixes AA … ZZ in a few hundred rows, as "^(?:XY|XZ)[A-Z0-9/]*$".
void MakeSyntheticTables(TTables& T) {
  std::vector<std::vector<std::string>> dxcc;
  std::vector<std::vector<std::string>> province;
  for (char a = 'A'; a <= 'Z'; ++a)
    for (char b = 'A'; b <= 'Y'; b += 2) {
      const std::string p1{a, b}, p2{a, static_cast<char>(b + 1)};
      dxcc.push_back(
          {p1, "^(?:" + p1 + "|" + p2 + ")[A-Z0-9/]*$", "Active", "", "10.00E", "50.00N"});
      if (b == 'A')
        province.push_back({p1 + "9", "^(?:" + p1 + "9)[A-Z0-9/]*$", "", "11.00E", "51.00N"});
    }
  T.DXCC = std::make_unique<TMemoryRecordSet>(
      std::vector<std::string>{"Country", "PrefixList", "Status", "EndDate", "Longitude",
                               "Latitude"},
      dxcc);
  T.Province = std::make_unique<TMemoryRecordSet>(
      std::vector<std::string>{"Province", "PrefixList", "EndDate", "Longitude", "Latitude"},
      province);
  std::vector<std::vector<std::string>> unique;
  for (int i = 0; i < 10'000; ++i)
    unique.push_back(
        {std::to_string(i + 1), "Q" + std::to_string(i) + "X", "", "", "1.00E", "1.00N"});
  T.Unique = std::make_unique<TMemoryRecordSet>(
      std::vector<std::string>{"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"},
      unique);
}

const TTables& Tables() {
  static const TTables tables = [] {
    TTables t;
    const std::filesystem::path db =
        std::filesystem::path(ORVANE_SOURCE_DIR) / "data" / "simulator" / "db";
    if (std::filesystem::exists(db / "CountryDataEx.xml") &&
        std::filesystem::exists(db / "Province.xml") &&
        std::filesystem::exists(db / "UniqueCalls.xml")) {
      t.DXCC = platform::LoadXmlRowset((db / "CountryDataEx.xml").string());
      t.Province = platform::LoadXmlRowset((db / "Province.xml").string());
      t.Unique = platform::LoadXmlRowset((db / "UniqueCalls.xml").string());
      t.Label = "simulator tables";
    } else {
      MakeSyntheticTables(t);
      t.Label = "synthetic tables";
    }
    t.Label += ", " + std::to_string(t.DXCC->RecordCount()) + " entities, " +
               std::to_string(t.Province->RecordCount()) + " provinces, " +
               std::to_string(t.Unique->RecordCount()) + " individual calls";
    // Home calls of the prefixes in use, with portable forms and individual entries mixed in.
    static const char* const kPrefixes[] = {"DL", "K",   "W",  "N",  "JA",  "VK", "UA", "UA9",
                                            "G",  "F",   "I",  "EA", "EA8", "PY", "LU", "ZS",
                                            "VE", "KH6", "OH", "SM", "SP",  "OK", "HA", "YB",
                                            "BY", "HL",  "VU", "CE", "XE",  "ZL", "5Z", "9A"};
    TRandom random;
    std::vector<std::string> individual;
    for (t.Unique->First(); !t.Unique->Eof() && individual.size() < 500; t.Unique->Next())
      individual.push_back(t.Unique->FieldByName("Callsign"));
    for (int i = 0; i < kCallsigns; ++i) {
      std::string call;
      const auto kind = random.Next(20);
      if (kind == 0 && !individual.empty()) {
        call = individual[random.Next(static_cast<std::uint32_t>(individual.size()))];
      } else {
        call = kPrefixes[random.Next(std::size(kPrefixes))];
        call += static_cast<char>('0' + random.Next(10));
        for (std::uint32_t n = 1 + random.Next(3); n > 0; --n)
          call += static_cast<char>('A' + random.Next(26));
        if (kind == 1) call = "EA8/" + call;
        if (kind == 2) call += "/P";
        if (kind == 3) call += "/QRP";
        if (kind == 4) call = "0Q" + call;  // placed by no row
      }
      t.Calls.push_back(QString::fromStdString(call));
    }
    return t;
  }();
  return tables;
}

template <class TLookupKind>
void LookupCallsigns(benchmark::State& State) {
  const TTables& t = Tables();
  TLookupKind lookup(*t.Unique, *t.Province, *t.DXCC, QLocale(QLocale::C));
  const QDateTime now(QDate(2026, 12, 10), QTime(12, 0));
  QString lon, lat;
  std::size_t i = 0, found = 0;
  const std::uint64_t allocationsBefore = Allocations();
  for (auto _ : State) {
    found += lookup.FindCountry(t.Calls[i], now, lon, lat) ? 1 : 0;
    if (++i == t.Calls.size()) i = 0;
  }
  State.SetItemsProcessed(State.iterations());
  State.SetLabel(t.Label);
  State.counters["placed"] =
      benchmark::Counter(static_cast<double>(found) / static_cast<double>(State.iterations()));
  State.counters["allocs"] =
      benchmark::Counter(static_cast<double>(Allocations() - allocationsBefore) /
                         static_cast<double>(State.iterations()));
}

void BM_LookupCallsigns(benchmark::State& State) { LookupCallsigns<TCallsignLookup>(State); }
BENCHMARK(BM_LookupCallsigns);

void BM_LookupCallsignsRowByRow(benchmark::State& State) {
  LookupCallsigns<reference::TLookup>(State);
}
BENCHMARK(BM_LookupCallsignsRowByRow);

void BM_LookupLoad(benchmark::State& State) {
  const std::filesystem::path db =
      std::filesystem::path(ORVANE_SOURCE_DIR) / "data" / "simulator" / "db";
  if (!std::filesystem::exists(db / "CountryDataEx.xml")) {
    State.SkipWithError("no simulator tables");
    return;
  }
  for (auto _ : State) {
    const auto dxcc = platform::LoadXmlRowset((db / "CountryDataEx.xml").string());
    const auto province = platform::LoadXmlRowset((db / "Province.xml").string());
    const auto unique = platform::LoadXmlRowset((db / "UniqueCalls.xml").string());
    TCallsignLookup lookup(*unique, *province, *dxcc, QLocale(QLocale::C));
    benchmark::DoNotOptimize(&lookup);
  }
}
BENCHMARK(BM_LookupLoad)->Unit(benchmark::kMillisecond);

void BM_LookupMake(benchmark::State& State) {
  const TTables& t = Tables();
  const QDateTime now(QDate(2026, 12, 10), QTime(12, 0));
  QString lon, lat;
  for (auto _ : State) {
    TCallsignLookup lookup(*t.Unique, *t.Province, *t.DXCC, QLocale(QLocale::C));
    // Placed by no row: the first lookup tries every candidate of both tables.
    benchmark::DoNotOptimize(lookup.FindCountry(QStringLiteral("0QQ0QQ"), now, lon, lat));
  }
}
BENCHMARK(BM_LookupMake)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
