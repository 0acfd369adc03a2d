// The main window's lists: Copy, Export, the comparison with a saved list,
// the remembered settings, the log's window and the selection's Network Setup.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QItemSelectionModel>
#include <algorithm>
#include <sstream>

#include "app/grid_model.h"
#include "app/grid_rules.h"
#include "app/main_form.h"
#include "app/relay_addresses.h"
#include "lists/row_extras.h"
#include "lists/saved_list.h"
#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "search/verification_search.h"
#include "protocol/interfaces.h"
#include "search/engine_upnp_phase.h"
#include "ui/log_form.h"
#include "ui/modal.h"
#include "ui/readdress_form.h"
#include "ui/save_file.h"

void TMainForm::CompareButtonClick() {
  if (compare_reading_.Running()) return;
  const QString path = AskOpenFileName(this, "Compare", ExportStartFolder(remembered_),
                                       "Device lists (*.csv *.json *.ndjson);;All files (*)");
  if (path.isEmpty()) return;
  // A FIFO or a slow device may take a while: the list is read off the window's thread.
  CompareButton->setEnabled(false);
  compare_reading_.Start(QFile::encodeName(path).toStdString(),
                         [this, path](std::optional<std::vector<ListedDevice>> saved, const std::string& error) {
                           CompareButton->setEnabled(true);
                           ComparedWith(path, std::move(saved), error);
                         });
}

void TMainForm::ComparedWith(const QString& path, std::optional<std::vector<ListedDevice>> saved,
                             const std::string& error) {
  if (!saved) {
    ShowMessage(this, "The devices could not be compared with the file.\n" + QString::fromLocal8Bit(error), "Error");
    return;
  }
  marks_.SetSavedList(std::move(*saved), QFile::encodeName(QFileInfo(path).fileName()).toStdString());
  ClearCompareButton->setEnabled(true);
  UpdateMarks();
  const RowMarks::CompareCounts n = marks_.Counts();
  strip_->ShowNote(QString("Compared with %1: %2 same, %3 new, %4 changed, %5 missing")
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
  strip_->ShowNote(QString("Exported %1 %2 to %3").arg(rows).arg(rows == 1 ? "row" : "rows", shown_file));
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
  // As `search --format csv|json` writes them: the notes, and the comparison while one is shown.
  const RecordOrigins origins = Origins();
  PrintRows(table_, shown, format, origins, ExtrasOf(table_, origins, local_networks_(), marks_.SavedList()), out);
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

void TMainForm::Copy1Click() {
  if (SelectedGridRows().empty()) return;
  QGuiApplication::clipboard()->setText(QString::fromStdString(SelectedRowsText()));
}
