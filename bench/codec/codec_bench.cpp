// Packets per second through the codec: build+encode of a control package,
// and decode+parse of a device information packet, on one core.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "protocol/answer_codec.h"
#include "protocol/codec.h"

namespace {

tComUnitInfo SampleDevice() {
  tComUnitInfo info{};
  SetField(info.model, "M100");
  SetField(info.proj, "P1");
  SetField(info.name, "Lobby camera");
  SetField(info.ip, "192.168.0.20");
  SetField(info.trigger_port, "80");
  SetField(info.netmask, "255.255.255.0");
  SetField(info.gateway, "192.168.0.1");
  SetField(info.dns, "192.168.0.1");
  SetField(info.mac, "00:11:22:33:44:55");
  SetField(info.dev, "D1");
  SetField(info.note, "x");
  return info;
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
