// The grid's rows written out: each format, a part of the rows, ndjson row by
// row, notes and comparisons.
#include "lists/row_writer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "protocol/record_text.h"
#include "records.h"
#include "upnp/upnp_merge.h"

namespace {

DeviceTable HeadingsOnly() {
  DeviceTable t;
  WriteGridHeadings(t.grid);
  return t;
}

DeviceTable SampleTable() {
  DeviceTable t = HeadingsOnly();
  tComUnitInfo a = MakeRecord({.model = "M100", .proj = "P1", .name = "Lobby, east \"door\"", .ip = "10.0.0.7",
                               .trigger_port = "80", .netmask = "255.0.0.0", .mac = "00:11:22:33:44:55",
                               .note = "\xe9t\xe9\n"});
  tComUnitInfo b = MakeRecord({.model = "Axis 200 Series", .ip = "10.0.0.8", .mac = "NULL"});
  t.devices.Append(a, "eth1");
  t.devices.Append(b);
  t.grid.SetRow(1, GridRowOf(b));
  t.grid.SetRow(2, GridRowOf(a));
  t.grid.SetRowCount(3);
  return t;
}

}  // namespace

TEST(RowWriter, PrintsRowsInGridOrderInEachFormat) {
  DeviceTable t = SampleTable();
  const RecordOrigins origins{.exchange_records = 1};
  std::ostringstream table, csv, json;
  PrintRows(t, OutputFormat::kTable, origins, table);
  PrintRows(t, OutputFormat::kCsv, origins, csv);
  PrintRows(t, OutputFormat::kJson, origins, json);
  EXPECT_EQ(table.str(),
            "Model            Proj  Name                IP        Port  Netmask    Mac\n"
            "Axis 200 Series                            10.0.0.8                   NULL\n"
            "M100             P1    Lobby, east \"door\"  10.0.0.7  80    255.0.0.0  00:11:22:33:44:55\n");
  EXPECT_EQ(csv.str(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface\r\n"
            "Axis 200 Series,,,10.0.0.8,,,NULL,\r\n"
            "M100,P1,\"Lobby, east \"\"door\"\"\",10.0.0.7,80,255.0.0.0,00:11:22:33:44:55,eth1\r\n");
  const std::string j = json.str();
  EXPECT_EQ(j.find('\n'), j.size() - 1) << j;  // compact: one line
  EXPECT_TRUE(j.starts_with("[{\"model\":\"Axis 200 Series\",\"proj\":\"\",")) << j;
  EXPECT_NE(j.find("\"source\":\"upnp\""), std::string::npos);
  EXPECT_NE(j.find("\"name\":\"Lobby, east \\\"door\\\"\""), std::string::npos);
  EXPECT_NE(j.find("\"note\":\"\\u00e9t\\u00e9\\n\""), std::string::npos);  // Latin-1 bytes escaped
  EXPECT_NE(j.find("\"source\":\"upnp\",\"interface\":\"\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"source\":\"protocol\",\"interface\":\"eth1\""), std::string::npos) << j;
  EXPECT_LT(j.find("Axis"), j.find("M100"));

  // Nothing found: headings only, or an empty JSON array.
  std::ostringstream none;
  PrintRows(HeadingsOnly(), OutputFormat::kJson, origins, none);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(RowWriter, PrettyJsonIndentsTheSameDocument) {
  DeviceTable t = SampleTable();
  DeviceInformationContainer axis;
  axis.manufacturer_name = "AXIS";
  const RecordOrigins origins{.exchange_records = 1, .upnp = {&axis}};
  std::ostringstream compact, pretty;
  PrintRows(t, OutputFormat::kJson, origins, compact);
  PrintRows(t, OutputFormat::kJson, origins, pretty, true);
  const std::string p = pretty.str();
  EXPECT_TRUE(p.starts_with("[\n  {\n    \"model\": \"Axis 200 Series\",\n    \"proj\"")) << p;
  EXPECT_NE(p.find("\"source\": \"upnp\",\n    \"interface\": \"\",\n    \"upnp\": {\n      \"children\": \"\",\n"),
            std::string::npos) << p;
  EXPECT_NE(p.find("      \"upc\": \"\"\n    }\n  },\n  {\n"), std::string::npos) << p;
  EXPECT_TRUE(p.ends_with("\"protocol\",\n    \"interface\": \"eth1\"\n  }\n]\n")) << p;
  QJsonParseError e1, e2;
  QJsonDocument a = QJsonDocument::fromJson(QByteArray::fromStdString(compact.str()), &e1);
  QJsonDocument b = QJsonDocument::fromJson(QByteArray::fromStdString(p), &e2);
  ASSERT_EQ(e1.error, QJsonParseError::NoError) << compact.str();
  ASSERT_EQ(e2.error, QJsonParseError::NoError) << p;
  EXPECT_EQ(a, b);
  ASSERT_EQ(a.array().size(), 2);
  EXPECT_EQ(a.array()[0].toObject()["upnp"].toObject()["manufacturer_name"].toString(), "AXIS");
  EXPECT_FALSE(a.array()[1].toObject().contains("upnp"));

  std::ostringstream none;
  PrintRows(HeadingsOnly(), OutputFormat::kJson, origins, none, true);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(RowWriter, NdjsonPrintsEachRowOnceAsItArrives) {
  DeviceTable t = HeadingsOnly();
  tComUnitInfo a = MakeRecord({.model = "M100", .ip = "10.0.0.7", .mac = "00:11:22:33:44:55"});
  t.devices.Append(a);
  t.devices.Append(a);  // the same device twice: two rows, two lines
  t.grid.SetRow(1, GridRowOf(a));
  t.grid.SetRow(2, GridRowOf(a));
  t.grid.SetRowCount(3);
  const RecordOrigins origins{.exchange_records = 2};

  NdjsonPrinter printer;
  std::ostringstream first;
  printer.PrintNewRows(t, origins, first, false);
  const std::string line = first.str().substr(0, first.str().find('\n') + 1);
  EXPECT_TRUE(line.starts_with("{\"model\":\"M100\",")) << line;
  EXPECT_EQ(first.str(), line + line);

  // A merge adds a row in front (the grid was sorted) and one without a record.
  t.devices.Append(MakeRecord({.model = "Axis 200 Series", .ip = "10.0.0.8", .mac = "NULL"}));
  t.grid.SetRow(3, t.grid.RowAt(2));
  t.grid.SetRow(2, t.grid.RowAt(1));
  t.grid.SetRow(1, GridRowOf(t.devices.Records()[2]));
  t.grid.SetRow(4, {"Orphan", "", "", "10.0.0.9", "", "", "x"});
  t.grid.SetRowCount(5);
  std::ostringstream middle, last;
  printer.PrintNewRows(t, origins, middle, false);
  EXPECT_EQ(middle.str().find("M100"), std::string::npos) << middle.str();
  EXPECT_NE(middle.str().find("\"source\":\"upnp\""), std::string::npos);
  EXPECT_EQ(middle.str().find("Orphan"), std::string::npos);
  printer.PrintNewRows(t, origins, last, true);
  EXPECT_EQ(last.str(), "{\"model\":\"Orphan\",\"proj\":\"\",\"name\":\"\",\"ip\":\"10.0.0.9\","
                        "\"trigger_port\":\"\",\"netmask\":\"\",\"mac\":\"x\"}\n");

  // Printed at once, the same lines in the grid's order.
  std::ostringstream whole;
  PrintRows(t, OutputFormat::kNdjson, origins, whole);
  EXPECT_EQ(whole.str(), middle.str() + first.str() + last.str());
}

// A UPnP device printed as soon as it is read is not printed again by the
// merge; a second device equal to it is (one early line stands for one row),
// and a device the merge skips prints nothing.
TEST(RowWriter, NdjsonUpnpRowsPrintedEarlyComeOnce) {
  DeviceInformationContainer axis;
  axis.description = "Door";
  axis.manufacturer_name = "AXIS";
  axis.presentation_url = "http://10.0.0.8/";
  axis.unique_device_name = "uuid:a";
  DeviceInformationContainer other = axis;
  other.manufacturer_name = "Acme";
  NdjsonPrinter printer;
  std::ostringstream early;
  printer.PrintUpnpDevice(other, early);
  EXPECT_EQ(early.str(), "");
  printer.PrintUpnpDevice(axis, early);
  EXPECT_NE(early.str().find("\"name\":\"Door\",\"ip\":\"10.0.0.8\""), std::string::npos) << early.str();

  const std::vector<DeviceInformationContainer> results = {axis, axis};
  DeviceTable t = HeadingsOnly();
  MergeUpnpResults(t, results, false);
  const RecordOrigins origins = OriginsOfSearch(SearchSettings{}, 0, &results);
  std::ostringstream end, whole;
  printer.PrintNewRows(t, origins, end, true);
  PrintRows(t, OutputFormat::kNdjson, origins, whole);
  EXPECT_EQ(early.str(), whole.str().substr(0, early.str().size()));
  EXPECT_EQ(early.str() + end.str(), whole.str());
}

// CSV and the tabs show a device's controls escaped, guard a cell that a
// spreadsheet would run, quote a field that holds their separator or a quote
// (RFC 4180), and write every text in UTF-8: Latin-1 bytes become their
// characters, valid UTF-8 stays as it is. A part of the rows keeps the
// grid's order and each row's own record.
TEST(RowWriter, CsvAndTabsEscapeGuardQuoteAndWriteUtf8ForAnyPartOfTheRows) {
  DeviceTable t = HeadingsOnly();
  AddRow(t, MakeRecord({.model = "M\xe9", .name = "a\tb", .ip = "10.0.0.1", .mac = "m1"}), "eth0");
  AddRow(t, MakeRecord({.model = "Caf\xc3\xa9", .name = "two\nlines, \"q\"", .ip = "10.0.0.2", .mac = "m2"}), "eth1");
  AddRow(t, MakeRecord({.model = "Axis 200 Series", .name = "x\r", .ip = "10.0.0.3", .mac = "NULL"}));
  AddRow(t, MakeRecord({.model = "=HYPERLINK(\"http://e.x\")", .name = "@a", .ip = "10.0.0.4", .trigger_port = "-1",
                        .mac = "+m"}));
  const RecordOrigins origins{.exchange_records = 2};
  std::ostringstream csv, tabs, part;
  PrintRows(t, OutputFormat::kCsv, origins, csv);
  PrintRows(t, OutputFormat::kTabs, origins, tabs);
  EXPECT_EQ(csv.str(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface\r\n"
            "M\xc3\xa9,,a\\x09b,10.0.0.1,,,m1,eth0\r\n"
            "Caf\xc3\xa9,,\"two\\x0alines, \"\"q\"\"\",10.0.0.2,,,m2,eth1\r\n"
            "Axis 200 Series,,x\\x0d,10.0.0.3,,,NULL,\r\n"
            "\"'=HYPERLINK(\"\"http://e.x\"\")\",,'@a,10.0.0.4,'-1,,'+m,\r\n");
  EXPECT_EQ(tabs.str(),
            "Model\tProj\tName\tIP\tPort\tNetmask\tMac\n"
            "M\xc3\xa9\t\ta\\x09b\t10.0.0.1\t\t\tm1\n"
            "Caf\xc3\xa9\t\t\"two\\x0alines, \"\"q\"\"\"\t10.0.0.2\t\t\tm2\n"
            "Axis 200 Series\t\tx\\x0d\t10.0.0.3\t\t\tNULL\n"
            "\"'=HYPERLINK(\"\"http://e.x\"\")\"\t\t'@a\t10.0.0.4\t'-1\t\t'+m\n");

  // Rows 3 and 1 asked for, in any order: written in the grid's order, the
  // UPnP row still paired with its own record.
  PrintRows(t, {3, 1}, OutputFormat::kJson, origins, part);
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(part.str())).array();
  ASSERT_EQ(rows.size(), 2) << part.str();
  EXPECT_EQ(rows[0].toObject()["model"].toString(), QString::fromUtf8("M\xc3\xa9"));
  EXPECT_EQ(rows[0].toObject()["interface"].toString(), "eth0");
  EXPECT_EQ(rows[1].toObject()["source"].toString(), "upnp");
  std::ostringstream nothing;
  PrintRows(t, {}, OutputFormat::kTabs, origins, nothing);
  EXPECT_EQ(nothing.str(), "Model\tProj\tName\tIP\tPort\tNetmask\tMac\n");
}

// The table shows a device's controls escaped and measures its columns in
// terminal cells, so that Cyrillic, CJK and combined names stay aligned.
TEST(RowWriter, TableEscapesControlsAndAlignsInTerminalCells) {
  std::ostringstream out;
  PrintAligned({{"Name", "IP"},
                {"\xd1\x81\xd0\xb5\xd1\x82\xd1\x8c", "10.0.0.1"},  // 4 cells
                {"\xe6\x97\xa5\xe6\x9c\xac", "10.0.0.2"},             // 4 cells
                {"Cafe\xcc\x81", "10.0.0.3"},                           // 4 cells
                {"\x1b]0;pwn", "10.0.0.4"},                              // a port-sized cut OSC
                {"\x1b[2J", "10.0.0.5"}},
               out);
  EXPECT_EQ(out.str(),
            "Name        IP\n"
            "\xd1\x81\xd0\xb5\xd1\x82\xd1\x8c        10.0.0.1\n"
            "\xe6\x97\xa5\xe6\x9c\xac        10.0.0.2\n"
            "Cafe\xcc\x81        10.0.0.3\n"
            "\\x1b]0;pwn  10.0.0.4\n"
            "\\x1b[2J     10.0.0.5\n");
}

namespace {

// Two devices at one address, one outside its interface's subnet, and one
// found through a relay (interface unknown) outside every subnet.
DeviceTable NotedTable() {
  DeviceTable t = HeadingsOnly();
  AddRow(t, TestDevice("10.0.0.7", "00:00:00:00:00:01", "A"), "eth0");
  AddRow(t, TestDevice("10.0.0.7", "00:00:00:00:00:02", "B"), "eth0");
  AddRow(t, TestDevice("192.168.5.5", "00:00:00:00:00:03", "C"), "eth0");
  AddRow(t, TestDevice("192.168.5.6", "00:00:00:00:00:04", "D"));
  return t;
}

const std::vector<LocalNetwork> kEth0 = {{"eth0", inet_addr("10.0.0.2"), inet_addr("255.0.0.0")}};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

// Notes in every format: JSON and ndjson always carry "notes" (empty when
// none); CSV's last column and the table's are the kinds joined by ";".
TEST(RowWriter, WritesEachRowsNotesInEveryFormat) {
  const DeviceTable t = NotedTable();
  const RecordOrigins origins{.exchange_records = 4};
  const RowExtras extras = ExtrasOf(t, origins, kEth0);
  std::ostringstream csv, table, json, ndjson;
  PrintRows(t, OutputFormat::kCsv, origins, extras, csv);
  PrintRows(t, OutputFormat::kTable, origins, extras, table);
  PrintRows(t, OutputFormat::kJson, origins, extras, json);
  PrintRows(t, OutputFormat::kNdjson, origins, extras, ndjson);
  EXPECT_EQ(csv.str(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes\r\n"
            "M100,P1,A,10.0.0.7,80,255.255.255.0,00:00:00:00:00:01,eth0,address-conflict\r\n"
            "M100,P1,B,10.0.0.7,80,255.255.255.0,00:00:00:00:00:02,eth0,address-conflict\r\n"
            "M100,P1,C,192.168.5.5,80,255.255.255.0,00:00:00:00:00:03,eth0,not-reachable\r\n"
            "M100,P1,D,192.168.5.6,80,255.255.255.0,00:00:00:00:00:04,,\r\n");
  EXPECT_EQ(Lines(table.str())[0], "Model  Proj  Name  IP           Port  Netmask        Mac                Notes");
  EXPECT_TRUE(Lines(table.str())[3].ends_with("00:00:00:00:00:03  not-reachable")) << table.str();

  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(json.str())).array();
  ASSERT_EQ(rows.size(), 4) << json.str();
  const QJsonArray conflict = rows[0].toObject()["notes"].toArray();
  ASSERT_EQ(conflict.size(), 1);
  EXPECT_EQ(conflict[0].toObject()["kind"].toString(), "address-conflict");
  EXPECT_TRUE(conflict[0].toObject()["detail"].toString().contains("00:00:00:00:00:02"));
  EXPECT_EQ(rows[2].toObject()["notes"].toArray()[0].toObject()["detail"].toString(),
            "not reachable from eth0 (10.0.0.2/8)");
  EXPECT_TRUE(rows[3].toObject()["notes"].isArray());  // present, empty: a relay's device has no interface
  EXPECT_TRUE(rows[3].toObject()["notes"].toArray().isEmpty());
  const std::vector<std::string> lines = Lines(ndjson.str());
  ASSERT_EQ(lines.size(), 4u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(lines[static_cast<std::size_t>(i)])).object(),
              rows[i].toObject());
  EXPECT_TRUE(lines[3].ends_with(",\"notes\":[]}")) << lines[3];
}

// A comparison marks each shown row and appends the missing devices as the
// saved list gave them; devices a project filter hides take no part.
TEST(RowWriter, WritesTheComparisonAndTheMissingDevicesLast) {
  DeviceTable t = NotedTable();
  t.devices.Append(TestDevice("10.0.0.99", "00:00:00:00:00:99", "Hidden"));  // no row
  const RecordOrigins origins{.exchange_records = 5};
  std::vector<ListedDevice> saved = ListedDevicesOf(t, origins);
  SetField(saved[1].record.ip, "10.0.0.8");  // B moved and was renamed since
  SetField(saved[1].record.name, "Old B");
  saved.erase(saved.begin() + 2);  // C is new
  saved[3].known = kGridFields;    // the hidden device, as a CSV list keeps it
  SetField(saved[3].record.gateway, "");
  saved.push_back(ListedDevice{.record = TestDevice("10.0.0.50", "00:00:00:00:00:50", "Gone"), .interface = "eth1"});
  saved.back().known = kGridFields;
  const RowExtras extras = ExtrasOf(t, origins, kEth0, &saved);
  ASSERT_TRUE(extras.comparison);
  EXPECT_TRUE(extras.comparison->Differs());

  std::ostringstream csv, json;
  PrintRows(t, OutputFormat::kCsv, origins, extras, csv);
  PrintRows(t, OutputFormat::kJson, origins, extras, json, true);
  EXPECT_EQ(csv.str(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes,Compare,Changed\r\n"
            "M100,P1,A,10.0.0.7,80,255.255.255.0,00:00:00:00:00:01,eth0,address-conflict,same,\r\n"
            "M100,P1,B,10.0.0.7,80,255.255.255.0,00:00:00:00:00:02,eth0,address-conflict,changed,name;ip\r\n"
            "M100,P1,C,192.168.5.5,80,255.255.255.0,00:00:00:00:00:03,eth0,not-reachable,new,\r\n"
            "M100,P1,D,192.168.5.6,80,255.255.255.0,00:00:00:00:00:04,,,same,\r\n"
            "M100,P1,Hidden,10.0.0.99,80,255.255.255.0,00:00:00:00:00:99,,,missing,\r\n"
            "M100,P1,Gone,10.0.0.50,80,255.255.255.0,00:00:00:00:00:50,eth1,,missing,\r\n");
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(json.str())).array();
  ASSERT_EQ(rows.size(), 6) << json.str();
  EXPECT_EQ(rows[1].toObject()["changed"].toArray(), QJsonArray({"name", "ip"}));
  EXPECT_FALSE(rows[0].toObject().contains("changed"));
  const QJsonObject gone = rows[5].toObject();
  EXPECT_EQ(gone["compare"].toString(), "missing");
  EXPECT_FALSE(gone.contains("gateway")) << json.str();  // the list did not keep it
  EXPECT_EQ(gone["interface"].toString(), "eth1");

  // Nothing differs: every row the same.
  std::vector<ListedDevice> shown = ListedDevicesOf(t, origins);
  shown.pop_back();  // the hidden device
  EXPECT_FALSE(ExtrasOf(t, origins, kEth0, &shown).comparison->Differs());
}
