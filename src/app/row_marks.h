// What the window marks on the grid's rows besides their cells: the notes on
// each device (a warning), what the live watch saw happen to it (new for a
// while, changed, gone) and how it compares with a saved list (same, new,
// changed; the saved list's devices not found now become extra rows after
// the grid's). The marks belong to the device list's records; a grid row
// shows those of its first record (FirstRecordOfRow).
//
// Update() recomputes everything from the device table at once (linear in
// its size: about 30 ms for 50,000 rows); between two updates the rows'
// looks and tooltips are read from what it keeps, so painting costs nothing.
// Call it after every change of the grid or the device list.
//
// Plain values, no window. Thread: one (the window's).
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "lists/device_changes.h"
#include "lists/row_notes.h"

// The marks in the first cell of a new and of a changed row, beside their
// tint, and at the start of the tooltip's line that says what they mean.
constexpr const char* kNewMark = "+";
constexpr const char* kChangedMark = "\u0394";  // Greek capital delta

// How a row is drawn besides its texts.
struct RowLook {
  enum class Tint { kNone, kNew, kChanged };
  bool warning = false;  // a warning mark in its first cell: it has notes
  bool greyed = false;   // gone (watch) or missing (comparison)
  Tint tint = Tint::kNone;
};

class RowMarks {
 public:
  using Clock = std::chrono::steady_clock;

  // `table` must outlive it.
  explicit RowMarks(const DeviceTable& table) : table_(table) {}

  // What the watch saw happen to a record (WatchNew, WatchChanged, WatchGone).
  struct WatchMark {
    bool is_new = false;
    Clock::time_point new_until{};
    bool changed = false;
    std::string changes;  // "IP 10.0.0.5 → 10.0.0.6" (ChangedFieldsText), of the last change
    bool gone = false;
  };

  // Recomputes the notes of every record of `listed` (the table's records,
  // ListedDevicesOf), which grid row shows which record, the comparison
  // with the saved list, and the count of rows with notes. `local`: this
  // PC's networks. `now` ends the "new" marks that ran out.
  void Update(const std::vector<ListedDevice>& listed, const std::vector<LocalNetwork>& local, Clock::time_point now);
  // The device list was emptied: no record has marks until the next Update
  // (a comparison's saved list stays).
  void ForgetRecords();

  // Grid data rows whose record has notes (shown or not).
  int WarningRows() const { return warning_rows_; }
  bool HasNotes(int grid_row) const;
  RowLook LookOf(int grid_row) const;
  // The row's lines for its tooltip, device texts shown by ShownText, one a
  // line ("" for none): its notes' details, then the watch's and the
  // comparison's words.
  std::string TipOf(int grid_row) const;

  // The watch's marks, by record index. A new search's list starts without.
  void WatchNew(std::size_t record, Clock::time_point until);
  void WatchChanged(std::size_t record, const tComUnitInfo& before, const tComUnitInfo& now,
                    const std::vector<int>& fields);
  void WatchGone(std::size_t record, bool gone);
  const WatchMark* WatchOf(std::size_t record) const;
  // Whether a "new" mark runs out by `now` (Update then redraws it plain).
  bool NewMarkEnds(Clock::time_point now) const;

  // The comparison: the saved list's devices and the name shown for it
  // ("devices.json"). Every Update compares the device list with it afresh.
  void SetSavedList(std::vector<ListedDevice> saved, std::string name);
  void ClearSavedList();
  bool Comparing() const { return comparing_; }
  // The saved list compared with, or null while none is.
  const std::vector<ListedDevice>* SavedList() const { return comparing_ ? &saved_ : nullptr; }
  // The saved devices not found now, in the saved list's order: how many,
  // the i-th as a grid row (made when asked: a list may hold 200,000), and
  // the tooltip they share.
  std::size_t MissingCount() const { return missing_.size(); }
  StringGrid::Row MissingRow(std::size_t i) const;
  const std::string& MissingTip() const { return missing_tip_; }
  // How many rows of each comparison word: same, new, changed, missing.
  struct CompareCounts {
    int same = 0, added = 0, changed = 0, missing = 0;
  };
  CompareCounts Counts() const { return counts_; }

 private:
  // The record a grid row shows (index into the list), or none.
  std::optional<std::size_t> RecordOf(int grid_row) const;

  const DeviceTable& table_;
  std::vector<std::vector<RowNote>> notes_;        // by record
  std::vector<WatchMark> watch_;                   // by record, as far as marked
  int warning_rows_ = 0;

  bool comparing_ = false;
  std::string saved_name_;
  std::vector<ListedDevice> saved_;
  struct Compared {
    DeviceChange::Kind kind = DeviceChange::kSame;
    std::string tip;  // its tooltip line
  };
  std::vector<Compared> compared_;                 // by record
  std::vector<std::size_t> missing_;               // into saved_
  std::string missing_tip_;
  CompareCounts counts_;
};

// "IP 10.0.0.5 → 10.0.0.6, Port 80 → 8080": the fields of `fields` with
// their texts before and now (ShownText), in the order given.
std::string ChangedFieldsText(const tComUnitInfo& before, const tComUnitInfo& now, const std::vector<int>& fields);
