// The main window: search controls across the top, the device grid below,
// the hidden debug log, and the grid's popup menu; in the strip below the
// grid, the row filter ("Filter", Ctrl+F; Escape clears it), "Export..." and
// "Log" (the debug log's window). Ctrl+C and the popup's "Copy" copy the
// selected rows; F5 and Enter in the relay address box search. A thin view:
// the search, the grid's rules, the filter, the row writer, the remembered
// settings and the layout rules live in plain classes; the handlers here
// read the controls, call those classes and redraw.
//
// The filter hides rows from the view only: the grid, the device list and
// sorting stay as they are, and a hidden row cannot be selected, copied,
// exported or browsed. A new search keeps the filter. Label1 reads the
// search's "%d device(s) found!" while the filter is empty, and "%d of %d
// device(s) shown" while it filters.
//
// Only the left button selects grid rows (Ctrl and Shift clicks, Ctrl+A
// select several); the current row is selected_row, on which the popup
// menu's first three items and a double click act. A change of the filter
// keeps the selected rows it still shows (the rows it hides leave the
// selection); a sort, a search and other changes of the grid select the
// current row alone. A right click opens the popup whenever it is attached;
// while selected_row is not shown, its first three items are disabled.
// "Network Setup for Selection..." acts on every selected row; its dialog is
// modeless, and while its verification search is pending the window does
// not search. When that search reports, the grid shows what it found
// (VerifiedRows), its selection kept: rows of planned devices it did not
// find say so in their tooltip until the next search.
//
// "Export..." starts in the folder of the last export (the home folder the
// first time), asks before it replaces a file, the extension it adds
// included, and says "Exported N rows to FILE" on the strip's line of
// messages for kStripNoteMs (WindowStrip).
//
// Rows are marked (RowMarks): a warning mark in the first cell of a row
// whose device has notes (address conflict, this PC's address, ...), the
// reasons in the row's tooltip, and "N warning(s)" in the strip. A click on
// that text shows only the rows with warnings (it stays pressed); a second
// click, or Escape, shows them all again. The marks are recomputed once
// after each change of the grid, not while drawing.
//
// "Compare..." in the strip reads a list saved earlier and compares the
// rows with it (CompareWith), afresh after each change of the grid: same,
// new (tinted as the watch's new rows) or changed (tinted, the fields before
// and after in the tooltip); the saved devices not found now follow the
// grid's rows, greyed, and no menu item or dialog acts on them. "Clear
// comparison" removes it all. Export writes what `search --format csv|json`
// writes for the rows shown: their notes, and while a comparison is shown
// its Compare and Changed columns and the missing devices.
//
// "Watch" in the strip (off by default, remembered, with its interval
// beside it: 30 s by default, at least 5) keeps the list true while it is
// on (LiveWatch, GridWatch): each interval a search of its own runs, and a
// device found is appended and marked new for a minute, a changed one is
// updated in place and marked changed (its fields before and after in the
// tooltip), a gone one is greyed and stays until the next "Device Search".
// "Device Search" still empties the list; watching goes on from its result.
// The first round is an interval after the session's first "Device Search"
// has ended; a round that finds devices for an empty grid is followed by a
// full search, which lists them. Label1 is written by "Device Search" only;
// the strip says "Watching: N new, N changed, N gone" for the last round.
// Never two searches at once (WatchTurns): a "Device Search" pressed during
// a watch's round disables Button1 and shows "Searching..." at once and
// starts when the round has ended, and no round starts while the window
// searches, a Network Setup or detail dialog is open, a selection's
// verification is pending, or the window closes.
//
// The window has a minimum size, at which every control shows whole and
// none lies over another (MinimumClientSize): it follows the panel's
// controls, Label1's text and the strip's layout, so a control added to the
// strip (insert it into WindowStrip::Controls(), before ExportButton) raises
// the minimum by itself. Above it, the first layout and the resize rule are
// the design's.
// ComboBox1Exit runs when the focus really leaves ComboBox1, not when its
// list opens or another window becomes active, and a typed text stays typed
// (Qt does not swap it for an equal entry) until an entry is picked from the
// list.
#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "netsetup/verified_rows.h"
#include "app/grid_watch.h"
#include "app/row_marks.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/search_controls.h"
#include "app/row_filter.h"
#include "app/export_target.h"
#include "app/saved_list_reading.h"
#include "app/watch_turns.h"
#include "app/window_strip.h"
#include "lists/row_writer.h"
#include "search/search_driver.h"
#include "search/standalone_search.h"
#include "ui/log_form.h"
#include "ui/readdress_form.h"
#include "ui/remembered_settings.h"

class GridModel;
class GridView;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableView;
class QTimer;
class QToolButton;
class TLogForm;
class UdpControlPackageSender;
class UpnpEngine;
class LiveWatch;
class VerificationSearch;

// The window keeps this many lines of its debug log, each of at most
// kLogLineBytes bytes.
constexpr std::size_t kLogLines = 10000;
constexpr std::size_t kLogLineBytes = 1024;

// The debug log of the window: every entry goes to the hidden Memo1 and to
// whoever listens (the log's window), cut to kLogLineBytes; the last
// kLogLines entries are kept in order, with the time each came, for anyone
// who wants to read them.
class MemoLog : public StampedLog {
 public:
  explicit MemoLog(QPlainTextEdit* memo);
  void Append(const std::string& line) override;
  void Clear() override;
  void SetListener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }

 private:
  QPlainTextEdit* memo_;
  std::function<void(const std::string&)> listener_;
};

class TMainForm : public QWidget, public SearchControls {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // A new window searches nowhere: its exchanges find nothing and it has no
  // UPnP phase, so that a test never reaches the network by accident. The
  // program calls UseNetwork() to search with sockets and the GUPnP engine.
  void UseNetwork();
  // Replaces the UPnP phase (the window owns it) and the exchanges (tests).
  // Only while no search runs.
  void SetUpnpPhase(std::unique_ptr<UpnpPhase> upnp);
  void SetExchanges(std::unique_ptr<SearchExchanges> exchanges);
  // Replaces what the selection's verification search makes its exchanges
  // with (tests). Only while none is pending.
  void SetVerificationExchanges(MakeExchanges make) { make_verification_exchanges_ = std::move(make); }

  // SearchControls.
  void SetSearchButton(bool enabled, const std::string& caption) override;
  void SetCountLabel(const std::string& text) override;

  // Reads the remembered settings from `path` (a damaged file is ignored)
  // and sets the controls and the window's geometry from them; they are
  // written back there when the window closes. Without it (tests) nothing
  // is read or written.
  void UseSettingsFile(const QString& path);
  // Writes the remembered settings now (to the file UseSettingsFile named).
  void SaveSettings();

  // Compares the device list with the saved list in `path` (what Export or
  // `device-search search --format json|ndjson|csv` wrote) from now on, until
  // ClearComparison: rows are marked same, new or changed, and the list's
  // devices not found now follow the grid's rows, greyed. Result: "" when
  // the file was read, else the reason (the comparison shown stays).
  QString CompareWith(const QString& path);
  void ClearComparison();
  // Whether "Compare..." is reading its saved list.
  bool ReadingSavedList() const { return compare_reading_.Running(); }

  // Writes the rows shown, in the grid's order, to `path` in `format`
  // (kCsv or kJson), as `device-search search --format` does; `rows`, where
  // given, receives how many. Result: "" when the file was written, else
  // the reason.
  QString ExportTo(const QString& path, OutputFormat format, int* rows = nullptr) const;
  // The selected rows that are shown, under the headings, tab-separated.
  std::string SelectedRowsText() const;
  // The grid rows the view shows, in order (the filter's).
  std::vector<int> ShownGridRows() const;

  DeviceTable& Table() { return table_; }
  // The grid rows selected in the view, ascending.
  std::vector<int> SelectedGridRows() const;
  // The open "Network Setup for Selection" dialog, or null.
  TReaddressForm* ReaddressForm() const { return readdress_form_; }
  const SearchSettings& Settings() const { return settings_; }
  const RememberedSettings& Remembered() const { return remembered_; }
  MemoLog& Log() { return *log_; }
  SearchDriver& Driver() { return *driver_; }
  const std::vector<float>& ColumnProportions() const { return column_proportions_; }
  bool PopupAttached() const { return popup_attached_; }
  const RowMarks& Marks() const { return marks_; }
  // This PC's networks for the rows' notes; LocalNetworksOf(BroadcastInterfaces())
  // unless a test gives its own. Read at each recomputation of the marks.
  void SetLocalNetworks(std::function<std::vector<LocalNetwork>()> local) { local_networks_ = std::move(local); }
  // Recomputes the rows' marks now (otherwise it happens once the event loop
  // runs after a change).
  void UpdateMarks();
  // The watch's round search (tests give a fake; null: the program's, over
  // the window's exchanges) and the time it and the marks go by. Only while
  // not watching.
  void SetWatchSearch(std::function<std::unique_ptr<WatchSearch>()> make) { make_watch_search_ = std::move(make); }
  void SetClock(std::function<RowMarks::Clock::time_point()> clock) { clock_ = std::move(clock); }
  // The running watch, or null while "Watch" is off or waits for the first search.
  DeviceWatch* Watch() const;
  // What the watch's timer does: takes turns with the searches (WatchTurn),
  // starts a due round, and ends the "new" marks that ran out.
  void WatchTick();
  // Called after a search ended (after the UPnP merge, where there is one).
  void SetOnSearchFinished(std::function<void()> finished) { on_search_finished_ = std::move(finished); }

  // Controls, under their design names.
  QFrame* Panel1;
  QGroupBox* GroupBox1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QComboBox* ComboBox1;
  QComboBox* ComboBox2;
  QGroupBox* GroupBox2;
  QComboBox* Proj;
  QPushButton* Button1;
  QLabel* Label1;
  QTableView* StringGrid1;
  QPlainTextEdit* Memo1;
  QMenu* PopupMenu1;
  QAction* Info1;
  QAction* Browser1;
  QAction* NetworkSetup1;
  QAction* NetworkSetupSelection1;
  QAction* Copy1;
  QFrame* Panel2;  // the strip below the grid (WindowStrip), and its controls
  QLabel* FilterLabel;
  QLineEdit* FilterEdit;
  QLabel* NoteLabel;   // "Exported N rows to FILE", for kStripNoteMs (in full as its tooltip)
  QLabel* WatchLabel;  // "Watching: N new, N changed, N gone"
  QToolButton* WarningsButton;  // "N warning(s)"; pressed, only rows with notes show
  QCheckBox* WatchCheck;        // "Watch"
  QSpinBox* WatchInterval;      // its interval in seconds
  QPushButton* CompareButton;       // "Compare..."
  QPushButton* ClearCompareButton;  // "Clear comparison", while one is shown
  QPushButton* ExportButton;
  QPushButton* LogButton;
  TLogForm* LogForm = nullptr;  // made when "Log" is first pressed

 public slots:
  void Button1Click();
  void RadioButton1Click();
  void RadioButton2Click();
  void ComboBox1Exit();
  void StringGrid1SelectCell(int col, int row);
  void StringGrid1MouseMove(int x, int y);
  void StringGrid1MouseUp(Qt::MouseButton button, int x, int y, bool on_heading);
  void PopupMenu1Popup();
  void Browser1Click();
  void Info1Click();
  void NetworkSetup1Click();
  void NetworkSetupSelection1Click();
  void Copy1Click();
  void FilterEditChange();
  void WarningsButtonClick();
  void WatchCheckClick();
  void CompareButtonClick();
  void ClearCompareButtonClick();
  void ExportButtonClick();
  void LogButtonClick();

 protected:
  // FormResize on every change of the outer size: a resize, a move (a frame
  // that a window manager adds later) and showing. The first showing sets
  // the outer size, frame included, to the design's 807 x 624.
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void CreatePanel();
  void CreateGrid();
  void CreatePopup();
  void ConnectControls();
  void RebuildDriver();
  void FormCreate();
  void FormResize();
  // The search settings as the controls show them now.
  SearchSettings CurrentSettings() const;
  void ReadSettings();
  // Re-reads the grid. With `keep`, the grid rows to select again, where
  // shown; without, the current row (selected_row) alone.
  void RefreshGrid(const std::optional<std::vector<int>>& keep = std::nullopt);
  void AddSelectionSetupItem();
  void UpdateSearchButton();
  void CreateStrip();
  void ApplyRememberedSettings();
  void UpdateCountLabel();
  // Sets the window's minimum size from its controls (MinimumClientSize).
  void UpdateMinimumSize();
  // Whether the filter hides selected_row (a data row of the grid), or the
  // current row is an extra row: then "Detail Info.", "Browse" and "Network
  // Setup" do nothing.
  bool SelectedRowHidden() const;
  // Where the rows' records came from, for Copy and Export.
  RecordOrigins Origins() const;
  // The grid changed: redraw it now and recompute the marks soon, once for
  // a burst of changes.
  void GridChanged();
  // "Compare..."'s list has been read (or not: `error` says why).
  void ComparedWith(const QString& path, std::optional<std::vector<ListedDevice>> saved, const std::string& error);
  // Whether a data row passes the filter text and the warnings' filter.
  bool RowShown(int row) const;
  // The extra rows (a comparison's missing devices) that the filters show.
  void ShowExtraRows();
  // "Device Search" as the button starts it, once no round runs.
  void StartSearch();
  // Starts watching afresh from the device list (stopping a watch first),
  // once the session's first search has ended; StopWatch ends it and starts
  // a search that waited for the round.
  void StartWatch();
  void StopWatch();
  void WatchIntervalChange();
  // Before each tick of the watch: takes turns with the window's searches.
  // Always false: the watch is ticked here where it may be.
  bool WatchTurn();
  void WatchEvent(const DeviceWatch::Event& event);
  void EndWatchBatch();

  DeviceTable table_;
  SearchSettings settings_;
  std::unique_ptr<MemoLog> log_;
  std::unique_ptr<SearchExchanges> exchanges_;
  std::unique_ptr<UpnpPhase> upnp_;
  UpnpEngine* engine_ = nullptr;  // the engine of upnp_, when it has one
  std::unique_ptr<SearchDriver> driver_;
  std::vector<float> column_proportions_;
  GridModel* model_ = nullptr;
  GridView* grid_view_ = nullptr;  // StringGrid1
  RowFilter filter_;
  RowMarks marks_{table_};
  std::function<std::vector<LocalNetwork>()> local_networks_;
  QTimer* marks_timer_ = nullptr;
  std::chrono::steady_clock::duration marks_cost_{};  // how long the last recomputation took
  std::function<RowMarks::Clock::time_point()> clock_ = [] { return RowMarks::Clock::now(); };
  std::optional<std::vector<int>> keep_on_change_;  // rows to keep selected across a grid change

  // The live watch (its round search, its SSDP announcements with the
  // network only, and its timing), its turns with the searches, and what
  // applies its events to the grid.
  std::function<std::unique_ptr<WatchSearch>()> make_watch_search_;
  std::unique_ptr<LiveWatch> live_;
  WatchTurns turns_;
  bool turn_due_ = false;  // a search or a new watch is to start after the round
  GridWatch grid_watch_{table_, marks_};
  bool watch_batch_open_ = false;  // events applied inside one grid batch
  std::vector<int> watch_keep_;    // the selection when the batch opened
  int busy_ = 0;                   // modal dialogs and closing: no round starts
  bool network_ = false;           // UseNetwork() was called
  std::string search_label_ = "0 device(s) found!";  // as the last search set it
  int found_ = 0;                                    // the devices it found
  QString settings_path_;                            // "" until UseSettingsFile
  RememberedSettings remembered_;
  bool geometry_restored_ = false;
  bool popup_attached_ = true;
  WindowStrip* strip_ = nullptr;
  SavedListReading compare_reading_;  // after marks_: it goes first
  bool combo1_picked_ = false;
  bool restoring_selection_ = false;
  bool shown_ = false;
  std::function<void()> on_search_finished_;

  // "Network Setup for Selection...": one dialog at a time, with the sender
  // and the verification search it uses, and the exchanges that search makes
  // (none until UseNetwork).
  MakeExchanges make_verification_exchanges_;
  SearchSettings readdress_settings_;
  std::unique_ptr<UdpControlPackageSender> readdress_sender_;
  std::unique_ptr<VerificationSearch> verification_;
  QPointer<TReaddressForm> readdress_form_;
  VerifiedRows verified_rows_;
  bool button_enabled_ = true;  // as the search driver last set it
  QString button_caption_ = "Device Search";
};
