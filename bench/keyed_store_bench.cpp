// The keyed store at scale: building a text in 255-character pieces with the
// append-and-move-to-end of CollectionStringAppend, reading it back piece by
// piece, and key and position lookups among many items. The sizes double, so
// a constant time per piece shows the linear growth.
#include <benchmark/benchmark.h>

#include "tarneltools/collection/keyed_store.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {
namespace {

const UString kPiece(255, u'x');

void BM_AppendPieces(benchmark::State& state) {
  const std::int64_t pieces = state.range(0);
  for (auto _ : state) {
    KeyedStore store;
    store.Add(u"other", Variant(1));
    store.Add(u"sql", Variant(u""));
    for (std::int64_t i = 0; i < pieces; ++i) store.AppendText(u"sql", kPiece);
    benchmark::DoNotOptimize(store.Count());
  }
  state.SetItemsProcessed(state.iterations() * pieces);
  state.counters["time_per_piece"] = benchmark::Counter(
      static_cast<double>(state.iterations() * pieces), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// 10 MB of UTF-16 text is about 41,000 pieces of 255 characters.
BENCHMARK(BM_AppendPieces)->RangeMultiplier(2)->Range(5000, 80000)->Unit(benchmark::kMillisecond);

// The same through the control's dispatch interface, as a script calls
// CollectionStringAppend (DISPID looked up once).
void BM_ControlAppendPieces(benchmark::State& state) {
  const std::int64_t pieces = state.range(0);
  for (auto _ : state) {
    ComPtr<AdoControl> ado = AdoControl::Create();
    CallByName(ado->AsDispatch(), u"CollectionAdd", DISPATCH_METHOD, {Variant(u"sql"), Variant(u"")});
    UString name = u"CollectionStringAppend";
    DispId id = DISPID_UNKNOWN;
    ado->GetIDsOfNames(&name, 1, &id);
    Variant key(u"sql");
    Variant piece(kPiece);
    for (std::int64_t i = 0; i < pieces; ++i) {
      Variant args[2] = {Variant::Ref(&piece), Variant::Ref(&key)};  // last first
      DispParams params{args, nullptr, 2, 0};
      ado->Invoke(id, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  }
  state.counters["time_per_piece"] = benchmark::Counter(
      static_cast<double>(state.iterations() * pieces), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ControlAppendPieces)->RangeMultiplier(2)->Range(5000, 80000)->Unit(benchmark::kMillisecond);

void BM_ReadBackPieces(benchmark::State& state) {
  const std::int64_t pieces = state.range(0);
  KeyedStore store;
  store.Add(u"sql", Variant(u""));
  for (std::int64_t i = 0; i < pieces; ++i) store.AppendText(u"sql", kPiece);
  for (auto _ : state) {
    const UString& text = store.Item(Variant(u"sql")).Target().bstrVal();
    std::size_t total = 0;
    for (std::size_t start = 0; start < text.size(); start += 255) total += text.substr(start, 255).size();
    benchmark::DoNotOptimize(total);
  }
  state.counters["time_per_piece"] = benchmark::Counter(
      static_cast<double>(state.iterations() * pieces), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadBackPieces)->RangeMultiplier(2)->Range(5000, 80000)->Unit(benchmark::kMillisecond);

void BM_LookupAmongItems(benchmark::State& state) {
  const std::int32_t n = static_cast<std::int32_t>(state.range(0));
  KeyedStore store;
  for (std::int32_t i = 0; i < n; ++i) store.Add(u"key" + DecimalText(i), Variant(i));
  std::int32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Item(Variant(u"key" + DecimalText(i % n))));
    benchmark::DoNotOptimize(store.Item(Variant(i % n + 1)));
    store.AppendText(u"key" + DecimalText(i % n), u"x");  // move to the end
    ++i;
  }
}
BENCHMARK(BM_LookupAmongItems)->RangeMultiplier(4)->Range(1024, 262144);

}  // namespace
}  // namespace tarnel

BENCHMARK_MAIN();
