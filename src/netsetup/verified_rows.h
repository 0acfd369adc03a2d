// The device grid after a re-addressing plan's verification search: every
// row whose device the search found shows what it found (new, DHCP or
// other settings) as a search would list it, and a row of a planned device
// that it did not find keeps its last-known settings, marked as not
// confirmed until the next search. Plain class; the caller's thread.
//
// A row's device is found by its MAC (SameMac). Where one MAC answered more
// than once, each answer is shown by one row at most: a planned row takes
// the answer the verification counts (VerifyPlan), any row one at its own
// address first, then rows take the rest in the grid's order. UPnP rows
// (IsUpnpRow) are left alone. The grid's rows
// keep their places (selection, sort order); each changed row's first
// record becomes the answer, in the device list and its (ip, mac) index.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "netsetup/readdress_plan.h"
#include "protocol/device_table.h"

class VerifiedRows {
 public:
  // Shows what `found` holds in the rows of `table`, for `plan` with its
  // `outcomes` (VerifyPlan of `found`), and remembers the planned rows not
  // confirmed. Result: the number of rows whose cells or interface changed.
  int Apply(DeviceTable& table, const ReaddressPlan& plan, const std::vector<RowOutcome>& outcomes,
            const std::vector<PlanDevice>& found);
  // kNotConfirmedTip for a data row marked not confirmed, else "".
  std::string Tip(const DeviceTable& table, int row) const;
  // A new search: no row is marked any more.
  void Clear() { unconfirmed_.clear(); }

 private:
  std::set<std::string> unconfirmed_;  // the rows' (IP, Mac) cells
};

extern const char kNotConfirmedTip[];
// "Not confirmed: the verification search did not find the device at these settings"
