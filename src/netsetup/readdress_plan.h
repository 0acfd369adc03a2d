// Re-addressing many devices in one step: a plan of (device, new settings)
// pairs, built from a selection and a start address or read from a CSV
// file, checked as a whole before anything is sent; the sending of one
// planned device's control package; and the comparison of a later search
// with the plan (did each device come back at its new settings?).
//
// A plan is refused as a whole when any of its rows is: nothing of a refused
// plan may be sent. Every refusal names its row ("line 4: ..." for a row of
// a file, the device's MAC for a row of a selection), refusals come in the
// order of their rows, and one names at most five other rows ("line 2,
// line 3, ... and 12 more"). Static rows are checked with the Network Setup
// dialog's rules and texts ("Invalid %s - [%s]": every address a strict
// dotted quad, GivenAddress) and with the addresses that are never handed
// out (address_rules.h), this PC's addresses on the interface each device
// answered on included, and every address a listed device may be at
// (HeldAddresses) too. Two warnings stay warnings: the dialog's gateway
// warning ("Unresonable Gateway - [%s]") and an address outside this PC's
// subnets on the device's interface ("the device will not be reachable from
// eth0 (10.99.0.1/24)", UnreachableWarning). DHCP rows are never refused for
// the addresses they carry. Refusals and warnings hold the texts as given:
// whoever shows them shows them by the shown-text rule. The checks take time
// in proportion to the rows and devices, not their square.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "netsetup/net_setup_rules.h"
#include "netsetup/plan_device.h"
#include "protocol/debug_log.h"
#include "protocol/device_list.h"
#include "protocol/unit_info.h"

// One device and what it is to become.
struct PlanRow {
  PlanDevice device;
  NetworkType type = NetworkType::kStatic;  // kStatic or kDhcp
  // The addresses the control package carries: for kStatic the new ones, for
  // kDhcp the device's current ones (as the dialog sends them).
  std::string ip, netmask, gateway, dns;
  int line = 0;  // the file's line the row came from; 0 for a selection
};

struct ReaddressPlan {
  std::vector<PlanRow> rows;
  std::vector<std::string> refusals;  // why the plan is refused, one line each
  std::vector<std::string> warnings;  // sent all the same
  bool Refused() const { return !refusals.empty(); }
};

// How a selection is given its addresses.
enum class PlanOrder { kAsListed, kByMac, kByAddress };

struct SequentialSettings {
  NetworkType type = NetworkType::kStatic;  // kStatic or kDhcp (nothing else is read then)
  std::string start, netmask, gateway, dns;
  PlanOrder order = PlanOrder::kAsListed;
};

// The plan for `selected` (in the order listed) from `settings`: DHCP for
// every device, or static addresses in turn from the start address, in the
// order asked (by MAC ignoring case, or by current address, ties in the
// order listed), each with the netmask, gateway and DNS given. Addresses are
// skipped when they are the subnet's network or broadcast address (of the
// start address and netmask), the gateway, an address of this PC (`own`) on
// the interface the device answered on, or held by any device of `listed`
// other than the one being given an address (a device may keep its own;
// HeldAddresses says what a device holds). A
// run that reaches the subnet's end does not wrap: the devices left over are
// refused ("no address left in <network>/<netmask>"). Invalid settings are
// refused once each, with the dialog's texts ("Invalid Start Address -
// [...]"), as are a netmask that is not contiguous and a start address that
// is never handed out; so the run takes at most as many steps as there are
// devices and addresses to skip, whatever the netmask. Each warning is one
// line for all the rows it concerns: "Unresonable Gateway - [...]" once,
// "<MAC>, <MAC> and N more: the device will not be reachable from ..." per
// interface.
ReaddressPlan SequentialPlan(const std::vector<PlanDevice>& selected, const SequentialSettings& settings,
                             const std::vector<PlanDevice>& listed, const std::vector<OwnAddress>& own);

// The plan a CSV text gives for the devices of `listed`. One row a line,
// "mac,ip,netmask,gateway,dns" or "mac,dhcp" (fields trimmed of blanks; a
// DHCP row may be padded with empty fields up to five, as spreadsheets
// write them); blank lines and lines whose first character is "#" are
// skipped, and so is a first row whose first field is "mac" (a heading).
// CR LF line ends and a UTF-8 byte order mark are taken. A row is refused
// when it has another number of fields, a MAC that is not six pairs of
// hexadecimal digits, or a MAC that no listed device or several have
// (compared by SameMac). A text without any row is refused too. Static rows
// are checked against this PC's addresses `own`.
ReaddressPlan CsvPlan(std::string_view csv, const std::vector<PlanDevice>& listed,
                      const std::vector<OwnAddress>& own);

// Sends the row's control package out of the interface its device answered
// on: the very bytes the Network Setup dialog sends for that device with the
// row's network type and addresses (NetSetupRules::Apply). True when sent.
bool SendPlanRow(const PlanRow& row, ControlPackageSender& sender, DebugLog& log);

// What a search after the re-addressing found of one planned device.
// The best first: where a device answers more than once, the best counts.
enum class PlanOutcome {
  kAtNewSettings,  // static: found with the row's ip, netmask, gateway and DNS
  kAnsweredDhcp,   // DHCP: found. Not a verification: the device may have kept
                   // its address, or a DHCP server may have given it the same one.
  kUnchanged,      // static: found with the ip, netmask, gateway and DNS it had
  kOtherSettings,  // static: found, with other addresses than either
  kNotFound,       // no device with its MAC answered
  kNotSent,        // its package never went out; what answers says nothing of it
};

struct RowOutcome {
  PlanOutcome outcome = PlanOutcome::kNotFound;
  std::string found_ip;  // the address it answered with, when found
  int found = -1;        // the index in `found` of that answer, when found
};

// The outcome of each row of `plan` (in row order) given the devices a
// search found. A row's device is found by its MAC (SameMac); addresses are
// compared as addresses (SameAddressText: an answer outside the strict rule,
// "10.0.0.011", is at no planned address). A row whose `sent` entry is false
// is kNotSent; rows past the end of `sent` count as sent.
std::vector<RowOutcome> VerifyPlan(const ReaddressPlan& plan, const std::vector<PlanDevice>& found,
                                   const std::vector<bool>& sent);

// "at new settings", "answered (DHCP)", "unchanged", "at other settings",
// "not found" or "not sent".
const char* OutcomeText(PlanOutcome outcome);
// The outcome as a status: OutcomeText, followed by " (<found ip>)" when a
// static row's device was found elsewhere than planned, or " at <found ip>"
// when a DHCP row's answered.
std::string OutcomeStatus(const RowOutcome& outcome);

// "N of M at new settings", then " - N answered (DHCP), which cannot be
// confirmed" and " - N not sent" where there are such rows.
std::string VerificationSummary(const std::vector<RowOutcome>& outcomes);
// True when every static row is at its new settings and every DHCP row
// answered: nothing else counts as a re-addressing that worked.
bool VerificationSucceeded(const std::vector<RowOutcome>& outcomes);
