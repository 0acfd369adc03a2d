// Packets per second through the codec: build+encode of a control package,
// and decode+parse of a device information packet, on one core.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "protocol/answer_codec.h"
#include "protocol/codec.h"
#include "records.h"

namespace {

tComUnitInfo SampleDevice() {
  return MakeRecord({.model = "M100", .proj = "P1", .name = "Lobby camera", .ip = "192.168.0.20",
                     .trigger_port = "80", .netmask = "255.255.255.0", .gateway = "192.168.0.1",
                     .dns = "192.168.0.1", .mac = "00:11:22:33:44:55", .dev = "D1", .note = "x"});
}

void BuildAndEncode(benchmark::State& state) {
  NullLog log;
  tComUnitInfo info = SampleDevice();
  std::vector<char> out(kPacketBufferSize);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildPacket(1, out.data(), out.size(), &info, log));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildAndEncode);

void DecodeAndParse(benchmark::State& state) {
  NullLog log;
  tComUnitInfo info = SampleDevice();
  std::vector<char> encoded(kPacketBufferSize);
  BuildPacket(1, encoded.data(), encoded.size(), &info, log);
  std::size_t len = std::strlen(encoded.data());
  std::vector<unsigned char> decoded(kPacketBufferSize);
  std::size_t dirty = 0;
  for (auto _ : state) {
    std::size_t n = DecodeAnswer(encoded.data(), len, decoded.data(), decoded.size(), &dirty);
    tComUnitInfo parsed{};
    benchmark::DoNotOptimize(ParseReply(reinterpret_cast<char*>(decoded.data()), n, &parsed, log));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeAndParse);

}  // namespace

BENCHMARK_MAIN();
