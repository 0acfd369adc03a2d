// What `search` prints: the grid's rows in each format, ndjson row by row,
// and JSON strings of any bytes.
#include "cli/output.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "records.h"

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

TEST(Output, PrintsRowsInGridOrderInEachFormat) {
  DeviceTable t = SampleTable();
  auto source = [](std::size_t i) { return i == 0 ? std::string("protocol") : std::string("upnp"); };
  std::ostringstream table, csv, json;
  PrintRows(t, OutputFormat::kTable, source, table);
  PrintRows(t, OutputFormat::kCsv, source, csv);
  PrintRows(t, OutputFormat::kJson, source, json);
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
  PrintRows(HeadingsOnly(), OutputFormat::kJson, source, none);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(Output, PrettyJsonIndentsTheSameDocument) {
  DeviceTable t = SampleTable();
  DeviceInformationContainer axis;
  axis.manufacturer_name = "AXIS";
  auto source = [](std::size_t i) { return i == 0 ? std::string("protocol") : std::string("upnp"); };
  auto upnp = [&](std::size_t i) { return i == 1 ? &axis : nullptr; };
  std::ostringstream compact, pretty;
  PrintRows(t, OutputFormat::kJson, source, compact, upnp);
  PrintRows(t, OutputFormat::kJson, source, pretty, upnp, true);
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
  PrintRows(HeadingsOnly(), OutputFormat::kJson, source, none, nullptr, true);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(Output, NdjsonPrintsEachRowOnceAsItArrives) {
  DeviceTable t = HeadingsOnly();
  tComUnitInfo a = MakeRecord({.model = "M100", .ip = "10.0.0.7", .mac = "00:11:22:33:44:55"});
  t.devices.Append(a);
  t.devices.Append(a);  // the same device twice: two rows, two lines
  t.grid.SetRow(1, GridRowOf(a));
  t.grid.SetRow(2, GridRowOf(a));
  t.grid.SetRowCount(3);
  auto source = [](std::size_t i) { return i < 2 ? std::string("protocol") : std::string("upnp"); };

  NdjsonPrinter printer;
  std::ostringstream first;
  printer.PrintNewRows(t, source, nullptr, first, false);
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
  printer.PrintNewRows(t, source, nullptr, middle, false);
  EXPECT_EQ(middle.str().find("M100"), std::string::npos) << middle.str();
  EXPECT_NE(middle.str().find("\"source\":\"upnp\""), std::string::npos);
  EXPECT_EQ(middle.str().find("Orphan"), std::string::npos);
  printer.PrintNewRows(t, source, nullptr, last, true);
  EXPECT_EQ(last.str(), "{\"model\":\"Orphan\",\"proj\":\"\",\"name\":\"\",\"ip\":\"10.0.0.9\","
                        "\"trigger_port\":\"\",\"netmask\":\"\",\"mac\":\"x\"}\n");

  // Printed at once, the same lines in the grid's order.
  std::ostringstream whole;
  PrintRows(t, OutputFormat::kNdjson, source, whole);
  EXPECT_EQ(whole.str(), middle.str() + first.str() + last.str());
}

TEST(Output, JsonStringKeepsValidUtf8) {
  EXPECT_EQ(JsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
  EXPECT_EQ(JsonString(std::string("a\x01", 2)), "\"a\\u0001\"");
}
