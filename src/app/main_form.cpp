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
#include "watch/watch_announcements.h"
#include "watch/watch_round_search.h"
#include "ui/detail_info.h"
#include "ui/log_form.h"
#include "ui/modal.h"
#include "ui/network_setup.h"
#include "ui/readdress_form.h"
#include "ui/save_file.h"

// The strip's interval box and the remembered setting follow the watch's bounds.

namespace {

// The product lines of the project filter, between "ALL" and "UPNP".
const char* const kProjectNames[] = {"NVR", "DVR", "IPCAM", "VSERVER", "NAS", "DECODER", "MOBILE"};

// The filter's edit: 240 pixels wide where there is room, down to a dozen
// characters in a narrow window.
class FilterLineEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  QSize sizeHint() const override { return QLineEdit::sizeHint().expandedTo(QSize(240, 0)); }
};

// A note that takes the room it is given and elides its middle to fit; its
// tooltip holds it in full. It adds nothing to the strip's least width.
class NoteText : public QLabel {
 public:
  explicit NoteText(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void SetNote(const QString& note) {
    setToolTip(note);
    Elide();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Elide();
  }

 private:
  void Elide() { setText(fontMetrics().elidedText(toolTip(), Qt::ElideMiddle, std::max(width(), 0))); }
};

// Calls `changed` whenever the watched widget's layout asks to be redone
// (a control added, removed or with a new size hint).
class LayoutWatcher : public QObject {
 public:
  LayoutWatcher(QWidget* watched, std::function<void()> changed) : QObject(watched), changed_(std::move(changed)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::LayoutRequest) changed_();
    return false;
  }

 private:
  std::function<void()> changed_;
};

}  // namespace

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
                                [this] { return driver_->Searching() || (watch_ && watch_->RoundRunning()); },
                                [this] { UpdateSearchButton(); }});
  SetExchanges(MakeOfflineExchanges());
  local_networks_ = [] { return LocalNetworksOf(BroadcastInterfaces()); };
  table_.grid.SetObserver([this] { GridChanged(); });
  // Linux has no firewall command to run and no sockets library to start.
  FormCreate();
}

TMainForm::~TMainForm() {
  StopWatch();
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
  if (WatchCheck->isChecked()) StartWatch();
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
    if (WatchCheck->isChecked()) StartWatch();  // from this search's devices, with its settings
    if (on_search_finished_) on_search_finished_();
    verification_->WindowSearchEnded();
  });
}

void TMainForm::CreateControls() {
  resize(kDesignWidth, kDesignHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::NoFrame);
  Panel1->setGeometry(0, 0, kDesignWidth, kPanelHeight);

  GroupBox1 = new QGroupBox("Search Method", Panel1);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(8, 2, 350, 74);
  RadioButton1 = new QRadioButton("Local Broadcast", GroupBox1);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setGeometry(10, 20, 130, 22);
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("IP Relay", GroupBox1);
  RadioButton2->setObjectName("RadioButton2");
  RadioButton2->setGeometry(10, 46, 130, 22);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->addItem("<Customized>");
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setEditText("");
  ComboBox1->setGeometry(145, 18, 195, 24);
  ComboBox1->installEventFilter(this);
  ComboBox2 = new QComboBox(GroupBox1);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->setEditable(true);
  ComboBox2->setInsertPolicy(QComboBox::NoInsert);
  ComboBox2->addItems({"TCP", "UDP", "HttpCmd"});
  ComboBox2->setCurrentIndex(0);
  ComboBox2->setGeometry(145, 46, 110, 24);

  GroupBox2 = new QGroupBox("Project Filter", Panel1);
  GroupBox2->setObjectName("GroupBox2");
  GroupBox2->setGeometry(366, 2, 150, 74);
  Proj = new QComboBox(GroupBox2);
  Proj->setObjectName("Proj");
  Proj->addItem("ALL");
  for (const char* name : kProjectNames) Proj->addItem(name);
  Proj->addItems({"UPNP", "", ""});
  Proj->setCurrentIndex(0);
  Proj->setEnabled(false);
  Proj->setGeometry(10, 30, 130, 24);

  Button1 = new QPushButton("Device Search", Panel1);
  Button1->setObjectName("Button1");
  Button1->setGeometry(530, 12, 130, 30);
  Label1 = new QLabel("0 device(s) found!", Panel1);
  Label1->setObjectName("Label1");
  Label1->setGeometry(530, 48, 260, 22);
  Label1->resize(Label1->sizeHint().width(), Label1->height());  // as wide as its text (UpdateCountLabel)

  StringGrid1 = grid_view_ = new GridView(this);
  StringGrid1->setObjectName("StringGrid1");
  model_ = new GridModel(table_.grid, this);
  model_->SetRowToolTip([this](int row) {
    std::string tip = marks_.TipOf(row);
    for (const std::string& line : {RowInterfaceTip(table_, row), verified_rows_.Tip(table_, row)})
      if (!line.empty()) tip += (tip.empty() ? "" : "\n") + line;
    return tip;
  });
  model_->SetRowLook([this](int row) { return marks_.LookOf(row); });
  model_->SetRowFilter([this](int row) { return RowShown(row); });
  StringGrid1->setModel(model_);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  StringGrid1->setShowGrid(true);
  StringGrid1->setWordWrap(false);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setDefaultSectionSize(22);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->horizontalHeader()->setSectionsMovable(false);
  StringGrid1->horizontalHeader()->setSectionsClickable(false);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  StringGrid1->horizontalHeader()->setStretchLastSection(false);
  StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  StringGrid1->viewport()->setMouseTracking(true);
  StringGrid1->viewport()->installEventFilter(this);
  StringGrid1->horizontalHeader()->viewport()->installEventFilter(this);
  StringGrid1->move(kGridLeft, kGridTop);
  for (int i = 0; i < 7; ++i) StringGrid1->setColumnWidth(i, kDesignColumnWidths[static_cast<std::size_t>(i)]);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->hide();

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Info1 = PopupMenu1->addAction("Detail Info.");
  Info1->setObjectName("Info1");
  Browser1 = PopupMenu1->addAction("Browse");
  Browser1->setObjectName("Browser1");
  NetworkSetup1 = PopupMenu1->addAction("Network Setup");
  NetworkSetup1->setObjectName("NetworkSetup1");
  AddSelectionSetupItem();
  PopupMenu1->addSeparator();
  Copy1 = PopupMenu1->addAction("Copy");
  Copy1->setObjectName("Copy1");
  Copy1->setShortcut(QKeySequence::Copy);
  addAction(Copy1);  // Ctrl+C anywhere in the window but in a text field
  CreateStrip();

  connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
  connect(RadioButton1, &QRadioButton::clicked, this, &TMainForm::RadioButton1Click);
  connect(RadioButton2, &QRadioButton::clicked, this, &TMainForm::RadioButton2Click);
  // Qt selects an entry equal to the typed text when editing ends (focus out,
  // Return); here a typed text stays typed until an entry is picked.
  disconnect(ComboBox1->lineEdit(), &QLineEdit::editingFinished, ComboBox1, nullptr);
  disconnect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, ComboBox1, nullptr);
  connect(ComboBox1, &QComboBox::activated, this, [this](int) { combo1_picked_ = true; });
  connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, [this](const QString&) { combo1_picked_ = false; });
  connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) {
            if (restoring_selection_ || !current.isValid()) return;
            StringGrid1SelectCell(current.column(), model_->GridRow(current.row()));
          });
  connect(StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (!popup_attached_) return;
    PopupMenu1Popup();
    PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(pos));
  });
  connect(Info1, &QAction::triggered, this, &TMainForm::Info1Click);
  connect(Browser1, &QAction::triggered, this, &TMainForm::Browser1Click);
  connect(NetworkSetup1, &QAction::triggered, this, &TMainForm::NetworkSetup1Click);
  connect(Copy1, &QAction::triggered, this, &TMainForm::Copy1Click);

  // F5 and Enter in the relay address box search as the button does.
  auto search_if_enabled = [this] {
    if (Button1->isEnabled()) Button1Click();
  };
  connect(new QShortcut(Qt::Key_F5, this), &QShortcut::activated, this, search_if_enabled);
  connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, search_if_enabled);
}

void TMainForm::CreateStrip() {
  Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameShape(QFrame::NoFrame);
  Panel2->setAutoFillBackground(true);  // it may lie over the grid's lower edge
  FilterLabel = new QLabel("Filter", Panel2);
  FilterLabel->setObjectName("FilterLabel");
  FilterEdit = new FilterLineEdit(Panel2);
  FilterEdit->setObjectName("FilterEdit");
  FilterEdit->setPlaceholderText("Filter");
  FilterEdit->setClearButtonEnabled(true);
  FilterEdit->setMinimumWidth(FilterEdit->fontMetrics().horizontalAdvance(QString(12, QChar('x'))));
  FilterLabel->setBuddy(FilterEdit);
  NoteLabel = new NoteText(Panel2);
  NoteLabel->setObjectName("NoteLabel");
  note_timer_ = new QTimer(this);
  note_timer_->setObjectName("NoteTimer");
  note_timer_->setSingleShot(true);
  note_timer_->setInterval(kStripNoteMs);
  connect(note_timer_, &QTimer::timeout, this, [this] { static_cast<NoteText*>(NoteLabel)->SetNote(""); });
  WarningsButton = new QToolButton(Panel2);
  WarningsButton->setObjectName("WarningsButton");
  WarningsButton->setText("0 warning(s)");
  WarningsButton->setToolTip("Show only the rows with warnings");
  WarningsButton->setCheckable(true);
  WarningsButton->setAutoRaise(true);
  WarningsButton->setEnabled(false);
  marks_timer_ = new QTimer(this);
  marks_timer_->setObjectName("MarksTimer");
  marks_timer_->setSingleShot(true);
  connect(marks_timer_, &QTimer::timeout, this, &TMainForm::UpdateMarks);
  WatchCheck = new QCheckBox("Watch", Panel2);
  WatchCheck->setObjectName("WatchCheck");
  WatchCheck->setToolTip("Search again every interval and mark devices that come, change or go");
  WatchInterval = new QSpinBox(Panel2);
  WatchInterval->setObjectName("WatchInterval");
  WatchInterval->setRange(kLeastWatchSeconds, kMostWatchSeconds);
  WatchInterval->setValue(kDefaultWatchSeconds);
  WatchInterval->setSuffix(" s");
  WatchInterval->setToolTip("How often the watch searches");
  watch_timer_ = new QTimer(this);
  watch_timer_->setObjectName("WatchTimer");
  watch_timer_->setInterval(250);
  connect(watch_timer_, &QTimer::timeout, this, &TMainForm::WatchTick);
  CompareButton = new QPushButton("Compare...", Panel2);
  CompareButton->setObjectName("CompareButton");
  CompareButton->setToolTip("Compare the devices with a list saved earlier");
  ClearCompareButton = new QPushButton("Clear comparison", Panel2);
  ClearCompareButton->setObjectName("ClearCompareButton");
  ClearCompareButton->setEnabled(false);
  ExportButton = new QPushButton("Export...", Panel2);
  ExportButton->setObjectName("ExportButton");
  LogButton = new QPushButton("Log", Panel2);
  LogButton->setObjectName("LogButton");
  auto* layout = new QHBoxLayout(Panel2);
  layout->setContentsMargins(8, 2, 8, 2);
  layout->addWidget(FilterLabel);
  layout->addWidget(FilterEdit);
  layout->addWidget(NoteLabel, 1);  // the free room
  layout->addWidget(WarningsButton);
  layout->addWidget(WatchCheck);
  layout->addWidget(WatchInterval);
  layout->addWidget(CompareButton);
  layout->addWidget(ClearCompareButton);
  layout->addWidget(ExportButton);
  layout->addWidget(LogButton);
  new LayoutWatcher(Panel2, [this] { UpdateMinimumSize(); });

  connect(FilterEdit, &QLineEdit::textChanged, this, &TMainForm::FilterEditChange);
  connect(WarningsButton, &QToolButton::clicked, this, &TMainForm::WarningsButtonClick);
  connect(WatchCheck, &QCheckBox::clicked, this, &TMainForm::WatchCheckClick);
  connect(WatchInterval, &QSpinBox::valueChanged, this, [this](int) {
    if (!watch_) return;
    if (watch_->RoundRunning())
      watch_restart_due_ = true;
    else
      StartWatch();
  });
  connect(CompareButton, &QPushButton::clicked, this, &TMainForm::CompareButtonClick);
  connect(ClearCompareButton, &QPushButton::clicked, this, &TMainForm::ClearCompareButtonClick);
  connect(ExportButton, &QPushButton::clicked, this, &TMainForm::ExportButtonClick);
  connect(LogButton, &QPushButton::clicked, this, &TMainForm::LogButtonClick);
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
    FilterEdit->setFocus(Qt::ShortcutFocusReason);
    FilterEdit->selectAll();
  });
  connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, [this] {
    FilterEdit->clear();
    if (WarningsButton->isChecked()) {
      WarningsButton->setChecked(false);
      WarningsButtonClick();
    }
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
  StringGrid1->setGeometry(kGridLeft, kGridTop, g.width, g.height);
  Panel1->setGeometry(0, 0, width(), kPanelHeight);
  if (g.has_columns) {
    for (int i = 0; i < 7; ++i) StringGrid1->setColumnWidth(i, g.columns[static_cast<std::size_t>(i)]);
  }
  const StripGeometry strip = LayoutStrip(height(), kGridTop + g.height);
  Panel2->setGeometry(0, strip.top, width(), kStripHeight);
  Panel2->raise();
  grid_view_->SetCoveredBottom(strip.covered);
}

void TMainForm::UpdateMinimumSize() {
  int panel_right = 0;
  for (const QWidget* w : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!w->isHidden()) panel_right = std::max(panel_right, w->geometry().right() + 1);
  const int strip_width = Panel2->layout() != nullptr ? Panel2->layout()->minimumSize().width() : 0;
  const int grid_height = StringGrid1->horizontalHeader()->sizeHint().height() +
                          kMinimumGridRows * StringGrid1->verticalHeader()->defaultSectionSize() +
                          2 * StringGrid1->frameWidth();
  const ClientSize least = MinimumClientSize(panel_right, strip_width, grid_height);
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
  StopWatch();
  event->accept();
}

void TMainForm::SetSearchButton(bool enabled, const std::string& caption) {
  button_enabled_ = enabled;
  Button1->setText(QString::fromStdString(caption));
  UpdateSearchButton();
}

void TMainForm::UpdateSearchButton() { Button1->setEnabled(button_enabled_ && !verification_->Pending()); }

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
  if (watch_ && watch_->RoundRunning()) {
    search_waiting_ = true;  // both would listen on one port: after the round
    return;
  }
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
  ++busy_;  // a round's changes would move the rows under the dialogs
  ShowDetailInfo(this, table_, phase != nullptr ? phase->Merged() : kNone, *log_);
  --busy_;
}

void TMainForm::NetworkSetup1Click() {
  if (SelectedRowHidden()) return;
  ++busy_;
  OpenNetworkSetup(this, table_, CurrentSettings(), *log_);
  --busy_;
}

void TMainForm::Copy1Click() {
  if (SelectedGridRows().empty()) return;
  QGuiApplication::clipboard()->setText(QString::fromStdString(SelectedRowsText()));
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

void TMainForm::WatchCheckClick() {
  if (WatchCheck->isChecked())
    StartWatch();
  else
    StopWatch();
}

void TMainForm::StartWatch() {
  StopWatch();
  if (make_watch_search_) {
    watch_search_ = make_watch_search_();
  } else {
    // Without the network (tests) the rounds find nothing, as the window's searches do.
    watch_search_ = std::make_unique<WatchRoundSearch>(CurrentSettings(), network_, *log_, make_verification_exchanges_);
    if (network_) {
      announcements_ = std::make_unique<WatchAnnouncements>(log_.get());
      std::string error;
      if (!announcements_->Start(&error)) {
        log_->Append("Watch: SSDP announcements are not heard: " + error + "\n");
        announcements_.reset();
      }
    }
  }
  DeviceWatch::Options options;
  options.interval = std::chrono::seconds(WatchInterval->value());
  options.local_networks = local_networks_;
  options.clock = clock_;
  watch_ = std::make_unique<DeviceWatch>(*watch_search_, announcements_.get(), options);
  watch_->SetOnEvent([this](const DeviceWatch::Event& event) { WatchEvent(event); });
  if (announcements_) announcements_->SetWatch(watch_.get());
  // An empty list is filled by the first round, at once; otherwise the list
  // is where the watch starts, and its first round is an interval away.
  if (!table_.devices.Empty()) watch_->Restart(grid_watch_.Restart(Origins()));
  round_was_running_ = false;
  watch_restart_due_ = false;
  watch_timer_->start();
  WatchTick();
}

void TMainForm::StopWatch() {
  if (watch_timer_ != nullptr) watch_timer_->stop();
  if (announcements_) announcements_->SetWatch(nullptr);
  announcements_.reset();
  watch_.reset();
  watch_search_.reset();  // waits for a round under way, which then reports nothing
  round_was_running_ = false;
  if (search_waiting_) {
    search_waiting_ = false;
    Button1Click();
  }
  verification_->WindowSearchEnded();
}

void TMainForm::WatchTick() {
  if (!watch_) return;
  const bool running = watch_->RoundRunning();
  if (round_was_running_ && !running) {
    round_was_running_ = false;
    verification_->WindowSearchEnded();  // it waited for the round
    if (search_waiting_) {
      search_waiting_ = false;
      Button1Click();  // the watch starts again from its result
      return;
    }
    if (watch_restart_due_) {
      StartWatch();
      return;
    }
  }
  watch_->SetPaused(busy_ > 0 || driver_->Searching() || verification_->Pending() || search_waiting_);
  watch_->Tick();
  round_was_running_ = watch_->RoundRunning();
  if (marks_.NewMarkEnds(clock_())) UpdateMarks();
}

void TMainForm::WatchEvent(const DeviceWatch::Event& event) {
  if (!watch_batch_open_) {
    // The events of one call come together: one change of the grid for all.
    watch_batch_open_ = true;
    watch_keep_ = SelectedGridRows();
    table_.grid.BeginUpdate();
    QTimer::singleShot(0, this, &TMainForm::EndWatchBatch);
  }
  grid_watch_.Apply(*watch_, event, clock_());
}

void TMainForm::EndWatchBatch() {
  if (!watch_batch_open_) return;
  watch_batch_open_ = false;
  keep_on_change_ = watch_keep_;  // appended and updated rows keep their numbers
  table_.grid.EndUpdate();
  keep_on_change_.reset();
  const int rows = static_cast<int>(RowsWithText(table_.grid).size());
  if (rows != found_ && !driver_->Searching()) {
    search_label_ = StringPrintf("%d device(s) found!", rows);
    found_ = rows;
    UpdateCountLabel();
  }
  UpdateMarks();
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

void TMainForm::CompareButtonClick() {
  const QString path = AskOpenFileName(this, "Compare", ExportStartFolder(remembered_),
                                       "Device lists (*.csv *.json *.ndjson);;All files (*)");
  if (path.isEmpty()) return;
  const QString reason = CompareWith(path);
  if (!reason.isEmpty()) {
    ShowMessage(this, "The devices could not be compared with the file.\n" + reason, "Error");
    return;
  }
  const RowMarks::CompareCounts n = marks_.Counts();
  ShowStripNote(QString("Compared with %1: %2 same, %3 new, %4 changed, %5 missing")
                    .arg(QFileInfo(path).fileName())
                    .arg(n.same)
                    .arg(n.added)
                    .arg(n.changed)
                    .arg(n.missing));
}

void TMainForm::ClearCompareButtonClick() { ClearComparison(); }

QString TMainForm::CompareWith(const QString& path) {
  std::string error;
  std::optional<std::vector<ListedDevice>> saved = ReadSavedList(QFile::encodeName(path).toStdString(), &error);
  if (!saved) return QString::fromLocal8Bit(error);
  marks_.SetSavedList(std::move(*saved), QFile::encodeName(QFileInfo(path).fileName()).toStdString());
  ClearCompareButton->setEnabled(true);
  UpdateMarks();
  return "";
}

void TMainForm::ClearComparison() {
  marks_.ClearSavedList();
  ClearCompareButton->setEnabled(false);
  UpdateMarks();
}

void TMainForm::ExportButtonClick() {
  QString picked;
  // The dialog would ask about the name typed; the name written may have an
  // extension added, so this asks about that one instead.
  const QString path = AskSaveFileName(this, "Export", QDir(ExportStartFolder(remembered_)).filePath("devices.csv"),
                                       "CSV (*.csv);;JSON (*.json)", &picked, false);
  if (path.isEmpty()) return;
  const ExportTarget target =
      ChooseExportTarget(path.toStdString(), picked.startsWith("JSON") ? OutputFormat::kJson : OutputFormat::kCsv);
  const QString file = QString::fromStdString(target.path);
  const QString shown_file = QDir::toNativeSeparators(file);
  if (QFileInfo::exists(file) &&
      !AskYesNo(this, shown_file + " already exists.\nDo you want to replace it?", "Export"))
    return;
  int rows = 0;
  const QString reason = ExportTo(file, target.format, &rows);
  if (!reason.isEmpty()) {
    ShowMessage(this, "The devices could not be exported to " + file + ": " + reason, "Error");
    return;
  }
  remembered_.export_folder = QFileInfo(file).absolutePath().toStdString();
  ShowStripNote(QString("Exported %1 %2 to %3").arg(rows).arg(rows == 1 ? "row" : "rows", shown_file));
}

void TMainForm::ShowStripNote(const QString& text) {
  static_cast<NoteText*>(NoteLabel)->SetNote(text);
  note_timer_->start();
}

void TMainForm::LogButtonClick() {
  if (LogForm == nullptr) {
    LogForm = new TLogForm(this, *log_);
    log_->SetListener([this](const std::string& line) { LogForm->EntryAppended(line); });
  }
  LogForm->show();
  LogForm->raise();
  LogForm->activateWindow();
}

RecordOrigins TMainForm::Origins() const {
  // The engine's worker writes its results until the search has ended.
  const bool ended = !driver_->Searching();
  return grid_watch_.WithAppended(OriginsOfSearch(settings_, driver_->ExchangeRecords(),
                                                 engine_ != nullptr && ended ? &engine_->results : nullptr));
}

void TMainForm::AddSelectionSetupItem() {
  PopupMenu1->addSeparator();
  NetworkSetupSelection1 = PopupMenu1->addAction("Network Setup for Selection...");
  NetworkSetupSelection1->setObjectName("NetworkSetupSelection1");
  connect(NetworkSetupSelection1, &QAction::triggered, this, &TMainForm::NetworkSetupSelection1Click);
}

std::vector<int> TMainForm::SelectedGridRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows()) {
    const int row = model_->GridRow(index.row());
    if (row >= 1) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<int> TMainForm::ShownGridRows() const {
  std::vector<int> rows;
  for (int v = 0; v < model_->rowCount(); ++v)
    if (model_->GridRow(v) >= 1) rows.push_back(model_->GridRow(v));
  return rows;
}

std::string TMainForm::SelectedRowsText() const {
  std::ostringstream out;
  PrintRows(table_, SelectedGridRows(), OutputFormat::kTabs, Origins(), out);
  return out.str();
}

QString TMainForm::ExportTo(const QString& path, OutputFormat format, int* rows) const {
  std::ostringstream out;
  const std::vector<int> shown = ShownGridRows();
  PrintRows(table_, shown, format, Origins(), out);
  if (rows != nullptr) {
    // PrintRows writes the rows that hold any text.
    const std::vector<int> with_text = RowsWithText(table_.grid);
    *rows = static_cast<int>(std::count_if(shown.begin(), shown.end(), [&](int r) {
      return std::binary_search(with_text.begin(), with_text.end(), r);
    }));
  }
  return WriteWholeFile(path, QByteArray::fromStdString(out.str()));
}

void TMainForm::UseSettingsFile(const QString& path) {
  settings_path_ = path;
  remembered_ = LoadRememberedSettings(path, *log_);
  ApplyRememberedSettings();
}

void TMainForm::ApplyRememberedSettings() {
  RadioButton1->setChecked(!remembered_.ip_relay);
  RadioButton2->setChecked(remembered_.ip_relay);
  const bool relay = !RadioButton1->isChecked();  // as FormCreate sets them
  ComboBox1->setEnabled(relay);
  ComboBox2->setEnabled(relay);
  ComboBox1->clear();
  for (const std::string& address : RelayAddressList(remembered_)) ComboBox1->addItem(QString::fromStdString(address));
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setEditText("");
  ComboBox2->setCurrentIndex(ComboBox2->findText(QString::fromStdString(remembered_.relay_protocol)));
  WatchInterval->setValue(remembered_.watch_interval);
  WatchCheck->setChecked(remembered_.watch);
  if (remembered_.watch) StartWatch();
  if (!remembered_.geometry.empty())
    geometry_restored_ = restoreGeometry(QByteArray::fromStdString(remembered_.geometry));
}

void TMainForm::SaveSettings() {
  if (settings_path_.isEmpty()) return;
  remembered_.ip_relay = RadioButton2->isChecked();
  remembered_.relay_protocol = ComboBox2->currentText().toStdString();
  remembered_.geometry = saveGeometry().toStdString();
  remembered_.watch = WatchCheck->isChecked();
  remembered_.watch_interval = WatchInterval->value();
  SaveRememberedSettings(settings_path_, remembered_, *log_);
}

void TMainForm::NetworkSetupSelection1Click() {
  // One dialog at a time: it keeps the devices it was opened for.
  if (readdress_form_ != nullptr) {
    readdress_form_->raise();
    readdress_form_->activateWindow();
    return;
  }
  const std::vector<int> rows = SelectedGridRows();
  std::vector<PlanDevice> selected = SelectedProtocolDevices(table_, rows);
  if (selected.size() < 2) return;
  readdress_settings_ = CurrentSettings();
  readdress_sender_ = std::make_unique<UdpControlPackageSender>(readdress_settings_, *log_);
  readdress_form_ = new TReaddressForm(this, std::move(selected), PlanDevicesOf(table_.devices), MachineAddresses(),
                                       *readdress_sender_, *log_, *verification_);
  readdress_form_->SetUpnpRowsLeftOut(SelectedUpnpRows(table_, rows));
  readdress_form_->SetOnVerified([this](const ReaddressPlan& plan, const std::vector<RowOutcome>& outcomes,
                                        const std::vector<PlanDevice>& found) {
    const std::vector<int> kept = SelectedGridRows();  // the rows keep their places
    verified_rows_.Apply(table_, plan, outcomes, found);
    filter_.Forget();  // rows may now be tied to other interfaces
    RefreshGrid(kept);
    UpdateCountLabel();
  });
  readdress_form_->setAttribute(Qt::WA_DeleteOnClose);
  readdress_form_->show();
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
