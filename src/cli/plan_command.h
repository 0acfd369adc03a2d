// `device-search setup --plan FILE [--verify SECONDS] [--dry-run] [--format
// table|json|csv]`: many devices re-addressed in one step. Searches as
// `setup` does, builds the plan from the CSV file (readdress_plan.h) and
// checks it as a whole, prints it, sends one control package per device out
// of the interface it answered on, and with --verify waits, searches again
// and prints each device's outcome.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "netsetup/control_sender.h"
#include "netsetup/readdress_plan.h"
#include "protocol/debug_log.h"
#include "lists/row_writer.h"

struct PlanCommand {
  std::string file;            // "-": standard input
  std::optional<int> verify;   // seconds to wait before the verification search
  bool dry_run = false;        // print the plan, send nothing
  OutputFormat format = OutputFormat::kTable;  // kTable, kJson or kCsv
};

// The search that verifies the plan: waits, searches, returns what it found.
using VerifySearch = std::function<std::vector<PlanDevice>(int wait_seconds)>;

// Everything after the first search, for a plan already built: a refused
// plan prints its refusals to `err` and sends nothing (status 2). Otherwise
// prints the warnings to `err`, then, in the table format, the plan to
// `out` before anything is sent; sends each row through `sender` (unless a
// dry run); with a wait, runs `verify` and compares (a row never sent stays
// "not sent"). The json and csv formats print one document at the end, one
// entry per row with its plan, whether it was sent and its outcome. Status:
// 0 when every package was sent and, verified, every static row's device
// came back at its new settings and every DHCP row's device answered (which
// cannot confirm its settings); else 1.
int CarryOutPlan(const PlanCommand& cmd, const ReaddressPlan& plan, ControlPackageSender& sender, DebugLog& log,
                 const VerifySearch& verify, std::ostream& out, std::ostream& err);

// The largest plan read: 1 MiB.
constexpr std::size_t kMaxPlanBytes = 1024 * 1024;

// The text of a plan from `in`, named `name` in errors ("the plan x.csv"),
// or none (with *error) when it cannot be read or is larger than
// kMaxPlanBytes: then at most one byte more than that is read.
std::optional<std::string> ReadPlanText(std::istream& in, const std::string& name, std::string* error);
// The plan file's text ("-": standard input) by ReadPlanText, or none (with
// *error) when it cannot be read.
std::optional<std::string> ReadPlanFile(const std::string& file, std::string* error);
