// `device-search setup --plan`: the plan printed, sent and verified.
#include "cli/plan_command.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "protocol/shown_text.h"
#include "protocol/string_printf.h"

namespace {

// What became of each row.
struct PlanProgress {
  std::vector<std::optional<bool>> sent;          // by row; none: not tried (a dry run)
  std::optional<std::vector<RowOutcome>> outcomes;  // with a verification
};

std::string Field(std::string_view text) { return std::string(text); }

bool IsStatic(const PlanRow& row) { return row.type == NetworkType::kStatic; }

// The new addresses as printed: none for DHCP (the package carries the
// device's current ones, which it drops).
std::vector<std::string> NewAddresses(const PlanRow& row) {
  if (!IsStatic(row)) return {"", "", "", ""};
  return {row.ip, row.netmask, row.gateway, row.dns};
}

void PrintPlanTable(const ReaddressPlan& plan, std::ostream& out) {
  std::vector<std::vector<std::string>> cells = {
      {"MAC", "Model", "Name", "Current IP", "New IP", "Netmask", "Gateway", "DNS"}};
  for (const PlanRow& row : plan.rows) {
    const tComUnitInfo& r = row.device.record;
    std::vector<std::string> line = {Field(FieldText(r.mac)), Field(FieldText(r.model)), Field(FieldText(r.name)),
                                     Field(FieldText(r.ip))};
    std::vector<std::string> addresses = NewAddresses(row);
    if (!IsStatic(row)) addresses[0] = "DHCP";
    line.insert(line.end(), addresses.begin(), addresses.end());
    cells.push_back(line);
  }
  PrintAligned(cells, out);
}

void PrintOutcomeTable(const ReaddressPlan& plan, const std::vector<RowOutcome>& outcomes, std::ostream& out) {
  std::vector<std::vector<std::string>> cells = {{"MAC", "New IP", "Outcome"}};
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    cells.push_back({Field(FieldText(row.device.record.mac)), IsStatic(row) ? row.ip : "DHCP",
                     OutcomeStatus(outcomes[i])});
  }
  PrintAligned(cells, out);
  out << VerificationSummary(outcomes) << ".\n";
}

std::string SentText(const std::optional<bool>& sent) { return sent ? (*sent ? "yes" : "no") : ""; }

void PrintPlanCsv(const ReaddressPlan& plan, const PlanProgress& progress, std::ostream& out) {
  out << "Mac,Model,Name,Current IP,Interface,Type,IP,Netmask,Gateway,DNS,Sent,Outcome,Found IP\r\n";
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    const tComUnitInfo& r = row.device.record;
    std::vector<std::string> fields = {Field(FieldText(r.mac)), Field(FieldText(r.model)), Field(FieldText(r.name)),
                                       Field(FieldText(r.ip)),  row.device.interface,      NetSetupRules::Keyword(row.type)};
    for (const std::string& a : NewAddresses(row)) fields.push_back(a);
    fields.push_back(SentText(progress.sent[i]));
    fields.push_back(progress.outcomes ? OutcomeText((*progress.outcomes)[i].outcome) : "");
    fields.push_back(progress.outcomes ? (*progress.outcomes)[i].found_ip : "");
    for (std::size_t f = 0; f < fields.size(); ++f) out << (f ? "," : "") << CsvField(fields[f]);
    out << "\r\n";
  }
}

void PrintPlanJson(const ReaddressPlan& plan, const PlanProgress& progress, std::ostream& out) {
  out << "[";
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const PlanRow& row = plan.rows[i];
    const tComUnitInfo& r = row.device.record;
    const std::vector<std::string> addresses = NewAddresses(row);
    const std::pair<const char*, std::string> texts[] = {
        {"mac", Field(FieldText(r.mac))},     {"model", Field(FieldText(r.model))},
        {"name", Field(FieldText(r.name))},   {"current_ip", Field(FieldText(r.ip))},
        {"interface", row.device.interface},  {"type", NetSetupRules::Keyword(row.type)},
        {"ip", addresses[0]},                 {"netmask", addresses[1]},
        {"gateway", addresses[2]},            {"dns", addresses[3]}};
    out << (i ? "," : "") << "{";
    for (const auto& [key, text] : texts) out << JsonString(key) << ":" << JsonString(text) << ",";
    const std::optional<bool>& sent = progress.sent[i];
    out << "\"sent\":" << (sent ? (*sent ? "true" : "false") : "null");
    if (progress.outcomes) {
      const RowOutcome& outcome = (*progress.outcomes)[i];
      out << ",\"outcome\":" << JsonString(OutcomeText(outcome.outcome))
          << ",\"found_ip\":" << JsonString(outcome.found_ip);
    } else {
      out << ",\"outcome\":null,\"found_ip\":null";
    }
    out << "}";
  }
  out << "]\n";
}

}  // namespace

int CarryOutPlan(const PlanCommand& cmd, const ReaddressPlan& plan, ControlPackageSender& sender, DebugLog& log,
                 const VerifySearch& verify, std::ostream& out, std::ostream& err) {
  if (plan.Refused()) {
    err << "device-search: the plan is refused; nothing was sent:\n";
    for (const std::string& line : plan.refusals) err << "  " << ShownText(line) << "\n";
    return 2;
  }
  for (const std::string& line : plan.warnings) err << "Warning: " << ShownText(line) << "\n";
  const bool table = cmd.format == OutputFormat::kTable;
  if (table) PrintPlanTable(plan, out);

  PlanProgress progress;
  progress.sent.resize(plan.rows.size());
  bool all_sent = true;
  if (cmd.dry_run) {
    if (table) out << "Dry run: no control package was sent.\n";
  } else {
    int sent = 0;
    for (std::size_t i = 0; i < plan.rows.size(); ++i) {
      progress.sent[i] = SendPlanRow(plan.rows[i], sender, log);
      if (*progress.sent[i]) {
        ++sent;
      } else {
        all_sent = false;
        if (table) out << "Not sent: " << ShownText(FieldText(plan.rows[i].device.record.mac)) << "\n";
      }
    }
    if (table) out << "Sent " << sent << " of " << plan.rows.size() << " control packages.\n";
  }

  bool all_back = true;
  if (cmd.verify && !cmd.dry_run) {
    if (table) out << "Verification search in " << *cmd.verify << " s.\n" << std::flush;
    std::vector<bool> sent;
    for (const std::optional<bool>& s : progress.sent) sent.push_back(s.value_or(false));
    progress.outcomes = VerifyPlan(plan, verify(*cmd.verify), sent);
    all_back = VerificationSucceeded(*progress.outcomes);
    if (table) PrintOutcomeTable(plan, *progress.outcomes, out);
  }
  if (cmd.format == OutputFormat::kJson) PrintPlanJson(plan, progress, out);
  if (cmd.format == OutputFormat::kCsv) PrintPlanCsv(plan, progress, out);
  return all_sent && all_back ? 0 : 1;
}

std::optional<std::string> ReadPlanText(std::istream& in, const std::string& name, std::string* error) {
  std::string text;
  std::vector<char> chunk(64 * 1024);
  // One byte past the limit tells a plan that is too large.
  while (text.size() <= kMaxPlanBytes && in) {
    in.read(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), kMaxPlanBytes + 1 - text.size())));
    text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    *error = "cannot read " + name;
    return std::nullopt;
  }
  if (text.size() > kMaxPlanBytes) {
    *error = name + " is larger than 1 MiB (" + std::to_string(kMaxPlanBytes) + " bytes); split it into smaller plans";
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> ReadPlanFile(const std::string& file, std::string* error) {
  if (file == "-") return ReadPlanText(std::cin, "the plan on standard input", error);
  std::error_code ignored;
  std::ifstream in(file, std::ios::binary);
  if (std::filesystem::is_directory(file, ignored) || !in.is_open()) {
    *error = "cannot read the plan " + file;
    return std::nullopt;
  }
  return ReadPlanText(in, "the plan " + file, error);
}
