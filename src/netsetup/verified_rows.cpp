// The device grid brought up to date by a verification search.
#include "netsetup/verified_rows.h"

#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

#include "protocol/ipv4_text.h"
#include "protocol/mac_text.h"

const char kNotConfirmedTip[] = "Not confirmed: the verification search did not find the device at these settings";

namespace {

std::string CellsKey(const DeviceTable& table, int row) {
  return table.grid.Cell(kIpColumn, row) + '\0' + table.grid.Cell(kMacColumn, row);
}

std::string ListingKey(const tComUnitInfo& r) {
  return std::string(FieldText(r.ip)) + '\0' + std::string(FieldText(r.mac));
}

// A grid row that may show what the search found.
struct Candidate {
  int row = 0;
  std::size_t record = 0;  // its first record's index in the device list
  int plan_row = -1;       // the plan row of its device, if planned
  int pick = -1;           // the answer it shows, an index in `found`
};

}  // namespace

int VerifiedRows::Apply(DeviceTable& table, const ReaddressPlan& plan, const std::vector<RowOutcome>& outcomes,
                        const std::vector<PlanDevice>& found) {
  std::unordered_map<std::string, int> planned;  // listing -> plan row
  for (std::size_t i = 0; i < plan.rows.size(); ++i)
    planned.emplace(ListingKey(plan.rows[i].device.record), static_cast<int>(i));
  std::unordered_map<std::string, std::vector<std::size_t>> by_mac;  // MAC -> answers
  for (std::size_t i = 0; i < found.size(); ++i) by_mac[MacKey(FieldText(found[i].record.mac))].push_back(i);

  std::vector<Candidate> rows;
  for (int row = 1; row < table.grid.RowCount(); ++row) {
    const tComUnitInfo* record = FirstRecordOfRow(table, row);
    if (record == nullptr || IsUpnpRow(table, row)) continue;
    auto plan_row = planned.find(ListingKey(*record));
    rows.push_back({row, table.devices.IndexOf(record), plan_row == planned.end() ? -1 : plan_row->second});
  }

  std::vector<bool> used(found.size(), false);
  auto take = [&](Candidate& c, std::size_t answer) {
    c.pick = static_cast<int>(answer);
    used[answer] = true;
  };
  // The answer the verification counted for each planned row.
  for (Candidate& c : rows) {
    if (c.plan_row < 0 || static_cast<std::size_t>(c.plan_row) >= outcomes.size()) continue;
    const int answer = outcomes[static_cast<std::size_t>(c.plan_row)].found;
    if (answer >= 0 && static_cast<std::size_t>(answer) < found.size() && !used[static_cast<std::size_t>(answer)])
      take(c, static_cast<std::size_t>(answer));
  }
  // Then an answer at the row's own address, then any answer of its MAC.
  for (bool same_address : {true, false}) {
    for (Candidate& c : rows) {
      if (c.pick >= 0) continue;
      const tComUnitInfo& record = table.devices.At(c.record);
      auto answers = by_mac.find(MacKey(FieldText(record.mac)));
      if (answers == by_mac.end()) continue;
      for (std::size_t answer : answers->second) {
        if (used[answer]) continue;
        if (same_address && !SameAddressText(FieldText(found[answer].record.ip), FieldText(record.ip))) continue;
        take(c, answer);
        break;
      }
    }
  }
  // No two rows may come to name one listing: an answer whose listing a row
  // that stays as it is shows already is not shown twice.
  std::map<std::string, int> listings;  // listing -> rows that will show it
  for (const Candidate& c : rows)
    ++listings[c.pick >= 0 ? ListingKey(found[static_cast<std::size_t>(c.pick)].record) : ListingKey(table.devices.At(c.record))];
  for (Candidate& c : rows)
    if (c.pick >= 0 && listings[ListingKey(found[static_cast<std::size_t>(c.pick)].record)] > 1) c.pick = -1;

  int changed = 0;
  table.grid.BeginUpdate();
  for (const Candidate& c : rows) {
    if (c.pick < 0) {
      if (c.plan_row >= 0) unconfirmed_.insert(CellsKey(table, c.row));
      continue;
    }
    const PlanDevice& answer = found[static_cast<std::size_t>(c.pick)];
    const tComUnitInfo* now = &table.devices.At(c.record);
    const bool same = std::memcmp(now, &answer.record, sizeof(tComUnitInfo)) == 0 &&
                      table.devices.InterfaceAt(c.record) == answer.interface &&
                      table.devices.LocalAddressOf(now) == answer.local_address;
    unconfirmed_.erase(CellsKey(table, c.row));
    if (same) continue;
    table.devices.Replace(c.record, answer.record, answer.interface, answer.local_address);
    table.grid.SetRow(c.row, GridRowOf(answer.record));
    unconfirmed_.erase(CellsKey(table, c.row));
    ++changed;
  }
  table.grid.EndUpdate();
  return changed;
}

std::string VerifiedRows::Tip(const DeviceTable& table, int row) const {
  if (row < 1 || row >= table.grid.RowCount()) return "";
  return unconfirmed_.count(CellsKey(table, row)) != 0 ? kNotConfirmedTip : "";
}
