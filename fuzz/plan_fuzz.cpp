// Fuzz target: the plan file reader (CsvPlan) and its checks.
//
// Input: the text of a plan file, every byte of it, read against five listed
// devices (two sharing a MAC; one reached through a relay; one reporting
// "10.0.0.024", which may be 10.0.0.24 or 10.0.0.20) and this PC's address
// 10.0.0.100/24 on eth0.
//
// Checks: no more rows than lines, each from a line that exists, in line
// order; every refusal and warning names a line that exists ("line N: "),
// in line order, or is the one whole-plan refusal; what they say is bounded
// by the input (a few times its bytes and a few hundred bytes a line). A plan
// that is not refused gives only strict dotted quads, no static address that
// is never handed out, no address to two rows nor one a device outside the
// plan may be at, and each of its first row is sent by the dialog's rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "netsetup/readdress_plan.h"
#include "protocol/ipv4_text.h"

namespace {

struct CountingSender : ControlPackageSender {
  int Send(const char*) override {
    ++sent;
    return 0;
  }
  int sent = 0;
};

PlanDevice Device(const char* ip, const char* mac, const char* interface) {
  PlanDevice device;
  SetField(device.record.model, "M100");
  SetField(device.record.ip, ip);
  SetField(device.record.netmask, "255.255.255.0");
  SetField(device.record.gateway, "10.0.0.1");
  SetField(device.record.dns, "10.0.0.1");
  SetField(device.record.mac, mac);
  device.interface = interface;
  return device;
}

// The line a note names ("line N: ..."), or 0 when it names none.
long NamedLine(const std::string& note) {
  if (note.rfind("line ", 0) != 0) return 0;
  char* end = nullptr;
  const long line = std::strtol(note.c_str() + 5, &end, 10);
  return end != nullptr && end[0] == ':' && end[1] == ' ' ? line : 0;
}

// Each note names a line from 1 to `lines`, in order.
void CheckNotes(const std::vector<std::string>& notes, std::size_t lines, const char* what) {
  long last = 0;
  for (const std::string& note : notes) {
    const long line = NamedLine(note);
    FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= lines, what);
    FUZZ_CHECK(line >= last, "notes out of line order");
    last = line;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<PlanDevice> listed = {
      Device("10.0.0.20", "02:4B:44:00:00:01", "eth0"), Device("10.0.0.21", "02:4B:44:00:00:02", "eth0"),
      Device("10.0.0.22", "02:4B:44:00:00:03", ""), Device("10.0.0.23", "02:4b:44:00:00:03", "eth0"),
      Device("10.0.0.024", "02:4B:44:00:00:04", "eth0")};
  static const std::vector<OwnAddress> own = {{"eth0", 0x0A000064u, 0xFFFFFF00u}};  // 10.0.0.100/24

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  if (!text.empty() && text.back() != '\n') ++lines;

  const ReaddressPlan plan = CsvPlan(text, listed, own);

  FUZZ_CHECK(plan.rows.size() <= lines, "more rows than lines");
  int last_row = 0;
  for (const PlanRow& row : plan.rows) {
    FUZZ_CHECK(row.line > last_row && static_cast<std::size_t>(row.line) <= lines, "a row from no line, or out of order");
    last_row = row.line;
  }
  if (plan.refusals.size() == 1 && plan.refusals[0] == "the plan names no device") {
    FUZZ_CHECK(plan.rows.empty(), "a plan with rows names no device");
  } else {
    CheckNotes(plan.refusals, lines, "a refusal names no line of the plan");
  }
  CheckNotes(plan.warnings, lines, "a warning names no line of the plan");
  std::size_t said = 0;
  for (const std::string& note : plan.refusals) said += note.size();
  for (const std::string& note : plan.warnings) said += note.size();
  FUZZ_CHECK(said <= 8 * size + 1024 * (lines + 1), "refusals out of proportion to the plan");

  if (plan.Refused()) return 0;
  FUZZ_CHECK(!plan.rows.empty(), "an empty plan is not refused");
  std::set<std::uint32_t> given;
  for (const PlanRow& row : plan.rows) {
    if (row.type != NetworkType::kStatic) continue;
    FUZZ_CHECK(!CheckStaticAddress({row.ip, row.netmask, row.gateway}, row.device.interface, own),
               "a plan gives an address that is never handed out");
    for (const std::string* address : {&row.ip, &row.netmask, &row.gateway, &row.dns})
      FUZZ_CHECK(IsStrictAddress(*address), "a plan sends an address outside the strict rule");
    FUZZ_CHECK(given.insert(*StrictAddress(row.ip)).second, "a plan gives one address twice");
  }
  // Nor one that a listed device the plan leaves alone keeps.
  std::set<std::string> planned;
  for (const PlanRow& row : plan.rows)
    planned.insert(std::string(FieldText(row.device.record.ip)) + '\0' + std::string(FieldText(row.device.record.mac)));
  for (const PlanDevice& device : listed) {
    if (planned.count(std::string(FieldText(device.record.ip)) + '\0' + std::string(FieldText(device.record.mac))) != 0)
      continue;
    for (std::uint32_t held : HeldAddresses(FieldText(device.record.ip)))
      FUZZ_CHECK(given.count(held) == 0, "a plan gives an address a device keeps");
  }
  // The dialog's rules send what the plan's accept (the first row only: a
  // package is built in a 64 KiB buffer).
  CountingSender sender;
  NullLog log;
  const std::size_t sent = std::min<std::size_t>(plan.rows.size(), 1);
  for (std::size_t i = 0; i < sent; ++i) FUZZ_CHECK(SendPlanRow(plan.rows[i], sender, log), "the dialog's rules refuse a row");
  FUZZ_CHECK(sender.sent == static_cast<int>(sent), "a row was not sent");
  return 0;
}
