// Main window controls, start-up, layout and handlers.
#include "app/main_form.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <sstream>

#include "app/grid_model.h"
#include "app/grid_rules.h"
#include "app/relay_addresses.h"
#include "app/version.h"
#include "app/window_layout.h"
#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "protocol/interfaces.h"
#include "protocol/record_text.h"
#include "protocol/string_printf.h"
#include "search/engine_upnp_phase.h"
#include "search/network_exchanges.h"
#include "lists/saved_list.h"
#include "search/verification_search.h"
#include "app/window_strip.h"
#include "watch/live_watch.h"
#include "ui/detail_info.h"
#include "ui/log_form.h"
#include "ui/modal.h"
#include "ui/network_setup.h"
#include "ui/readdress_form.h"
#include "ui/save_file.h"

MemoLog::MemoLog(QPlainTextEdit* memo) : StampedLog(kLogLines, kLogLineBytes), memo_(memo) {
  if (memo_ != nullptr) memo_->setMaximumBlockCount(static_cast<int>(kLogLines));
}

void MemoLog::Append(const std::string& line) {
  const std::string entry = CutLogEntry(line, MaxEntryBytes());
  StampedLog::Append(entry);
  if (memo_ != nullptr) memo_->appendPlainText(LogLineText(entry));
  if (listener_) listener_(entry);
}

void MemoLog::Clear() {
  StampedLog::Clear();
  if (memo_ != nullptr) memo_->clear();
}

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  CreateControls();
  log_ = std::make_unique<MemoLog>(Memo1);
  make_verification_exchanges_ = [](DeviceTable&, const SearchSettings&, DebugLog&) { return MakeOfflineExchanges(); };
  verification_ = std::make_unique<VerificationSearch>(
      *log_, [this](DeviceTable& t, const SearchSettings& s, DebugLog& l) { return make_verification_exchanges_(t, s, l); },
      VerificationSearch::Hooks{[this] { return readdress_settings_; },
                                [this] { return driver_->Searching() || (live_ && live_->Watch().RoundRunning()); },
                                [this] { UpdateSearchButton(); }});
  SetExchanges(MakeOfflineExchanges());
  local_networks_ = [] { return LocalNetworksOf(BroadcastInterfaces()); };
  table_.grid.SetObserver([this] { GridChanged(); });
  // Linux has no firewall command to run and no sockets library to start.
  FormCreate();
}

TMainForm::~TMainForm() {
  turns_.WatchStopped();  // a search that waited for the round does not start now
  live_.reset();
  log_->SetListener(nullptr);
  delete LogForm;
  LogForm = nullptr;
  // The selection's dialog uses the sender and the verification search.
  delete readdress_form_;
  // The grid view must stop reading the grid before the members go.
  ComboBox1->removeEventFilter(this);
  StringGrid1->viewport()->removeEventFilter(this);
  StringGrid1->horizontalHeader()->viewport()->removeEventFilter(this);
  StringGrid1->setModel(nullptr);
  delete model_;
  model_ = nullptr;
  // FormDestroy: the device list goes first, then the UPnP phase, which waits
  // for a running worker.
  table_.grid.SetObserver(nullptr);
  while (!table_.devices.Empty()) table_.devices.RemoveLast();
  column_proportions_.clear();
  driver_.reset();
  upnp_.reset();
}

void TMainForm::UseNetwork() {
  SetExchanges(MakeNetworkExchanges(table_, settings_, *log_));
  make_verification_exchanges_ = MakeNetworkExchanges;
  SetUpnpPhase(std::make_unique<EngineUpnpPhase>(this, table_, settings_, *log_));
  network_ = true;
  if (live_) StartWatch();  // over the network from now on
}

void TMainForm::SetUpnpPhase(std::unique_ptr<UpnpPhase> upnp) {
  auto* engine_phase = dynamic_cast<EngineUpnpPhase*>(upnp.get());
  engine_ = engine_phase != nullptr ? &engine_phase->Engine() : nullptr;
  driver_.reset();
  upnp_ = std::move(upnp);
  RebuildDriver();
}

void TMainForm::SetExchanges(std::unique_ptr<SearchExchanges> exchanges) {
  driver_.reset();
  exchanges_ = std::move(exchanges);
  RebuildDriver();
}

void TMainForm::RebuildDriver() {
  driver_ = std::make_unique<SearchDriver>(table_, settings_, *this, *exchanges_, upnp_.get(), log_.get());
  driver_->SetOnFinished([this] {
    RefreshGrid();
    UpdateMarks();
    if (driver_->PortHeld()) strip_->ShowNote(QString::fromUtf8(kPortHeldText));
    turns_.SearchEnded();
    if (WatchCheck->isChecked()) StartWatch();  // from this search's devices, with its settings
    if (on_search_finished_) on_search_finished_();
    verification_->WindowSearchEnded();
  });
}

void TMainForm::FormCreate() {
  table_.selected_row = 1;
  WriteGridHeadings(table_.grid);
  const bool relay = !RadioButton1->isChecked();
  ComboBox1->setEnabled(relay);
  ComboBox2->setEnabled(relay);
  setWindowTitle(QString::fromStdString(CaptionWithVersion(kDesignCaption, kVersion)));
  column_proportions_ = RecordColumnProportions(kDesignColumnWidths, *log_);
  UpdateMinimumSize();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kDesignWidth / 2, kDesignHeight / 2));
  }
  FormResize();
}

void TMainForm::FormResize() {
  std::array<int, 7> current{};
  for (int i = 0; i < 7; ++i) current[static_cast<std::size_t>(i)] = StringGrid1->columnWidth(i);
  QSize outer = frameGeometry().size();
  GridGeometry g = LayoutGrid(outer.width(), outer.height(), column_proportions_, current);
  Panel1->setGeometry(0, 0, width(), kPanelHeight);
  if (g.has_columns) {
    for (int i = 0; i < 7; ++i) StringGrid1->setColumnWidth(i, g.columns[static_cast<std::size_t>(i)]);
  }
  // The grid ends above the strip, whatever the frame leaves of the design's room.
  const StripGeometry strip = LayoutStrip(height(), kGridTop, kGridTop + g.height, strip_->WantedHeight());
  StringGrid1->setGeometry(kGridLeft, kGridTop, g.width, strip.grid_height);
  Panel2->setGeometry(0, strip.top, width(), strip_->WantedHeight());
}

void TMainForm::UpdateMinimumSize() {
  int panel_right = 0;
  for (const QWidget* w : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!w->isHidden()) panel_right = std::max(panel_right, w->geometry().right() + 1);
  const int strip_width = Panel2->layout() != nullptr ? Panel2->layout()->minimumSize().width() : 0;
  const int grid_height = StringGrid1->horizontalHeader()->sizeHint().height() +
                          kMinimumGridRows * StringGrid1->verticalHeader()->defaultSectionSize() +
                          2 * StringGrid1->frameWidth();
  const ClientSize least = MinimumClientSize(panel_right, strip_width, grid_height, strip_->WantedHeight());
  if (minimumSize() != QSize(least.width, least.height)) setMinimumSize(least.width, least.height);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_ && geometry_restored_) {
    shown_ = true;  // the window stands as the user left it
  } else if (!shown_) {
    shown_ = true;
    // The design size is the outer size; the frame is known once the window
    // exists on screen (0 where the platform draws none).
    const QSize frame = frameGeometry().size() - size();
    if (frame != QSize(0, 0)) resize(QSize(kDesignWidth, kDesignHeight) - frame);
  }
  UpdateMinimumSize();  // the style's size hints are final once shown
  FormResize();
}

void TMainForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // A window manager may frame the window after it is shown, without a resize.
  FormResize();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A search still running its exchange holds the window as a UPnP search does.
  if ((upnp_ != nullptr && upnp_->InProgress()) || driver_->Searching()) {
    ++busy_;
    ShowMessage(this, "Searching Upnp Devices! Please wait", "Warring");
    --busy_;
    event->ignore();
    return;
  }
  SaveSettings();
  turns_.WatchStopped();  // closing: a search that waited for the round does not start
  live_.reset();
  event->accept();
}

void TMainForm::SetSearchButton(bool enabled, const std::string& caption) {
  button_enabled_ = enabled;
  button_caption_ = QString::fromStdString(caption);
  UpdateSearchButton();
}

void TMainForm::UpdateSearchButton() {
  // A press during a watch's round is answered at once; the search follows the round.
  const bool waiting = turns_.SearchWaiting();
  Button1->setText(waiting ? QString("Searching...") : button_caption_);
  Button1->setEnabled(button_enabled_ && !waiting && !verification_->Pending());
}

void TMainForm::SetCountLabel(const std::string& text) {
  search_label_ = text;
  found_ = static_cast<int>(RowsWithText(table_.grid).size());
  UpdateCountLabel();
}

void TMainForm::UpdateCountLabel() {
  if (WarningsButton->isChecked()) {
    // PrintRows's rows: those that hold any text.
    const std::vector<int> shown = ShownGridRows(), with_text = RowsWithText(table_.grid);
    const auto n = std::count_if(shown.begin(), shown.end(), [&](int r) {
      return std::binary_search(with_text.begin(), with_text.end(), r);
    });
    Label1->setText(QString::fromStdString(StringPrintf("%d of %d device(s) shown", static_cast<int>(n), found_)));
  } else {
    const int shown = filter_.Active() ? static_cast<int>(filter_.ShownRows(table_).size()) : found_;
    Label1->setText(QString::fromStdString(CountLabelText(filter_, search_label_, shown, found_)));
  }
  // As wide as its text, which the window's minimum width then keeps whole.
  Label1->resize(Label1->sizeHint().width(), Label1->height());
  UpdateMinimumSize();
}

SearchSettings TMainForm::CurrentSettings() const {
  SearchSettings s;
  s.ip_relay = RadioButton2->isChecked();
  s.relay_address = ComboBox1->currentText().toStdString();
  s.relay_protocol = ComboBox2->currentText().toStdString();
  s.project = Proj->currentText().toStdString();
  return s;
}

void TMainForm::ReadSettings() { settings_ = CurrentSettings(); }

void TMainForm::Button1Click() {
  if (driver_->Searching() || verification_->Pending()) return;
  if (live_ && !turns_.SearchPressed(live_->Watch().RoundRunning())) {
    UpdateSearchButton();
    return;
  }
  StartSearch();
}

void TMainForm::StartSearch() {
  if (driver_->Searching() || verification_->Pending()) return;
  ReadSettings();
  filter_.Forget();  // the new device list may tie the same cells to another interface
  verified_rows_.Clear();
  if (const std::string note = RelayAddressNote(settings_); !note.empty()) log_->Append(note);
  marks_.ForgetRecords();
  grid_watch_.Forget();
  driver_->Start();
  RefreshGrid();
}

void TMainForm::RadioButton1Click() {
  if (RadioButton1->isChecked()) {
    ComboBox1->setEnabled(false);
    ComboBox2->setEnabled(false);
  }
}

void TMainForm::RadioButton2Click() {
  if (RadioButton2->isChecked()) {
    ComboBox1->setEnabled(true);
    ComboBox2->setEnabled(true);
  }
}

void TMainForm::ComboBox1Exit() {
  std::vector<std::string> items;
  for (int i = 0; i < ComboBox1->count(); ++i) items.push_back(ComboBox1->itemText(i).toStdString());
  QString text = ComboBox1->currentText();
  if (AddTypedRelayAddress(items, text.toStdString(), combo1_picked_)) {
    RememberRelayAddress(remembered_.relay_addresses, text.toStdString());
    ComboBox1->addItem(text);
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(text);
  }
}

void TMainForm::StringGrid1SelectCell(int col, int row) {
  popup_attached_ = SelectGridCell(table_, col, row, *log_);
}

void TMainForm::StringGrid1MouseMove(int x, int y) {
  QModelIndex index = StringGrid1->indexAt(QPoint(x, y));
  bool hand = index.isValid() && IsHandCell(index.column(), model_->GridRow(index.row()));
  if (hand)
    StringGrid1->viewport()->setCursor(Qt::PointingHandCursor);
  else
    StringGrid1->viewport()->unsetCursor();
}

void TMainForm::StringGrid1MouseUp(Qt::MouseButton button, int x, int y, bool on_heading) {
  int col = -1;
  int row = -1;
  if (on_heading) {
    col = StringGrid1->horizontalHeader()->logicalIndexAt(x);
    row = 0;
  } else {
    QModelIndex index = StringGrid1->indexAt(QPoint(x, y));
    if (!index.isValid()) return;
    col = index.column();
    row = model_->GridRow(index.row());
  }
  if (col < 0) return;
  HeadingClick(table_, col, row, button == Qt::LeftButton);
}

void TMainForm::PopupMenu1Popup() {
  // The first three items act on selected_row, which the filter may hide.
  const bool hidden = SelectedRowHidden();
  Info1->setEnabled(!hidden);
  Browser1->setEnabled(!hidden);
  NetworkSetup1->setEnabled(!hidden && NetworkSetupEnabled(table_));
  NetworkSetupSelection1->setEnabled(SelectionSetupEnabled(table_, SelectedGridRows()));
}

bool TMainForm::SelectedRowHidden() const {
  // A compared list's missing device (an extra row) is no device to act on.
  if (StringGrid1->currentIndex().isValid() && model_->IsExtraRow(StringGrid1->currentIndex().row())) return true;
  const int row = table_.selected_row;
  return row >= 1 && row < table_.grid.RowCount() && model_->ViewRow(row) < 0;
}

void TMainForm::Browser1Click() {
  if (SelectedRowHidden()) return;
  std::optional<QUrl> url = BrowseUrl(table_, *log_);
  if (url) QDesktopServices::openUrl(*url);
}

void TMainForm::Info1Click() {
  if (SelectedRowHidden()) return;
  static const UpnpSnapshot kNone;
  const auto* phase = dynamic_cast<const EngineUpnpPhase*>(upnp_.get());
  const UpnpSnapshot& merged = phase != nullptr ? phase->Merged() : kNone;
  // The texts the watch reported last, else the merge's.
  auto upnp_of = [&](const tComUnitInfo& record) -> const DeviceInformationContainer* {
    if (const DeviceInformationContainer* latest = grid_watch_.LatestUpnpOf(table_.devices.IndexOf(&record)))
      return latest;
    return MergedTextsOf(table_, merged, record);
  };
  ++busy_;  // a round's changes would move the rows under the dialogs
  ShowDetailInfoWithTexts(this, table_, upnp_of, *log_);
  --busy_;
}

void TMainForm::NetworkSetup1Click() {
  if (SelectedRowHidden()) return;
  ++busy_;
  OpenNetworkSetup(this, table_, CurrentSettings(), *log_);
  --busy_;
}

void TMainForm::FilterEditChange() {
  const std::vector<int> selected = SelectedGridRows();
  filter_.SetText(FilterEdit->text().toStdString());
  RefreshGrid(selected);
  // While a search runs, Label1 keeps the last count until the search ends.
  if (!driver_->Searching()) UpdateCountLabel();
}

void TMainForm::WarningsButtonClick() {
  const std::vector<int> selected = SelectedGridRows();
  ShowExtraRows();
  RefreshGrid(selected);
  if (!driver_->Searching()) UpdateCountLabel();
  WarningsButton->setEnabled(WarningsButton->isChecked() || marks_.WarningRows() > 0);
}

bool TMainForm::RowShown(int row) const {
  return filter_.Shows(table_, row) && (!WarningsButton->isChecked() || marks_.HasNotes(row));
}

void TMainForm::ShowExtraRows() {
  std::vector<StringGrid::Row> rows;
  std::vector<std::string> tips;
  const QString needle = FilterEdit->text().trimmed();
  if (!WarningsButton->isChecked()) {
    rows.reserve(marks_.MissingCount());  // at most; no copy of them as they grow
    tips.reserve(marks_.MissingCount());
    for (std::size_t i = 0; i < marks_.MissingCount(); ++i) {
      StringGrid::Row row = marks_.MissingRow(i);
      const bool shown = needle.isEmpty() || std::any_of(row.begin(), row.end(), [&](const std::string& cell) {
                           return RecordText(cell).contains(needle, Qt::CaseInsensitive);
                         });
      if (!shown) continue;
      rows.push_back(std::move(row));
      tips.push_back(marks_.MissingTip());
    }
  }
  model_->SetExtraRows(std::move(rows), std::move(tips));
}

void TMainForm::GridChanged() {
  RefreshGrid(keep_on_change_);
  if (marks_timer_ == nullptr || marks_timer_->isActive()) return;
  // A burst of changes (a search's answers) is marked once it pauses, and
  // the marks take at most a tenth of the time.
  const auto cost = std::chrono::duration_cast<std::chrono::milliseconds>(marks_cost_).count();
  marks_timer_->start(static_cast<int>(std::min<long long>(cost * 10, 500)));
}

void TMainForm::UpdateMarks() {
  if (model_ == nullptr) return;
  if (marks_timer_ != nullptr) marks_timer_->stop();
  const auto start = std::chrono::steady_clock::now();
  marks_.Update(ListedDevicesOf(table_, Origins()), local_networks_(), clock_());
  marks_cost_ = std::chrono::steady_clock::now() - start;
  const int warnings = marks_.WarningRows();
  WarningsButton->setText(QString("%1 warning(s)").arg(warnings));
  WarningsButton->setEnabled(WarningsButton->isChecked() || warnings > 0);
  if (WarningsButton->isChecked() || marks_.Comparing() || model_->ExtraRows() > 0) {
    // Which rows show depends on the marks.
    const std::vector<int> selected = SelectedGridRows();
    ShowExtraRows();
    RefreshGrid(selected);
    if (!driver_->Searching()) UpdateCountLabel();
  } else {
    model_->MarksChanged();
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ComboBox1 && event->type() == QEvent::FocusOut) {
    // Qt takes the focus away when the box's drop-down list opens (and gives
    // it to the list while it shows), for any other popup and when another
    // window becomes active; none of these leaves the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    const bool list_open = ComboBox1->view()->isVisible();
    if (!list_open && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) ComboBox1Exit();
  } else if (watched == StringGrid1->viewport() || watched == StringGrid1->horizontalHeader()->viewport()) {
    const bool heading = watched != StringGrid1->viewport();
    // Only the left button selects, sorts and browses: the popup (right
    // button) acts on selected_row and must not move it. The context menu
    // event that the platform sends beside the press still opens the popup.
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
      return true;
    switch (event->type()) {
      case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (!heading) StringGrid1MouseMove(e->position().toPoint().x(), e->position().toPoint().y());
        break;
      }
      case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        StringGrid1MouseUp(e->button(), e->position().toPoint().x(), e->position().toPoint().y(), heading);
        break;
      }
      case QEvent::MouseButtonDblClick:
        Browser1Click();
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm::RefreshGrid(const std::optional<std::vector<int>>& keep) {
  if (model_ == nullptr) return;
  // Rows arrive while the user may be scrolling: keep the scroll position.
  QScrollBar* bar = StringGrid1->verticalScrollBar();
  const int scrolled = bar->value();
  model_->Refresh();
  // While the search holds the heading unfixed it is the view's first row,
  // where the heading strip stood: nothing stands above it and no row moves.
  StringGrid1->horizontalHeader()->setVisible(model_->HeadingFixed());
  QItemSelectionModel* selection = StringGrid1->selectionModel();
  restoring_selection_ = true;  // none of this is the user's selection of a row
  if (keep) {
    QItemSelection rows;
    for (int row : *keep) {
      const int v = model_->ViewRow(row);
      if (v >= 0) rows.select(model_->index(v, 0), model_->index(v, StringGrid::kColumns - 1));
    }
    selection->select(rows, QItemSelectionModel::ClearAndSelect);
  }
  // Keep the selected row current (and, without `keep`, alone selected)
  // across redraws without re-selecting it.
  const int view_row = model_->ViewRow(table_.selected_row);
  if (view_row >= 0 && view_row < model_->rowCount()) {
    selection->setCurrentIndex(model_->index(view_row, 0),
                               keep ? QItemSelectionModel::NoUpdate
                                    : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  restoring_selection_ = false;
  bar->setValue(scrolled);
}
