// What the rows written out carry beside each record: its notes and, after
// a comparison with a saved list, how it compares; and the notes a UPnP row
// would carry before the merge makes it. Plain values, made for one state of
// the table.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "lists/device_changes.h"
#include "lists/record_origins.h"
#include "lists/row_notes.h"
#include "protocol/device_table.h"
#include "upnp/device_information.h"

// What is written beside each row's record: its notes and, after a
// comparison with a saved list, how it compares. Plain values, made by
// ExtrasOf for one state of the table; stale once the table changes.
struct RowExtras {
  // The notes of each record, by its index in the device list; none: no
  // notes are written (the rows' form before notes existed).
  std::optional<std::vector<std::vector<RowNote>>> notes;

  // A comparison with a saved list: `changes` is CompareDevices(saved, now),
  // where now[i] is the record numbered shown_records[i], the records the
  // grid shows as rows in the grid's order (records a project filter hides
  // take no part); the kMissing changes, last, name devices of `saved`.
  struct Comparison {
    const std::vector<ListedDevice>* saved = nullptr;  // not copied: a list may hold 200,000 devices
    std::vector<std::size_t> shown_records;
    std::vector<DeviceChange> changes;
    std::vector<std::size_t> change_of_record;  // by record index: its place in `changes`, or SIZE_MAX
    // The change of a record, or null for a record not shown.
    const DeviceChange* OfRecord(std::size_t record_index) const;
    // True when any change is not kSame: something is new, changed or missing.
    bool Differs() const;
  };
  std::optional<Comparison> comparison;
};

// The extras of `table`'s rows now: the notes of every record (NotesOf over
// ListedDevicesOf, its addresses judged against `local`, for the program
// ThisPcNetworks()) and, when `saved` is given, the comparison with it;
// `saved` must then outlive the extras.
RowExtras ExtrasOf(const DeviceTable& table, const RecordOrigins& origins, const std::vector<LocalNetwork>& local,
                   const std::vector<ListedDevice>* saved = nullptr);

// The notes the row of UPnP `device` would carry if it were appended to
// `table` now (its record as the merge makes it; none when the merge makes
// none).
std::vector<RowNote> UpnpDeviceNotes(const DeviceTable& table, const RecordOrigins& origins,
                                     const std::vector<LocalNetwork>& local, const DeviceInformationContainer& device);
