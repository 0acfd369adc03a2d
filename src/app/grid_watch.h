// The live watch in the window, without a window: what DeviceWatch reports
// applied to the window's device list, grid and row marks. A device found is
// appended (a record and a grid row at the row counter) and marked new for
// DeviceWatch::kNewFor; a changed one is updated in place (its record, the
// list's index and its grid row, wherever a sort put it) and marked changed
// with its fields before and after; a gone one is greyed and kept until the
// list is emptied. The grid's rows never move, so the selection, the sort
// and selected_row keep naming the same devices.
//
// Thread: one (the window's). Plain values; no timer, no socket.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/row_marks.h"
#include "protocol/device_table.h"
#include "watch/device_watch.h"
#include "lists/row_writer.h"

class GridWatch {
 public:
  // `table` and `marks` must outlive it.
  GridWatch(DeviceTable& table, RowMarks& marks) : table_(table), marks_(marks) {}

  // The devices a watch starts from (DeviceWatch::Restart): every record of
  // the table but those marked gone, in list order, with their sources and
  // UPnP texts by `origins` (records the watch appended by what it said).
  std::vector<WatchedDevice> Restart(const RecordOrigins& origins);

  // Applies `event` of `watch` (whose entry is already updated) at `now`.
  void Apply(const DeviceWatch& watch, const DeviceWatch::Event& event, RowMarks::Clock::time_point now);

  // `origins` (of the search that filled the table) with the records the
  // watch appended named by their own sources and UPnP texts.
  RecordOrigins WithAppended(RecordOrigins origins) const;

  // The UPnP texts the watch last reported for record i (one it appended
  // or changed), or null: then the search's texts hold.
  const DeviceInformationContainer* LatestUpnpOf(std::size_t i) const;

  // The table's list was emptied (a new search): nothing is appended.
  void Forget();

 private:
  // The grid row that shows record i, or -1.
  int RowOfRecord(std::size_t i) const;
  std::size_t AppendRecord(const WatchedDevice& device);

  DeviceTable& table_;
  RowMarks& marks_;
  std::vector<std::ptrdiff_t> record_of_entry_;  // by watch entry; -1: none yet
  // Records the watch appended: from appended_from_ on, in order.
  std::size_t appended_from_ = 0;
  std::vector<WatchedDevice> appended_;
  std::unordered_map<std::size_t, DeviceInformationContainer> latest_upnp_;  // by record index
};
