// The main window's controls, as designed, and what their signals call.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "app/grid_model.h"
#include "app/grid_rules.h"
#include "app/main_form.h"
#include "app/window_layout.h"
#include "app/window_strip.h"
#include "netsetup/verified_rows.h"

namespace {

// The product lines of the project filter, between "ALL" and "UPNP".
const char* const kProjectNames[] = {"NVR", "DVR", "IPCAM", "VSERVER", "NAS", "DECODER", "MOBILE"};

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

void TMainForm::CreateControls() {
  CreatePanel();
  CreateGrid();
  CreatePopup();
  CreateStrip();
  ConnectControls();
}

void TMainForm::CreatePanel() {
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
}

void TMainForm::CreateGrid() {
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
  StringGrid1->horizontalHeader()->setFixedHeight(22);  // a row's height, so that nothing moves when it hides
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
}

void TMainForm::CreatePopup() {
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
}

void TMainForm::ConnectControls() {
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
            // A compared list's missing device is no row of the grid: it
            // selects nothing, and the popup stays attached.
            if (model_->IsExtraRow(current.row())) return;
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

void TMainForm::AddSelectionSetupItem() {
  PopupMenu1->addSeparator();
  NetworkSetupSelection1 = PopupMenu1->addAction("Network Setup for Selection...");
  NetworkSetupSelection1->setObjectName("NetworkSetupSelection1");
  connect(NetworkSetupSelection1, &QAction::triggered, this, &TMainForm::NetworkSetupSelection1Click);
}

void TMainForm::CreateStrip() {
  Panel2 = strip_ = new WindowStrip(this);
  FilterLabel = strip_->FilterLabel;
  FilterEdit = strip_->FilterEdit;
  NoteLabel = strip_->NoteLabel;
  WatchLabel = strip_->WatchLabel;
  WarningsButton = strip_->WarningsButton;
  WatchCheck = strip_->WatchCheck;
  WatchInterval = strip_->WatchInterval;
  CompareButton = strip_->CompareButton;
  ClearCompareButton = strip_->ClearCompareButton;
  ExportButton = strip_->ExportButton;
  LogButton = strip_->LogButton;
  strip_->SetOnHeightChanged([this] {
    UpdateMinimumSize();
    FormResize();
  });
  marks_timer_ = new QTimer(this);
  marks_timer_->setObjectName("MarksTimer");
  marks_timer_->setSingleShot(true);
  connect(marks_timer_, &QTimer::timeout, this, &TMainForm::UpdateMarks);
  new LayoutWatcher(Panel2, [this] { UpdateMinimumSize(); });

  connect(FilterEdit, &QLineEdit::textChanged, this, &TMainForm::FilterEditChange);
  connect(WarningsButton, &QToolButton::clicked, this, &TMainForm::WarningsButtonClick);
  connect(WatchCheck, &QCheckBox::clicked, this, &TMainForm::WatchCheckClick);
  connect(WatchInterval, &QSpinBox::valueChanged, this, [this](int) { WatchIntervalChange(); });
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
