// Re-addressing plans: building them from a selection or a CSV text, their
// checks, the sending of one row and the verification of a later search.
#include "netsetup/readdress_plan.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "protocol/csv_record.h"
#include "protocol/ipv4_text.h"
#include "protocol/mac_text.h"
#include "protocol/string_printf.h"

namespace {

std::string Text(std::string_view field) { return std::string(field); }

std::string ListingKey(const tComUnitInfo& r) { return Text(FieldText(r.ip)) + '\0' + Text(FieldText(r.mac)); }

// How many other rows or devices one refusal names.
constexpr std::size_t kNamed = 5;

// The first kNamed of `names` joined by ", ", then " and N more" for the
// rest of `total`.
std::string NameList(const std::vector<std::string>& names, std::size_t total) {
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) list += (i ? ", " : "") + names[i];
  if (total > kNamed) list += StringPrintf(" and %zu more", total - kNamed);
  return list;
}

// How a refusal or warning names its row.
std::string RowName(const PlanRow& row) {
  if (row.line > 0) return StringPrintf("line %d", row.line);
  return Text(FieldText(row.device.record.mac));
}

// Refusals and warnings as they are found, each with the place of its row
// (a file's line, a selection's position; 0 for the settings), put in that
// order when the plan is done.
struct Notes {
  std::vector<std::pair<int, std::string>> refusals;
  // A warning of one row: the row's name and what it says of it.
  struct Warning {
    int order = 0;
    std::string row, text;
    bool named = true;  // a line that several rows share names them ("Unresonable Gateway" does not)
  };
  std::vector<Warning> warnings;

  void Refuse(int order, std::string text) { refusals.emplace_back(order, std::move(text)); }
  void Warn(int order, std::string row, std::string text, bool named = true) {
    warnings.push_back({order, std::move(row), std::move(text), named});
  }
  // With `shared`, the rows that have one warning text share one line
  // ("A, B and 3 more: text"), in the order of their first rows.
  void Finish(ReaddressPlan& plan, bool shared = false) {
    std::stable_sort(refusals.begin(), refusals.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& note : refusals) plan.refusals.push_back(std::move(note.second));
    std::stable_sort(warnings.begin(), warnings.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
    if (!shared) {
      for (const Warning& w : warnings) plan.warnings.push_back(w.row + ": " + w.text);
      return;
    }
    std::vector<std::string> texts;                          // in the order of their first rows
    std::map<std::string, std::vector<std::string>> rows;    // text -> the rows' names
    std::map<std::string, bool> named;
    for (const Warning& w : warnings) {
      if (rows.count(w.text) == 0) texts.push_back(w.text);
      rows[w.text].push_back(w.row);
      named[w.text] = w.named;
    }
    for (const std::string& text : texts)
      plan.warnings.push_back(named[text] ? NameList(rows[text], rows[text].size()) + ": " + text : text);
  }
};

// The place of plan row i among the notes.
int Order(const ReaddressPlan& plan, std::size_t i) {
  return plan.rows[i].line > 0 ? plan.rows[i].line : static_cast<int>(i) + 1;
}

// "Invalid <caption> - [<text>]", then why the text is no given address
// when it takes saying (": not a dotted quad such as ...").
std::string InvalidText(const char* caption, const std::string& text) {
  const std::string reason = NotStrictReason(text);
  return StringPrintf("Invalid %s - [%s]", caption, text.c_str()) + (reason.empty() ? "" : ": " + reason);
}

// One static row's own checks: each address valid, the texts within their
// fields, an address that is handed out (CheckStaticAddress); then two
// warnings: the gateway's subnet, and an address outside this PC's subnets
// on the interface the device answered on.
void CheckStaticRow(const ReaddressPlan& plan, std::size_t i, const std::vector<OwnAddress>& own, Notes& notes) {
  const PlanRow& row = plan.rows[i];
  const int order = Order(plan, i);
  auto refuse = [&](const std::string& why) { notes.Refuse(order, RowName(row) + ": " + why); };
  const std::pair<NetEdit, const std::string*> addresses[] = {
      {NetEdit::kIp, &row.ip}, {NetEdit::kNetmask, &row.netmask},
      {NetEdit::kGateway, &row.gateway}, {NetEdit::kDns, &row.dns}};
  bool valid = true;
  for (const auto& [edit, text] : addresses) {
    if (!NetSetupRules::IsValidAddress(*text)) {
      refuse(InvalidText(NetSetupRules::Caption(edit), *text));
      valid = false;
    }
  }
  if (!valid) return;
  // The dialog's limit: the other fields come from the device's record.
  const std::size_t limit = sizeof(tComUnitInfo::ip) - 1;  // ip, netmask, gateway and dns alike
  for (const auto& [edit, text] : addresses) {
    if (text->size() > limit) {
      refuse(StringPrintf("%s is too long - at most %zu characters", NetSetupRules::Caption(edit), limit));
      return;
    }
  }
  const std::optional<AddressRefusal> refused =
      CheckStaticAddress({row.ip, row.netmask, row.gateway}, row.device.interface, own);
  if (refused) refuse(refused->reason);
  if (NetSetupRules::GatewayOutsideSubnet(row.ip, row.netmask, row.gateway))
    notes.Warn(order, RowName(row), StringPrintf("Unresonable Gateway - [%s]", row.gateway.c_str()), false);
  if (const std::string warning = UnreachableWarning(row.ip, row.device.interface, own); !refused && !warning.empty())
    notes.Warn(order, RowName(row), warning);
}

// The checks of the plan as a whole, after each row's own: no device twice,
// no address for two devices, none that a device outside the plan keeps.
void CheckPlan(const ReaddressPlan& plan, const std::vector<PlanDevice>& listed, const std::vector<OwnAddress>& own,
               Notes& notes) {
  for (std::size_t i = 0; i < plan.rows.size(); ++i)
    if (plan.rows[i].type == NetworkType::kStatic) CheckStaticRow(plan, i, own, notes);

  auto refuse = [&](std::size_t i, const std::string& why) {
    notes.Refuse(Order(plan, i), RowName(plan.rows[i]) + ": " + why);
  };

  std::map<std::string, std::vector<std::size_t>> by_mac;
  for (std::size_t i = 0; i < plan.rows.size(); ++i) by_mac[MacKey(FieldText(plan.rows[i].device.record.mac))].push_back(i);
  for (const auto& [mac, rows] : by_mac) {
    if (rows.size() < 2) continue;
    for (std::size_t i : rows)
      refuse(i, "the device is planned twice, also on " + RowName(plan.rows[rows[i == rows[0] ? 1 : 0]]));
  }

  std::map<std::uint32_t, std::vector<std::size_t>> targets;  // address -> static rows
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    if (row.type != NetworkType::kStatic) continue;
    if (std::optional<std::uint32_t> ip = GivenAddress(row.ip)) targets[*ip].push_back(i);
  }
  std::set<std::string> planned;
  for (const PlanRow& row : plan.rows) planned.insert(ListingKey(row.device.record));
  // The addresses that listed devices the plan leaves as they are keep: all
  // that a device may be at.
  std::map<std::uint32_t, std::vector<std::string>> kept;  // address -> MACs
  for (const PlanDevice& device : listed) {
    if (planned.count(ListingKey(device.record)) != 0) continue;
    for (std::uint32_t held : HeldAddresses(FieldText(device.record.ip)))
      if (targets.count(held) != 0) kept[held].push_back(Text(FieldText(device.record.mac)));
  }

  for (const auto& [address, rows] : targets) {
    if (rows.size() > 1) {
      for (std::size_t i : rows) {
        std::vector<std::string> others;
        for (std::size_t j = 0; j < rows.size() && others.size() < kNamed; ++j)
          if (rows[j] != i) others.push_back(RowName(plan.rows[rows[j]]));
        refuse(i, StringPrintf("%s is planned for %s too", plan.rows[i].ip.c_str(),
                               NameList(others, rows.size() - 1).c_str()));
      }
    }
    auto holders = kept.find(address);
    if (holders == kept.end()) continue;
    const std::size_t count = holders->second.size();
    for (std::size_t i : rows)
      refuse(i, StringPrintf("%s is held by %s, which the plan leaves as %s", plan.rows[i].ip.c_str(),
                             NameList(holders->second, count).c_str(), count == 1 ? "it is" : "they are"));
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
    // Devices without a strict address go last.
    auto key = [](const PlanDevice& d) -> std::uint64_t {
      std::optional<std::uint32_t> a = StrictAddress(FieldText(d.record.ip));
      return a ? *a : std::uint64_t{1} << 32;
    };
    std::stable_sort(devices.begin(), devices.end(),
                     [&](const PlanDevice& a, const PlanDevice& b) { return key(a) < key(b); });
  }
  return devices;
}

// The settings' own refusals: each text valid and within its field, a
// netmask that is contiguous and a start address that is handed out.
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
  if (!refusals.empty()) return refusals;
  if (std::optional<AddressRefusal> refused = CheckAddressKind(s.start))
    refusals.push_back(InvalidText("Start Address", s.start) + ": " + refused->reason);
  if (std::optional<AddressRefusal> refused = CheckNetmask(s.netmask))
    refusals.push_back(refused->Message(": "));
  return refusals;
}

}  // namespace

ReaddressPlan SequentialPlan(const std::vector<PlanDevice>& selected, const SequentialSettings& settings,
                             const std::vector<PlanDevice>& listed, const std::vector<OwnAddress>& own) {
  ReaddressPlan plan;
  Notes notes;
  const std::vector<PlanDevice> ordered = InOrder(selected, settings.order);
  if (settings.type == NetworkType::kDhcp) {
    for (const PlanDevice& device : ordered) plan.rows.push_back(RowFor(device, NetworkType::kDhcp));
    CheckPlan(plan, listed, own, notes);
    notes.Finish(plan);
    return plan;
  }
  for (std::string& refusal : CheckSettings(settings)) notes.Refuse(0, std::move(refusal));
  for (const PlanDevice& device : ordered) {
    PlanRow row = RowFor(device, NetworkType::kStatic);
    row.ip.clear();
    row.netmask = settings.netmask;
    row.gateway = settings.gateway;
    row.dns = settings.dns;
    plan.rows.push_back(row);
  }
  if (!notes.refusals.empty()) {
    notes.Finish(plan);
    return plan;
  }

  // The netmask is contiguous: every address from the start address to the
  // broadcast address lies in the start address's subnet.
  const std::uint32_t mask = *GivenAddress(settings.netmask);
  const std::uint32_t start = *GivenAddress(settings.start);
  const std::uint32_t network = start & mask;
  const std::uint32_t broadcast = network | ~mask;
  const std::optional<std::uint32_t> gateway = GivenAddress(settings.gateway);
  // Addresses held (all that a device may be at), and by which devices.
  std::multimap<std::uint32_t, const tComUnitInfo*> held;
  for (const PlanDevice& device : listed)
    for (std::uint32_t a : HeldAddresses(FieldText(device.record.ip))) held.emplace(a, &device.record);
  std::set<std::pair<std::string, std::uint32_t>> mine;  // (interface, address)
  for (const OwnAddress& a : own) mine.emplace(a.interface, a.address);
  // Every address skipped is one of the finite set above: the run takes at
  // most as many steps as there are devices and such addresses.
  auto skipped = [&](std::uint32_t address, const PlanDevice& device) {
    if (address == network || address == broadcast || address == gateway) return true;
    if (!device.interface.empty() && mine.count({device.interface, address}) != 0) return true;
    auto [first, last] = held.equal_range(address);
    return std::any_of(first, last, [&](const auto& entry) { return !SameListing(*entry.second, device.record); });
  };

  std::uint64_t next = start;
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    PlanRow& row = plan.rows[i];
    while (next <= broadcast && skipped(static_cast<std::uint32_t>(next), row.device)) ++next;
    if (next > broadcast) {
      notes.Refuse(Order(plan, i), RowName(row) + ": " +
                                       StringPrintf("no address left in %s/%s", DottedText(network).c_str(),
                                                    settings.netmask.c_str()));
      continue;
    }
    row.ip = DottedText(static_cast<std::uint32_t>(next++));
  }
  if (notes.refusals.empty()) CheckPlan(plan, listed, own, notes);
  // Every row shares the start address's subnet: one line says each warning
  // (the gateway's once, an unreachable interface naming its rows).
  notes.Finish(plan, true);
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

bool IsDhcpRow(const std::vector<std::string>& fields) {
  if (fields.size() < 2 || fields.size() > 5 || Lower(fields[1]) != "dhcp") return false;
  return std::all_of(fields.begin() + 2, fields.end(), [](const std::string& f) { return f.empty(); });
}

}  // namespace

ReaddressPlan CsvPlan(std::string_view csv, const std::vector<PlanDevice>& listed,
                      const std::vector<OwnAddress>& own) {
  ReaddressPlan plan;
  Notes notes;
  std::unordered_map<std::string, std::vector<const PlanDevice*>> by_mac;
  for (const PlanDevice& device : listed) by_mac[MacKey(FieldText(device.record.mac))].push_back(&device);
  if (csv.substr(0, 3) == "\xEF\xBB\xBF") csv.remove_prefix(3);
  // Cells in quotes read as their text; blanks around a cell are no part of
  // it; lines that begin with "#" are comments.
  CsvRecordReader records(csv, {std::size_t{1} << 20, "a row too long", true});
  constexpr std::size_t kMostFields = 64;
  const std::string too_many = StringPrintf("more than %zu fields", kMostFields);
  bool first_row = true;
  std::vector<std::string> fields;
  for (;;) {
    std::string error;
    if (!records.Next(&fields, kMostFields, too_many, &error)) {
      if (error.empty()) break;
      notes.Refuse(records.Line(), error);
      records.SkipRestOfLine();
      continue;
    }
    const int number = records.Line();
    for (std::string& field : fields) field = Trimmed(field);
    if (fields.size() == 1 && fields[0].empty()) continue;  // a blank line
    const bool heading = first_row && Lower(fields[0]) == "mac";
    first_row = false;
    if (heading) continue;

    auto refuse = [&](const std::string& why) { notes.Refuse(number, StringPrintf("line %d: ", number) + why); };
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
    auto found = by_mac.find(MacKey(mac));
    const std::size_t matches = found == by_mac.end() ? 0 : found->second.size();
    if (matches != 1) {
      refuse(matches == 0 ? StringPrintf("no device with MAC %s was found", mac.c_str())
                          : StringPrintf("%zu devices have MAC %s", matches, mac.c_str()));
      continue;
    }
    PlanRow row = RowFor(*found->second.front(), dhcp ? NetworkType::kDhcp : NetworkType::kStatic);
    row.line = number;
    if (!dhcp) {
      row.ip = fields[1];
      row.netmask = fields[2];
      row.gateway = fields[3];
      row.dns = fields[4];
    }
    plan.rows.push_back(row);
  }
  if (plan.rows.empty() && notes.refusals.empty()) notes.Refuse(0, "the plan names no device");
  CheckPlan(plan, listed, own, notes);
  notes.Finish(plan);
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

// The answer's four addresses are these, compared as addresses: a text
// outside the strict rule matches only its own bytes, so an answer of
// "10.0.0.011" is not at 10.0.0.11, nor at 10.0.0.9.
bool HasAddresses(const tComUnitInfo& r, const std::string& ip, const std::string& netmask,
                  const std::string& gateway, const std::string& dns) {
  return SameAddressText(FieldText(r.ip), ip) && SameAddressText(FieldText(r.netmask), netmask) &&
         SameAddressText(FieldText(r.gateway), gateway) && SameAddressText(FieldText(r.dns), dns);
}

// What one answer says of a row whose package went out.
PlanOutcome Seen(const PlanRow& row, const tComUnitInfo& now) {
  if (row.type == NetworkType::kDhcp) return PlanOutcome::kAnsweredDhcp;
  if (HasAddresses(now, row.ip, row.netmask, row.gateway, row.dns)) return PlanOutcome::kAtNewSettings;
  const tComUnitInfo& before = row.device.record;
  if (HasAddresses(now, Text(FieldText(before.ip)), Text(FieldText(before.netmask)), Text(FieldText(before.gateway)),
                   Text(FieldText(before.dns))))
    return PlanOutcome::kUnchanged;
  return PlanOutcome::kOtherSettings;
}

}  // namespace

std::vector<RowOutcome> VerifyPlan(const ReaddressPlan& plan, const std::vector<PlanDevice>& found,
                                   const std::vector<bool>& sent) {
  std::unordered_map<std::string, std::vector<std::size_t>> by_mac;
  for (std::size_t i = 0; i < found.size(); ++i) by_mac[MacKey(FieldText(found[i].record.mac))].push_back(i);
  std::vector<RowOutcome> outcomes;
  for (std::size_t r = 0; r < plan.rows.size(); ++r) {
    const PlanRow& row = plan.rows[r];
    RowOutcome outcome;
    if (r < sent.size() && !sent[r]) {
      outcome.outcome = PlanOutcome::kNotSent;
      outcomes.push_back(outcome);
      continue;
    }
    auto answers = by_mac.find(MacKey(FieldText(row.device.record.mac)));
    if (answers != by_mac.end()) {
      for (std::size_t i : answers->second) {
        // The best of what answered with this MAC.
        const PlanOutcome seen = Seen(row, found[i].record);
        if (outcome.found < 0 || seen < outcome.outcome) {
          outcome.outcome = seen;
          outcome.found_ip = Text(FieldText(found[i].record.ip));
          outcome.found = static_cast<int>(i);
        }
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
    case PlanOutcome::kAnsweredDhcp:
      return "answered (DHCP)";
    case PlanOutcome::kUnchanged:
      return "unchanged";
    case PlanOutcome::kOtherSettings:
      return "at other settings";
    case PlanOutcome::kNotSent:
      return "not sent";
    case PlanOutcome::kNotFound:
      break;
  }
  return "not found";
}

std::string OutcomeStatus(const RowOutcome& outcome) {
  std::string status = OutcomeText(outcome.outcome);
  if (outcome.outcome == PlanOutcome::kOtherSettings) status += " (" + outcome.found_ip + ")";
  if (outcome.outcome == PlanOutcome::kAnsweredDhcp) status += " at " + outcome.found_ip;
  return status;
}

std::string VerificationSummary(const std::vector<RowOutcome>& outcomes) {
  auto count = [&](PlanOutcome which) {
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [&](const RowOutcome& o) { return o.outcome == which; }));
  };
  std::string line = StringPrintf("%d of %zu at new settings", count(PlanOutcome::kAtNewSettings), outcomes.size());
  if (int dhcp = count(PlanOutcome::kAnsweredDhcp))
    line += StringPrintf(" - %d answered (DHCP), which cannot be confirmed", dhcp);
  if (int not_sent = count(PlanOutcome::kNotSent)) line += StringPrintf(" - %d not sent", not_sent);
  return line;
}

bool VerificationSucceeded(const std::vector<RowOutcome>& outcomes) {
  return std::all_of(outcomes.begin(), outcomes.end(), [](const RowOutcome& o) {
    return o.outcome == PlanOutcome::kAtNewSettings || o.outcome == PlanOutcome::kAnsweredDhcp;
  });
}
