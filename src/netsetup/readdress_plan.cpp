// Re-addressing plans: building them from a selection or a CSV text, their
// checks, the sending of one row and the verification of a later search.
#include "netsetup/readdress_plan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "protocol/codec.h"
#include "protocol/interfaces.h"
#include "protocol/string_printf.h"

namespace {

// A dotted text's address in host byte order, or none when the dialog's
// rule refuses the text.
std::optional<std::uint32_t> HostAddress(const std::string& text) {
  if (!NetSetupRules::IsValidAddress(text)) return std::nullopt;
  return ntohl(InetAddr(text.c_str()));
}

std::string DottedText(std::uint32_t host) { return DottedAddress(htonl(host)); }

std::string Text(std::string_view field) { return std::string(field); }

bool SameDevice(const tComUnitInfo& a, const tComUnitInfo& b) {
  return FieldText(a.ip) == FieldText(b.ip) && FieldText(a.mac) == FieldText(b.mac);
}

// How a refusal or warning names its row.
std::string RowName(const PlanRow& row) {
  if (row.line > 0) return StringPrintf("line %d", row.line);
  return Text(FieldText(row.device.record.mac));
}

void Refuse(ReaddressPlan& plan, const PlanRow& row, const std::string& why) {
  plan.refusals.push_back(RowName(row) + ": " + why);
}

std::string InvalidText(const char* caption, const std::string& text) {
  return StringPrintf("Invalid %s - [%s]", caption, text.c_str());
}

// The dialog's checks of one static row: each address valid, the texts
// within their fields, the address neither the network's nor its broadcast
// address, the gateway's subnet (a warning).
void CheckStaticRow(ReaddressPlan& plan, const PlanRow& row) {
  const std::pair<NetEdit, const std::string*> addresses[] = {
      {NetEdit::kIp, &row.ip}, {NetEdit::kNetmask, &row.netmask},
      {NetEdit::kGateway, &row.gateway}, {NetEdit::kDns, &row.dns}};
  bool valid = true;
  for (const auto& [edit, text] : addresses) {
    if (!NetSetupRules::IsValidAddress(*text)) {
      Refuse(plan, row, InvalidText(NetSetupRules::Caption(edit), *text));
      valid = false;
    }
  }
  if (!valid) return;
  NetFormTexts texts = TextsOfRecord(row.device.record);
  texts[NetEdit::kIp] = row.ip;
  texts[NetEdit::kNetmask] = row.netmask;
  texts[NetEdit::kGateway] = row.gateway;
  texts[NetEdit::kDns] = row.dns;
  tComUnitInfo unused{};
  Notice too_long;
  if (!NetSetupRules::AssembleRecord(texts, row.type, &unused, &too_long, nullptr)) {
    Refuse(plan, row, too_long.text);
    return;
  }
  const std::uint32_t ip = *HostAddress(row.ip);
  const std::uint32_t mask = *HostAddress(row.netmask);
  if (ip == (ip & mask))
    Refuse(plan, row, StringPrintf("%s is the network address of netmask %s", row.ip.c_str(), row.netmask.c_str()));
  else if (ip == (ip | ~mask))
    Refuse(plan, row, StringPrintf("%s is the broadcast address of netmask %s", row.ip.c_str(), row.netmask.c_str()));
  if (NetSetupRules::GatewayOutsideSubnet(row.ip, row.netmask, row.gateway))
    plan.warnings.push_back(RowName(row) + ": " + StringPrintf("Unresonable Gateway - [%s]", row.gateway.c_str()));
}

// The checks of the plan as a whole, after each row's own: no device twice,
// no address for two devices, none that a device outside the plan keeps.
void CheckPlan(ReaddressPlan& plan, const std::vector<PlanDevice>& listed) {
  for (const PlanRow& row : plan.rows)
    if (row.type == NetworkType::kStatic) CheckStaticRow(plan, row);

  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    for (std::size_t j = 0; j < plan.rows.size(); ++j) {
      if (j == i) continue;
      const PlanRow& other = plan.rows[j];
      if (SameMac(FieldText(row.device.record.mac), FieldText(other.device.record.mac))) {
        Refuse(plan, row, "the device is planned twice, also on " + RowName(other));
        break;
      }
    }
  }

  std::map<std::uint32_t, std::vector<std::size_t>> targets;  // address -> static rows
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    if (row.type != NetworkType::kStatic) continue;
    if (std::optional<std::uint32_t> ip = HostAddress(row.ip)) targets[*ip].push_back(i);
  }
  for (const auto& [address, rows] : targets) {
    for (std::size_t i : rows) {
      std::string others;
      for (std::size_t j : rows)
        if (j != i) others += (others.empty() ? "" : ", ") + RowName(plan.rows[j]);
      if (!others.empty())
        Refuse(plan, plan.rows[i], StringPrintf("%s is planned for %s too", plan.rows[i].ip.c_str(), others.c_str()));
    }
    // A listed device that the plan leaves as it is keeps its address.
    for (const PlanDevice& device : listed) {
      std::optional<std::uint32_t> held = HostAddress(Text(FieldText(device.record.ip)));
      if (!held || *held != address) continue;
      const bool planned = std::any_of(plan.rows.begin(), plan.rows.end(), [&](const PlanRow& row) {
        return SameDevice(row.device.record, device.record);
      });
      if (planned) continue;
      for (std::size_t i : rows)
        Refuse(plan, plan.rows[i],
               StringPrintf("%s is held by %s, which the plan leaves as it is", plan.rows[i].ip.c_str(),
                            Text(FieldText(device.record.mac)).c_str()));
    }
  }
}

PlanRow RowFor(const PlanDevice& device, NetworkType type) {
  PlanRow row;
  row.device = device;
  row.type = type;
  const tComUnitInfo& r = device.record;
  row.ip = Text(FieldText(r.ip));
  row.netmask = Text(FieldText(r.netmask));
  row.gateway = Text(FieldText(r.gateway));
  row.dns = Text(FieldText(r.dns));
  return row;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::vector<PlanDevice> InOrder(std::vector<PlanDevice> devices, PlanOrder order) {
  if (order == PlanOrder::kByMac) {
    std::stable_sort(devices.begin(), devices.end(), [](const PlanDevice& a, const PlanDevice& b) {
      return Lower(FieldText(a.record.mac)) < Lower(FieldText(b.record.mac));
    });
  } else if (order == PlanOrder::kByAddress) {
    // Devices without a valid address go last.
    auto key = [](const PlanDevice& d) -> std::uint64_t {
      std::optional<std::uint32_t> a = HostAddress(Text(FieldText(d.record.ip)));
      return a ? *a : std::uint64_t{1} << 32;
    };
    std::stable_sort(devices.begin(), devices.end(),
                     [&](const PlanDevice& a, const PlanDevice& b) { return key(a) < key(b); });
  }
  return devices;
}

// The settings' own refusals: each text valid and within its field.
std::vector<std::string> CheckSettings(const SequentialSettings& s) {
  std::vector<std::string> refusals;
  const std::pair<const char*, const std::string*> texts[] = {
      {"Start Address", &s.start}, {"Netmask", &s.netmask}, {"Gateway", &s.gateway}, {"DNS", &s.dns}};
  const std::size_t limit = sizeof(tComUnitInfo::ip) - 1;  // ip, netmask, gateway and dns alike
  for (const auto& [caption, text] : texts) {
    if (!NetSetupRules::IsValidAddress(*text))
      refusals.push_back(InvalidText(caption, *text));
    else if (text->size() > limit)
      refusals.push_back(StringPrintf("%s is too long - at most %zu characters", caption, limit));
  }
  return refusals;
}

}  // namespace

std::vector<PlanDevice> PlanDevicesOf(const DeviceList& list) {
  std::vector<PlanDevice> devices;
  devices.reserve(list.Size());
  for (std::size_t i = 0; i < list.Size(); ++i) devices.push_back({list.At(i), list.InterfaceAt(i)});
  return devices;
}

ReaddressPlan SequentialPlan(const std::vector<PlanDevice>& selected, const SequentialSettings& settings,
                             const std::vector<PlanDevice>& listed) {
  ReaddressPlan plan;
  const std::vector<PlanDevice> ordered = InOrder(selected, settings.order);
  if (settings.type == NetworkType::kDhcp) {
    for (const PlanDevice& device : ordered) plan.rows.push_back(RowFor(device, NetworkType::kDhcp));
    CheckPlan(plan, listed);
    return plan;
  }
  plan.refusals = CheckSettings(settings);
  for (const PlanDevice& device : ordered) {
    PlanRow row = RowFor(device, NetworkType::kStatic);
    row.ip.clear();
    row.netmask = settings.netmask;
    row.gateway = settings.gateway;
    row.dns = settings.dns;
    plan.rows.push_back(row);
  }
  if (plan.Refused()) return plan;

  const std::uint32_t mask = *HostAddress(settings.netmask);
  const std::uint32_t start = *HostAddress(settings.start);
  const std::uint32_t network = start & mask;
  const std::uint32_t broadcast = network | ~mask;
  // Addresses held, and by which devices.
  std::multimap<std::uint32_t, const tComUnitInfo*> held;
  for (const PlanDevice& device : listed)
    if (std::optional<std::uint32_t> a = HostAddress(Text(FieldText(device.record.ip))))
      held.emplace(*a, &device.record);
  auto held_by_another = [&](std::uint32_t address, const tComUnitInfo& self) {
    auto [first, last] = held.equal_range(address);
    return std::any_of(first, last, [&](const auto& entry) { return !SameDevice(*entry.second, self); });
  };

  std::uint64_t next = start;
  for (PlanRow& row : plan.rows) {
    while (next <= broadcast && (next == network || next == broadcast ||
                                 (static_cast<std::uint32_t>(next) & mask) != network ||
                                 held_by_another(static_cast<std::uint32_t>(next), row.device.record)))
      ++next;
    if (next > broadcast) {
      Refuse(plan, row,
             StringPrintf("no address left in %s/%s", DottedText(network).c_str(), settings.netmask.c_str()));
      continue;
    }
    row.ip = DottedText(static_cast<std::uint32_t>(next++));
  }
  if (plan.Refused()) return plan;
  CheckPlan(plan, listed);
  // Every row shares the start address's subnet: one warning says it.
  if (!plan.warnings.empty()) plan.warnings = {StringPrintf("Unresonable Gateway - [%s]", settings.gateway.c_str())};
  return plan;
}

namespace {

std::string Trimmed(std::string_view text) {
  const char* blanks = " \t";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return "";
  std::size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> CsvFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    fields.push_back(Trimmed(line.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                : comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

bool IsDhcpRow(const std::vector<std::string>& fields) {
  if (fields.size() < 2 || fields.size() > 5 || Lower(fields[1]) != "dhcp") return false;
  return std::all_of(fields.begin() + 2, fields.end(), [](const std::string& f) { return f.empty(); });
}

}  // namespace

ReaddressPlan CsvPlan(std::string_view csv, const std::vector<PlanDevice>& listed) {
  ReaddressPlan plan;
  if (csv.substr(0, 3) == "\xEF\xBB\xBF") csv.remove_prefix(3);
  bool first_row = true;
  int number = 0;
  while (!csv.empty()) {
    ++number;
    std::size_t end = csv.find('\n');
    std::string_view raw = csv.substr(0, end);
    csv.remove_prefix(end == std::string_view::npos ? csv.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const std::string line = Trimmed(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = CsvFields(line);
    const bool heading = first_row && Lower(fields[0]) == "mac";
    first_row = false;
    if (heading) continue;

    auto refuse = [&](const std::string& why) { plan.refusals.push_back(StringPrintf("line %d: ", number) + why); };
    const bool dhcp = IsDhcpRow(fields);
    if (!dhcp && fields.size() != 5) {
      refuse(StringPrintf("%zu fields; a row is mac,ip,netmask,gateway,dns or mac,dhcp", fields.size()));
      continue;
    }
    const std::string& mac = fields[0];
    if (!IsMacText(mac)) {
      refuse(StringPrintf("bad MAC [%s]", mac.c_str()));
      continue;
    }
    std::vector<const PlanDevice*> matches;
    for (const PlanDevice& device : listed)
      if (SameMac(FieldText(device.record.mac), mac)) matches.push_back(&device);
    if (matches.size() != 1) {
      refuse(matches.empty() ? StringPrintf("no device with MAC %s was found", mac.c_str())
                             : StringPrintf("%zu devices have MAC %s", matches.size(), mac.c_str()));
      continue;
    }
    PlanRow row = RowFor(*matches.front(), dhcp ? NetworkType::kDhcp : NetworkType::kStatic);
    row.line = number;
    if (!dhcp) {
      row.ip = fields[1];
      row.netmask = fields[2];
      row.gateway = fields[3];
      row.dns = fields[4];
    }
    plan.rows.push_back(row);
  }
  if (plan.rows.empty() && plan.refusals.empty()) plan.refusals.push_back("the plan names no device");
  CheckPlan(plan, listed);
  return plan;
}

bool SendPlanRow(const PlanRow& row, ControlPackageSender& sender, DebugLog& log) {
  NetFormTexts texts = TextsOfRecord(row.device.record);
  texts[NetEdit::kIp] = row.ip;
  texts[NetEdit::kNetmask] = row.netmask;
  texts[NetEdit::kGateway] = row.gateway;
  texts[NetEdit::kDns] = row.dns;
  sender.SetDeviceInterface(row.device.interface);
  sender.SetDeviceAddress(std::string(FieldText(row.device.record.ip)));
  NetSetupRules rules(sender, log);
  return rules.Apply(row.type, texts).sent;
}

namespace {

bool SameAddress(const std::string& a, const std::string& b) {
  std::optional<std::uint32_t> x = HostAddress(a);
  std::optional<std::uint32_t> y = HostAddress(b);
  return x && y ? *x == *y : a == b;
}

bool HasAddresses(const tComUnitInfo& r, const std::string& ip, const std::string& netmask,
                  const std::string& gateway, const std::string& dns) {
  return SameAddress(Text(FieldText(r.ip)), ip) && SameAddress(Text(FieldText(r.netmask)), netmask) &&
         SameAddress(Text(FieldText(r.gateway)), gateway) && SameAddress(Text(FieldText(r.dns)), dns);
}

}  // namespace

std::vector<RowOutcome> VerifyPlan(const ReaddressPlan& plan, const std::vector<PlanDevice>& found) {
  std::vector<RowOutcome> outcomes;
  for (const PlanRow& row : plan.rows) {
    RowOutcome outcome;
    const tComUnitInfo& before = row.device.record;
    for (const PlanDevice& device : found) {
      const tComUnitInfo& now = device.record;
      if (!SameMac(FieldText(now.mac), FieldText(before.mac))) continue;
      PlanOutcome seen = PlanOutcome::kOtherSettings;
      if (row.type == NetworkType::kDhcp || HasAddresses(now, row.ip, row.netmask, row.gateway, row.dns))
        seen = PlanOutcome::kAtNewSettings;
      else if (HasAddresses(now, Text(FieldText(before.ip)), Text(FieldText(before.netmask)),
                            Text(FieldText(before.gateway)), Text(FieldText(before.dns))))
        seen = PlanOutcome::kUnchanged;
      // The best of what answered with this MAC.
      if (outcome.outcome == PlanOutcome::kNotFound || seen < outcome.outcome) {
        outcome.outcome = seen;
        outcome.found_ip = Text(FieldText(now.ip));
      }
    }
    outcomes.push_back(outcome);
  }
  return outcomes;
}

const char* OutcomeText(PlanOutcome outcome) {
  switch (outcome) {
    case PlanOutcome::kAtNewSettings:
      return "at new settings";
    case PlanOutcome::kUnchanged:
      return "unchanged";
    case PlanOutcome::kOtherSettings:
      return "at other settings";
    case PlanOutcome::kNotFound:
      break;
  }
  return "not found";
}

std::string OutcomeStatus(const PlanRow& row, const RowOutcome& outcome) {
  std::string status = OutcomeText(outcome.outcome);
  const bool elsewhere = outcome.outcome == PlanOutcome::kOtherSettings ||
                         (outcome.outcome == PlanOutcome::kAtNewSettings && row.type == NetworkType::kDhcp);
  if (elsewhere) status += " (" + outcome.found_ip + ")";
  return status;
}
