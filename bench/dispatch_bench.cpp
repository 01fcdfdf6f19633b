// The cost of late binding: a call through Invoke by a DISPID the caller
// has cached, with two integer arguments, the same call made directly, and
// the GetIDsOfNames lookup that finds the DISPID. All use a small
// table-driven object, as every object of the platform is.
#include <benchmark/benchmark.h>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"

namespace tarnel {
namespace {

class Adder final : public DispatchObject<Adder> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(
        u"_Adder", MakeGuid("9D000000-0000-4000-8000-000000000001"), TypeKind::Dispatch,
        {
            {1, u"Add", MemberKind::Method, {{u"a", VT_I4, false}, {u"b", VT_I4, false}}, VT_I4, Bind<&Adder::Add>()},
            {2, u"Total", MemberKind::Get, {}, VT_I4, Bind<&Adder::Total>()},
            {3, u"AddToTotal", MemberKind::Method, {{u"amount", VT_I4}}, VT_I4, Bind<&Adder::AddToTotal>()},
            {4, u"Reset", MemberKind::Method, {}, VT_EMPTY, Bind<&Adder::Reset>()},
            {5, u"Measure", MemberKind::Method, {{u"text", VT_BSTR}, {u"extra", VT_I4}}, VT_I4,
             Bind<&Adder::Measure>()},
        });
    return type;
  }
  static const CoClassInfo* Class() { return nullptr; }

  std::int32_t Add(std::int32_t& a, std::int32_t& b) { return a + b; }
  std::int32_t Total() { return total_; }
  std::int32_t AddToTotal(std::int32_t& amount) { return total_ += amount; }
  void Reset() { total_ = 0; }
  std::int32_t Measure(UString& text, std::int32_t& extra) { return static_cast<std::int32_t>(text.size()) + extra; }

 private:
  std::int32_t total_ = 0;
};

// Invoke by a cached DISPID with two integers by value.
void BM_InvokeByDispId(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  Variant args[2] = {Variant(2), Variant(40)};  // last first
  DispParams params;
  params.rgvarg = args;
  params.cArgs = 2;
  Variant result;
  for (auto _ : state) {
    HRESULT hr = adder->Invoke(1, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(result.lVal());
  }
  if (result.lVal() != 42) state.SkipWithError("wrong result");
}
BENCHMARK(BM_InvokeByDispId);

// The same with the arguments by reference, as the script host passes them.
void BM_InvokeByDispIdByReference(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  Variant a(40);
  Variant b(2);
  Variant args[2] = {Variant::Ref(&b), Variant::Ref(&a)};
  DispParams params;
  params.rgvarg = args;
  params.cArgs = 2;
  Variant result;
  for (auto _ : state) {
    HRESULT hr = adder->Invoke(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(hr);
  }
  if (result.lVal() != 42) state.SkipWithError("wrong result");
}
BENCHMARK(BM_InvokeByDispIdByReference);

// A string and an integer by reference: copied in and out (0), or worked
// on in place because the caller says they are its own temporaries (1),
// as the script host does.
void BM_InvokeStringByReference(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  Variant text(u"a field name of some length");
  Variant extra(2);
  Variant args[2] = {Variant::Ref(&extra), Variant::Ref(&text)};
  DispParams params;
  params.rgvarg = args;
  params.cArgs = 2;
  auto flags = static_cast<std::uint16_t>(DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  if (state.range(0) != 0) flags |= DISPATCH_ARGS_IN_PLACE;
  Variant result;
  for (auto _ : state) {
    HRESULT hr = adder->Invoke(5, flags, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(hr);
  }
  if (result.lVal() != 29) state.SkipWithError("wrong result");
}
BENCHMARK(BM_InvokeStringByReference)->Arg(0)->Arg(1);

// The same member called directly, as the script host calls a member
// whose parameters are Longs and Strings: no Variants, no argument block.
void BM_DirectStringCall(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  void* out = nullptr;
  if (Failed(adder->QueryInterface(IID_DirectCall, &out)) || !out) {
    state.SkipWithError("no direct calls");
    return;
  }
  auto* direct = static_cast<DirectCall*>(out);
  direct->Release();  // the same object, which adder keeps alive
  const MemberDesc& member = *Adder::Type().Find(5, DISPATCH_METHOD);
  UString text = u"a field name of some length";
  DirectArg args[2] = {{0, &text}, {2, nullptr}};
  DirectResult result;
  for (auto _ : state) {
    HRESULT hr = direct->CallDirect(member, args, &result, nullptr);
    benchmark::DoNotOptimize(hr);
  }
  if (result.value.lVal() != 29) state.SkipWithError("wrong result");
}
BENCHMARK(BM_DirectStringCall);

// Name to DISPID, without regard to case.
void BM_GetIDsOfNames(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  const UString name = u"addToTotal";
  DispId id = DISPID_UNKNOWN;
  for (auto _ : state) {
    HRESULT hr = adder->GetIDsOfNames(&name, 1, &id);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(id);
  }
  if (id != 3) state.SkipWithError("wrong DISPID");
}
BENCHMARK(BM_GetIDsOfNames);

// The full late-bound call by name: lookup then Invoke.
void BM_CallByName(benchmark::State& state) {
  ComPtr<Adder> adder = MakeObject<Adder>();
  for (auto _ : state) {
    Variant r = CallByName(adder.get(), u"Add", DISPATCH_METHOD, {Variant(1), Variant(2)});
    benchmark::DoNotOptimize(r.lVal());
  }
}
BENCHMARK(BM_CallByName);

}  // namespace
}  // namespace tarnel

BENCHMARK_MAIN();
