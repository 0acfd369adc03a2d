// The main window: search controls across the top, the device grid below,
// the hidden debug log, and the grid's popup menu. A thin view: the search,
// the grid's rules and the layout rules live in plain classes; the handlers
// here read the controls, call those classes and redraw.
//
// Only the left button selects a grid row; the popup menu and a double click
// act on selected_row. ComboBox1Exit runs when the focus really leaves
// ComboBox1, not when its list opens or another window becomes active, and a
// typed text stays typed (Qt does not swap it for an equal entry) until an
// entry is picked from the list.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/search_controls.h"
#include "search/search_driver.h"

class GridModel;
class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class UpnpEngine;

// The debug log of the window: every entry goes to the hidden Memo1 and is
// kept in order for anyone who wants to read it.
class MemoLog : public DebugLog {
 public:
  explicit MemoLog(QPlainTextEdit* memo) : memo_(memo) {}
  void Append(const std::string& line) override;
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  QPlainTextEdit* memo_;
  std::vector<std::string> lines_;
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

  // SearchControls.
  void SetSearchButton(bool enabled, const std::string& caption) override;
  void SetCountLabel(const std::string& text) override;

  DeviceTable& Table() { return table_; }
  const SearchSettings& Settings() const { return settings_; }
  MemoLog& Log() { return *log_; }
  SearchDriver& Driver() { return *driver_; }
  const std::vector<float>& ColumnProportions() const { return column_proportions_; }
  bool PopupAttached() const { return popup_attached_; }
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
  void RebuildDriver();
  void FormCreate();
  void FormResize();
  // The search settings as the controls show them now.
  SearchSettings CurrentSettings() const;
  void ReadSettings();
  void RefreshGrid();

  DeviceTable table_;
  SearchSettings settings_;
  std::unique_ptr<MemoLog> log_;
  std::unique_ptr<SearchExchanges> exchanges_;
  std::unique_ptr<UpnpPhase> upnp_;
  UpnpEngine* engine_ = nullptr;  // the engine of upnp_, when it has one
  std::unique_ptr<SearchDriver> driver_;
  std::vector<float> column_proportions_;
  GridModel* model_ = nullptr;
  bool popup_attached_ = true;
  bool combo1_picked_ = false;
  bool restoring_selection_ = false;
  bool shown_ = false;
  std::function<void()> on_search_finished_;
};
