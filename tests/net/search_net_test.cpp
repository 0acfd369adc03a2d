// End to end in the test network: the program's searches (headless and from
// the window) against the device simulator, in every mode, with UPnP, the
// window's filter, export and log, and re-addressing a device with a control
// package.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>

#include "app/main_form.h"
#include "ui/log_form.h"
#include "ui/modal.h"
#include "net_test_support.h"
#include "window_support.h"

namespace {

const std::vector<std::string> kFiveDevices = {"--count", "5", "--models", "B7,A1,C3", "--projs",
                                               "P1,P2",   "--ports", "80,8080"};

CommandResult Search(const TestNetwork& net, std::vector<std::string> args, int timeout_ms = 30000) {
  std::vector<std::string> argv = {KDS_DEVICE_SEARCH_PATH, "search"};
  argv.insert(argv.end(), args.begin(), args.end());
  return net.RunInClient(argv, timeout_ms);
}

// The lines of `search --format csv` without their last two cells, the
// interface (which the relay modes over TCP and HTTP do not know) and the
// notes.
std::vector<std::string> GridCsv(const std::string& out) {
  std::vector<std::string> lines = Lines(out);
  for (std::string& line : lines) line = line.substr(0, line.rfind(',', line.rfind(',') - 1));
  return lines;
}

// CSV lines without the column "Notes" where the heading ends in it.
std::vector<std::string> WithoutNotes(std::vector<std::string> lines) {
  if (lines.empty() || !lines[0].ends_with(",Notes")) return lines;
  for (std::string& line : lines) line = line.substr(0, line.rfind(','));
  return lines;
}

// The data rows of the window's grid as CSV lines, as GridCsv gives them.
std::vector<std::string> WindowRowsAsCsv(TMainForm& form) {
  std::vector<std::string> rows = {"Model,Proj,Name,IP,Port,Netmask,Mac"};
  const StringGrid& grid = form.Table().grid;
  for (int r = 1; r < grid.RowCount(); ++r) {
    std::string line;
    bool any = false;
    for (int c = 0; c < 7; ++c) {
      line += (c ? "," : "") + grid.Cell(c, r);
      any = any || !grid.Cell(c, r).empty();
    }
    if (any) rows.push_back(line);
  }
  return rows;
}

}  // namespace

TEST(SearchNet, EveryModeFindsTheSameRowsHeadlessAndInTheWindow) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  std::vector<std::string> args = kFiveDevices;
  args.insert(args.end(), {"--http", "--http-port", "80"});
  ChildProcess* sim = net.StartDeviceSim(args);
  ASSERT_NE(sim, nullptr);

  const std::string relay = TestNetwork::kDevicesAddress;
  CommandResult broadcast = Search(net, {"--no-upnp", "--format", "csv"});
  ASSERT_EQ(broadcast.exit_code, 0) << broadcast.err;
  std::vector<std::string> expected = GridCsv(broadcast.out);
  ASSERT_EQ(expected.size(), 6u) << broadcast.out;
  EXPECT_EQ(expected[1].substr(0, 3), "C3,");  // descending by Model
  EXPECT_EQ(expected[5].substr(0, 3), "A1,");
  EXPECT_EQ(sim->CountLines("udp request flag=00"), 2);

  for (const char* protocol : {"udp", "tcp", "httpcmd"}) {
    CommandResult r = Search(net, {"--no-upnp", "--format", "csv", "--relay", relay, "--protocol", protocol});
    ASSERT_EQ(r.exit_code, 0) << protocol << ": " << r.err;
    EXPECT_EQ(GridCsv(r.out), expected) << protocol;
  }
  EXPECT_EQ(sim->CountLines("udp request flag=02"), 2);
  EXPECT_EQ(sim->CountLines("tcp request flag=02"), 1);
  EXPECT_TRUE(sim->WaitForLine("http request /device.get?DeviceType=ALL", 1000)) << sim->Output();

  // JSON carries the whole record and where it came from.
  CommandResult json = Search(net, {"--no-upnp", "--format", "json", "--relay", relay, "--protocol", "httpcmd"});
  EXPECT_NE(json.out.find("\"source\":\"httpcmd\""), std::string::npos) << json.out;
  json = Search(net, {"--no-upnp", "--format", "json"});
  EXPECT_NE(json.out.find("\"source\":\"protocol\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"gateway\":"), std::string::npos);

  // The window, searching from the client's side, shows the same rows in every mode.
  NetnsScope client = net.EnterClient();
  TMainForm form;
  ShowProtocolWindow(form);
  ASSERT_TRUE(SearchFromWindow(form));
  EXPECT_EQ(WindowRowsAsCsv(form), expected);
  EXPECT_EQ(form.Label1->text(), "5 device(s) found!");
  form.RadioButton2->click();
  form.ComboBox1->setEditText(QString::fromStdString(relay));
  for (const char* protocol : {"UDP", "TCP", "HttpCmd"}) {
    form.ComboBox2->setEditText(protocol);
    ASSERT_TRUE(SearchFromWindow(form)) << protocol;
    EXPECT_EQ(WindowRowsAsCsv(form), expected) << protocol;
  }
}

TEST(SearchNet, HttpRelayThatNeverAnswersEndsAtTwentySeconds) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "3", "--http", "--http-delay-ms", "600000"});
  ASSERT_NE(sim, nullptr);
  auto start = std::chrono::steady_clock::now();
  CommandResult r = Search(net, {"--no-upnp", "--format", "csv", "--relay", TestNetwork::kDevicesAddress,
                                 "--protocol", "httpcmd"},
                           40000);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;  // the heading only
  EXPECT_GE(seconds, 19.5);
  EXPECT_LT(seconds, 25.0);
}

TEST(SearchNet, OversizedHttpPageKeepsItsDevicesAndRelayFaultsEndQuietly) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "4", "--http", "--http-padding", "3000000"});
  ASSERT_NE(sim, nullptr);
  CommandResult r = Search(net, {"--no-upnp", "--format", "csv", "--relay", TestNetwork::kDevicesAddress,
                                 "--protocol", "httpcmd"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 5u) << r.out;

  // A relay address where nothing listens: no rows, the log says why.
  r = Search(net, {"--no-upnp", "--verbose", "--relay", TestNetwork::kAbsentAddress, "--protocol", "tcp"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  EXPECT_NE(r.err.find("CONNECT ERROR"), std::string::npos) << r.err;
  // Bad arguments.
  r = Search(net, {"--protocol", "tcp"});
  EXPECT_EQ(r.exit_code, 2);
}

TEST(SearchNet, DefaultSearchAddsAxisAndVivotekAfterTheProtocolRows) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "3", "--upnp-axis", "2", "--upnp-vivotek", "2", "--upnp-other",
                                          "3", "--upnp-hostile", "stall", "--upnp-mx-honour", "off",
                                          "--upnp-address", TestNetwork::kDevicesAddress});
  ASSERT_NE(sim, nullptr);
  ASSERT_TRUE(sim->WaitForLine("upnp ready", 10000)) << sim->Output();

  CommandResult r = Search(net, {"--format", "json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::size_t first_upnp = r.out.find("\"source\":\"upnp\"");
  std::size_t last_protocol = r.out.rfind("\"source\":\"protocol\"");
  ASSERT_NE(first_upnp, std::string::npos) << r.out;
  EXPECT_LT(last_protocol, first_upnp);
  EXPECT_NE(r.out.find("Axis 200 Series"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("VivoTek 7000 Series"), std::string::npos);
  EXPECT_NE(r.out.find("\"manufacturer_name\":"), std::string::npos);
  EXPECT_NE(r.out.find("\"netmask\":\"NULL\""), std::string::npos);

  // ndjson: each UPnP row as soon as its description is read, while the
  // search still waits for the description that never comes (until its
  // window and grace are over); the protocol rows when the exchange ends;
  // every row of the JSON once, none twice.
  const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
  std::vector<std::string> rows, protocol_rows;
  // A streamed row carries its notes as they stood when it was printed, so
  // the rows are compared without them.
  auto without_notes = [](QJsonObject row) {
    row.remove("notes");
    return QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString();
  };
  for (const QJsonValue& row : array) {
    rows.push_back(without_notes(row.toObject()));
    if (row.toObject()["source"] == "protocol") protocol_rows.push_back(rows.back());
  }
  const int upnp_rows_json = static_cast<int>(rows.size() - protocol_rows.size());
  ASSERT_GE(upnp_rows_json, 2) << r.out;
  ChildProcess* stream = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "search", "--format", "ndjson"});
  ASSERT_NE(stream, nullptr) << net.Error();
  ASSERT_TRUE(stream->WaitForLines("\"source\":\"upnp\"", upnp_rows_json, 20000)) << stream->Output();
  EXPECT_TRUE(stream->Running());
  QElapsedTimer waited;
  waited.start();
  while (stream->Running() && waited.elapsed() < 30000) QTest::qWait(50);
  ASSERT_FALSE(stream->Running());
  stream->Stop();  // takes the rest of its output
  std::vector<std::string> lines, protocol_lines;
  for (const std::string& text : stream->Lines()) {
    QJsonParseError error;
    QJsonDocument line = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << text;
    lines.push_back(without_notes(line.object()));
    if (line.object()["source"] == "protocol") protocol_lines.push_back(lines.back());
  }
  EXPECT_EQ(protocol_lines, protocol_rows);
  std::sort(lines.begin(), lines.end());
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(lines, rows) << stream->Output();

  // The window: the search ends only after the merge, and the close waits for it.
  NetnsScope client = net.EnterClient();
  TMainForm form;
  form.UseNetwork();
  form.show();
  std::vector<std::string> messages;
  SetMessageHook([&](QWidget*, const QString& text, const QString& caption) {
    messages.push_back((caption + "|" + text).toStdString());
  });
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.close());
  QElapsedTimer timer;
  timer.start();
  while (!finished && timer.elapsed() < 15000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  SetMessageHook(nullptr);
  ASSERT_TRUE(finished);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front(), "Warring|Searching Upnp Devices! Please wait");
  const StringGrid& grid = form.Table().grid;
  int upnp_rows = 0;
  for (int row = 1; row < grid.RowCount(); ++row) upnp_rows += grid.Cell(kNetmaskColumn, row) == "NULL";
  EXPECT_GE(upnp_rows, 2);
  EXPECT_EQ(grid.RowCount() - 1 - upnp_rows, 3);
  EXPECT_EQ(form.Label1->text().toStdString(), std::to_string(grid.RowCount() - 1) + " device(s) found!");
  EXPECT_EQ(form.Button1->text(), "Device Search");
  EXPECT_TRUE(form.close());
}

// The window searches with UPnP while its log's window shows the search's
// lines; filtered, it exports the rows the command line finds for the same
// network (its CSV lines, less those the filter hides), in CSV and JSON.
TEST(SearchNet, WindowFiltersAndExportsWhatTheCommandLineFinds) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "4", "--models", "B7,A1", "--upnp-axis", "2",
                                          "--upnp-address", TestNetwork::kDevicesAddress});
  ASSERT_NE(sim, nullptr);
  ASSERT_TRUE(sim->WaitForLine("upnp ready", 10000)) << sim->Output();
  CommandResult cli = Search(net, {"--format", "csv"});
  ASSERT_EQ(cli.exit_code, 0) << cli.err;
  std::vector<std::string> cli_lines = Lines(cli.out);
  ASSERT_EQ(cli_lines.size(), 7u) << cli.out;  // the headings, 4 + 2 rows

  NetnsScope client = net.EnterClient();
  TMainForm form;
  form.UseNetwork();
  form.show();
  form.LogButton->click();
  ASSERT_TRUE(SearchFromWindow(form));
  EXPECT_EQ(form.Label1->text(), "6 device(s) found!");
  const QString log_text = form.LogForm->LogText->toPlainText();
  EXPECT_TRUE(log_text.contains("Col[6] - (153, 802, 0.190773)")) << log_text.toStdString();
  EXPECT_GT(form.LogForm->LogText->document()->blockCount(), 14);  // the search's own lines came in

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto export_to = [&](const QString& name) {
    SetSaveFileHook([&](const QString&, QString*) { return dir.filePath(name); });
    form.ExportButton->click();
    SetSaveFileHook(nullptr);
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("(not written)");
  };
  // Unfiltered: the command line's rows (arrival order may differ), notes
  // aside (the window's Export may not write them).
  cli_lines = WithoutNotes(cli_lines);
  std::vector<std::string> all = WithoutNotes(Lines(export_to("all.csv")));
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), cli_lines.front());
  std::vector<std::string> expected(cli_lines.begin() + 1, cli_lines.end());
  std::vector<std::string> got(all.begin() + 1, all.end());
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);

  form.FilterEdit->setText("axis");
  EXPECT_EQ(form.Label1->text(), "2 of 6 device(s) shown");
  std::vector<std::string> axis = WithoutNotes(Lines(export_to("axis.csv")));
  ASSERT_EQ(axis.size(), 3u);
  for (std::size_t i = 1; i < axis.size(); ++i) {
    EXPECT_EQ(axis[i].rfind("Axis 200 Series,", 0), 0u) << axis[i];
    EXPECT_NE(std::find(cli_lines.begin(), cli_lines.end(), axis[i]), cli_lines.end()) << axis[i];
  }
  QJsonParseError error;
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(export_to("axis.json")), &error).array();
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  ASSERT_EQ(rows.size(), 2);
  for (const QJsonValue& row : rows) {
    EXPECT_EQ(row.toObject()["source"].toString(), "upnp");
    EXPECT_EQ(row.toObject()["upnp"].toObject()["manufacturer_name"].toString().left(4), "AXIS");
  }
  EXPECT_TRUE(form.close());
}

TEST(SearchNet, ControlPackageReaddressesADevice) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "2"});
  ASSERT_NE(sim, nullptr);
  CommandResult before = Search(net, {"--no-upnp", "--format", "csv"});
  std::vector<std::string> rows = GridCsv(before.out);
  ASSERT_EQ(rows.size(), 3u) << before.out;
  std::string mac = rows[1].substr(rows[1].rfind(',') + 1);

  // Headless, by broadcast.
  CommandResult setup = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", mac, "--static", "--ip",
                                         "10.99.1.77", "--netmask", "255.255.0.0", "--gateway", "10.99.1.254"});
  EXPECT_EQ(setup.exit_code, 0) << setup.err;
  EXPECT_EQ(setup.out, "Control package sent.\nPlease try to re-search the device after one minute.\n");
  ASSERT_TRUE(sim->WaitForLine("control Zentravox,03,", 2000)) << sim->Output();
  CommandResult after = Search(net, {"--no-upnp", "--format", "csv"});
  std::string moved;
  for (const std::string& row : GridCsv(after.out))
    if (row.find(mac) != std::string::npos) moved = row;
  std::string old_row = rows[1];
  EXPECT_NE(moved.find(",10.99.1.77,"), std::string::npos) << after.out;
  // Model, project, name, port, netmask and MAC are unchanged.
  auto without_ip = [](std::string row) {
    std::vector<std::string> cells;
    std::istringstream in(row);
    for (std::string c; std::getline(in, c, ',');) cells.push_back(c);
    cells.erase(cells.begin() + 3);
    std::string out;
    for (const std::string& c : cells) out += c + ",";
    return out;
  };
  EXPECT_EQ(without_ip(moved), without_ip(old_row));

  // Headless through the relay, by DHCP.
  setup = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", mac, "--dhcp", "--relay",
                           TestNetwork::kDevicesAddress, "--protocol", "udp"});
  EXPECT_EQ(setup.exit_code, 0) << setup.err;
  ASSERT_TRUE(sim->WaitForLines("control Zentravox,03,", 2, 2000)) << sim->Output();
  EXPECT_NE(sim->Lines().back().find("dhcp"), std::string::npos) << sim->Output();

  // Unknown MAC: nothing sent.
  setup = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", "de:ad:be:ef:00:00", "--dhcp"});
  EXPECT_EQ(setup.exit_code, 1);

  // From the window: Network Setup on the first row, "Static IP", Apply.
  NetnsScope client = net.EnterClient();
  TMainForm form;
  ShowProtocolWindow(form);
  ASSERT_TRUE(SearchFromWindow(form));
  form.Table().selected_row = 1;
  std::string window_mac = form.Table().grid.Cell(kMacColumn, 1);
  std::vector<std::string> notes;
  SetMessageHook([&](QWidget*, const QString& text, const QString& caption) {
    notes.push_back((caption + "|" + text).toStdString());
  });
  int dialogs = 0;
  SetModalHook([&](QDialog& dialog) {
    ++dialogs;
    dialog.findChild<QRadioButton*>("RadioButtonStatic")->click();
    dialog.findChild<QLineEdit*>("LabeledEditIP")->setText("10.99.1.88");
    dialog.findChild<QPushButton*>("ButtonApply")->click();
    return 0;
  });
  form.NetworkSetup1Click();
  SetModalHook(nullptr);
  SetMessageHook(nullptr);
  EXPECT_EQ(dialogs, 1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "Note|Control package sent.\nPlease try to re-search the device after one minute.");
  ASSERT_TRUE(sim->WaitForLines("control Zentravox,03,", 3, 2000)) << sim->Output();
  ASSERT_TRUE(SearchFromWindow(form));
  bool found = false;
  for (int r = 1; r < form.Table().grid.RowCount(); ++r)
    found = found || (form.Table().grid.Cell(kMacColumn, r) == window_mac && form.Table().grid.Cell(kIpColumn, r) == "10.99.1.88");
  EXPECT_TRUE(found);
}

// A list saved from one search, compared with later searches: unchanged,
// then after a device was re-addressed, with a device left out of the saved
// list and one added to it; as JSON and as CSV.
TEST(SearchNet, CompareWithASavedListMarksNewChangedAndMissingDevices) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "3"});
  ASSERT_NE(sim, nullptr);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto save = [&](const char* name, const std::string& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return dir.filePath(name).toStdString();
  };
  CommandResult json = Search(net, {"--no-upnp", "--format", "json"});
  CommandResult csv = Search(net, {"--no-upnp", "--format", "csv"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const std::string saved_json = save("saved.json", json.out), saved_csv = save("saved.csv", csv.out);
  QJsonArray saved = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
  ASSERT_EQ(saved.size(), 3) << json.out;
  const std::string moved_mac = saved[0].toObject()["mac"].toString().toStdString();
  const QString new_mac = saved[1].toObject()["mac"].toString();

  CommandResult same = Search(net, {"--no-upnp", "--compare", saved_json});
  EXPECT_EQ(same.exit_code, 0) << same.out << same.err;
  const std::vector<std::string> table = Lines(same.out);
  ASSERT_EQ(table.size(), 4u) << same.out;
  EXPECT_TRUE(table[0].ends_with("  Notes          Compare  Changed")) << same.out;  // "not-reachable" is as wide
  for (std::size_t i = 1; i < table.size(); ++i) EXPECT_TRUE(table[i].ends_with("  same")) << same.out;

  CommandResult setup = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", moved_mac, "--static", "--ip",
                                         "10.99.1.77", "--netmask", "255.255.255.0", "--gateway", "10.99.1.254"});
  ASSERT_EQ(setup.exit_code, 0) << setup.err;
  ASSERT_TRUE(sim->WaitForLine("control Zentravox,03,", 2000)) << sim->Output();
  QJsonObject gone = saved[2].toObject();
  gone["mac"] = "02:00:00:00:00:99";
  gone["ip"] = "10.99.0.99";
  saved.removeAt(1);
  saved.append(gone);
  const std::string edited = save("edited.json", QJsonDocument(saved).toJson().toStdString());

  CommandResult changed = Search(net, {"--no-upnp", "--format", "json", "--compare", edited});
  EXPECT_EQ(changed.exit_code, 3) << changed.err;
  std::map<QString, QJsonObject> by_mac;
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(changed.out)).array();
  for (const QJsonValue& row : rows) by_mac[row.toObject()["mac"].toString()] = row.toObject();
  ASSERT_EQ(rows.size(), 4) << changed.out;
  const QJsonObject moved = by_mac[QString::fromStdString(moved_mac)];
  EXPECT_EQ(moved["compare"].toString(), "changed") << changed.out;
  EXPECT_EQ(moved["changed"].toArray(), QJsonArray({"ip", "netmask", "gateway"})) << changed.out;
  EXPECT_EQ(moved["notes"].toArray()[0].toObject()["kind"].toString(), "not-reachable") << changed.out;
  EXPECT_EQ(by_mac[new_mac]["compare"].toString(), "new");
  EXPECT_EQ(rows[3].toObject()["mac"].toString(), "02:00:00:00:00:99");  // the missing device, last
  EXPECT_EQ(rows[3].toObject()["compare"].toString(), "missing");

  // The CSV list knows the grid's columns only: the gateway is not compared.
  CommandResult against_csv = Search(net, {"--no-upnp", "--format", "csv", "--compare", saved_csv});
  EXPECT_EQ(against_csv.exit_code, 3) << against_csv.err;
  int same_rows = 0, moved_rows = 0;
  for (const std::string& line : Lines(against_csv.out)) {
    same_rows += line.ends_with(",same,");
    moved_rows += line.find(moved_mac) != std::string::npos && line.ends_with(",not-reachable,changed,ip;netmask");
  }
  EXPECT_EQ(same_rows, 2) << against_csv.out;
  EXPECT_EQ(moved_rows, 1) << against_csv.out;

  // A file that is no list: exit 2 before anything is searched.
  CommandResult bad = Search(net, {"--no-upnp", "--compare", save("bad.json", "[{\"ip\": 7}]")});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("device 1 of the array: \"ip\" is not a text"), std::string::npos) << bad.err;
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
