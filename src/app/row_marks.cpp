// The grid rows' marks: notes, the watch's and the comparison's.
#include "app/row_marks.h"

#include <cstring>

#include "protocol/shown_text.h"

namespace {

std::string FieldOf(const tComUnitInfo& record, int f) {
  return std::string(UnitField(record, f), strnlen(UnitField(record, f), UnitFieldWidth(f)));
}

// The names the grid and the detail dialog give the fields.
const char* FieldLabel(int f) {
  static const char* const kLabels[kUnitFieldCount] = {"Model", "Proj",    "Name", "IP",  "Port", "Netmask",
                                                       "Gateway", "DNS", "Mac",  "Dev", "Note"};
  return f >= 0 && f < kUnitFieldCount ? kLabels[f] : "?";
}

void AddLine(std::string& text, const std::string& line) {
  if (line.empty()) return;
  if (!text.empty()) text += '\n';
  text += line;
}

}  // namespace

std::string ChangedFieldsText(const tComUnitInfo& before, const tComUnitInfo& now, const std::vector<int>& fields) {
  std::string text;
  for (int f : fields) {
    if (!text.empty()) text += ", ";
    text += ChangedFieldText(FieldLabel(f), ShownText(FieldOf(before, f)), ShownText(FieldOf(now, f)), " \u2192 ");
  }
  return text;
}

void RowMarks::Update(const std::vector<ListedDevice>& listed, const std::vector<LocalNetwork>& local,
                      Clock::time_point now) {
  notes_ = NotesOf(listed, local);
  for (WatchMark& w : watch_)
    if (w.is_new && now >= w.new_until) w.is_new = false;
  warning_rows_ = 0;
  for (int r = 1; r < table_.grid.RowCount(); ++r)
    if (HasNotes(r)) ++warning_rows_;

  compared_.clear();
  missing_.clear();
  missing_tip_.clear();
  counts_ = {};
  if (!comparing_) return;
  compared_.assign(listed.size(), Compared{});
  const std::string name = ShownText(saved_name_);
  for (const DeviceChange& change : CompareDevices(saved_, listed)) {
    std::string tip;
    switch (change.kind) {
      case DeviceChange::kSame:
        ++counts_.same;
        tip = "Same as in " + name;
        break;
      case DeviceChange::kNew:
        ++counts_.added;
        tip = std::string(kNewMark) + " New: not in " + name;
        break;
      case DeviceChange::kChanged:
        ++counts_.changed;
        tip = std::string(kChangedMark) + " Changed since " + name + ": " +
              ChangedFieldsText(saved_[change.before].record, listed[change.now].record, change.fields);
        break;
      case DeviceChange::kMissing:
        ++counts_.missing;
        missing_.push_back(change.before);
        missing_tip_ = "Missing: in " + name + ", not found now";
        continue;
    }
    compared_[change.now] = Compared{change.kind, std::move(tip)};
  }
}

StringGrid::Row RowMarks::MissingRow(std::size_t i) const { return GridRowOf(saved_[missing_[i]].record); }

void RowMarks::ForgetRecords() {
  notes_.clear();
  watch_.clear();
  compared_.clear();
  warning_rows_ = 0;
}

std::optional<std::size_t> RowMarks::RecordOf(int grid_row) const {
  if (!IsDataRow(table_, grid_row)) return std::nullopt;
  const tComUnitInfo* record = FirstRecordOfRow(table_, grid_row);
  if (record == nullptr) return std::nullopt;
  return static_cast<std::size_t>(record - &table_.devices.At(0));
}

bool RowMarks::HasNotes(int grid_row) const {
  const std::optional<std::size_t> i = RecordOf(grid_row);
  return i && *i < notes_.size() && !notes_[*i].empty();
}

RowLook RowMarks::LookOf(int grid_row) const {
  RowLook look;
  const std::optional<std::size_t> i = RecordOf(grid_row);
  if (!i) return look;
  look.warning = *i < notes_.size() && !notes_[*i].empty();
  if (const WatchMark* w = WatchOf(*i)) {
    look.greyed = w->gone;
    if (w->changed) look.tint = RowLook::Tint::kChanged;
    if (w->is_new) look.tint = RowLook::Tint::kNew;
  }
  if (comparing_ && *i < compared_.size() && look.tint == RowLook::Tint::kNone) {
    if (compared_[*i].kind == DeviceChange::kNew) look.tint = RowLook::Tint::kNew;
    if (compared_[*i].kind == DeviceChange::kChanged) look.tint = RowLook::Tint::kChanged;
  }
  return look;
}

std::string RowMarks::TipOf(int grid_row) const {
  const std::optional<std::size_t> i = RecordOf(grid_row);
  if (!i) return "";
  std::string tip;
  if (*i < notes_.size())
    for (const RowNote& note : notes_[*i]) AddLine(tip, "Warning: " + ShownText(note.detail));
  if (const WatchMark* w = WatchOf(*i)) {
    if (w->gone) AddLine(tip, "Gone: no longer answers");
    if (w->is_new) AddLine(tip, std::string(kNewMark) + " New: found while watching");
    if (w->changed) AddLine(tip, std::string(kChangedMark) + " Changed: " + w->changes);
  }
  if (comparing_ && *i < compared_.size()) AddLine(tip, compared_[*i].tip);
  return tip;
}

void RowMarks::WatchNew(std::size_t record, Clock::time_point until) {
  if (watch_.size() <= record) watch_.resize(record + 1);
  watch_[record].is_new = true;
  watch_[record].new_until = until;
  watch_[record].gone = false;
}

void RowMarks::WatchChanged(std::size_t record, const tComUnitInfo& before, const tComUnitInfo& now,
                            const std::vector<int>& fields) {
  if (watch_.size() <= record) watch_.resize(record + 1);
  watch_[record].changed = true;
  watch_[record].changes = ChangedFieldsText(before, now, fields);
}

void RowMarks::WatchGone(std::size_t record, bool gone) {
  if (watch_.size() <= record) watch_.resize(record + 1);
  watch_[record].gone = gone;
}

const RowMarks::WatchMark* RowMarks::WatchOf(std::size_t record) const {
  return record < watch_.size() ? &watch_[record] : nullptr;
}

bool RowMarks::NewMarkEnds(Clock::time_point now) const {
  for (const WatchMark& w : watch_)
    if (w.is_new && now >= w.new_until) return true;
  return false;
}

void RowMarks::SetSavedList(std::vector<ListedDevice> saved, std::string name) {
  saved_ = std::move(saved);
  saved_name_ = std::move(name);
  comparing_ = true;
}

void RowMarks::ClearSavedList() {
  saved_.clear();
  saved_name_.clear();
  comparing_ = false;
  compared_.clear();
  missing_.clear();
  missing_tip_.clear();
  counts_ = {};
}
