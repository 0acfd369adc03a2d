// `device-search setup --plan`: its arguments, the plan file, and what is
// printed, sent and verified, with the exit status of each outcome.
#include "cli/plan_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "capturing_sender.h"
#include "cli/setup_command.h"
#include "records.h"

namespace {

std::vector<PlanDevice> Listed() {
  return {{TestDevice("10.99.1.1", "02:4B:44:00:00:01", "Cam1"), "veth0"},
          {TestDevice("10.99.1.2", "02:4B:44:00:00:02", "Cam2"), "veth0"}};
}

const char kCsv[] =
    "mac,ip,netmask,gateway,dns\n"
    "02:4B:44:00:00:01,10.99.5.1,255.255.0.0,10.99.0.254,10.99.0.253\n"
    "02:4B:44:00:00:02,dhcp\n";

struct PlanRun {
  int status = -1;
  std::string out, err;
  int verifications = 0;
};

// CarryOutPlan for kCsv (or `csv`) with the arguments given; the
// verification finds `found`.
PlanRun CarryOut(const std::vector<std::string>& args, CapturingSender& sender,
             const std::vector<PlanDevice>& found = {}, const std::string& csv = kCsv) {
  std::vector<std::string> all = {"--plan", "plan.csv"};
  all.insert(all.end(), args.begin(), args.end());
  std::string error;
  std::optional<SetupCommand> cmd = ParseSetupArguments(all, error);
  EXPECT_TRUE(cmd) << error;
  PlanRun run;
  if (!cmd) return run;
  NullLog log;
  std::ostringstream out, err;
  run.status = CarryOutPlan(
      cmd->plan, CsvPlan(csv, Listed(), {}), sender, log,
      [&](int seconds) {
        EXPECT_EQ(seconds, *cmd->plan.verify);
        ++run.verifications;
        return found;
      },
      out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

PlanDevice Moved(PlanDevice d) {
  SetField(d.record.ip, "10.99.5.1");
  SetField(d.record.netmask, "255.255.0.0");
  SetField(d.record.gateway, "10.99.0.254");
  SetField(d.record.dns, "10.99.0.253");
  return d;
}

}  // namespace

TEST(PlanCommand, ArgumentsGoTogetherOnlyAsTheyShould) {
  std::string error;
  auto parse = [&](std::vector<std::string> args) { return ParseSetupArguments(args, error); };
  std::optional<SetupCommand> cmd = parse({"--plan", "p.csv", "--verify", "2", "--format", "json", "--interface", "e1"});
  ASSERT_TRUE(cmd) << error;
  EXPECT_EQ(cmd->plan.file, "p.csv");
  EXPECT_EQ(cmd->plan.verify, 2);
  EXPECT_EQ(cmd->plan.format, OutputFormat::kJson);
  EXPECT_FALSE(cmd->plan.dry_run);
  ASSERT_TRUE(parse({"--plan", "-", "--dry-run", "--relay", "10.99.0.2", "--protocol", "udp"}));

  EXPECT_FALSE(parse({"--plan", "p.csv", "--mac", "m"}));
  EXPECT_EQ(error, "--plan goes with none of --mac, --dhcp, --static, --ip, --netmask, --gateway and --dns");
  EXPECT_FALSE(parse({"--plan", "p.csv", "--dhcp"}));
  EXPECT_FALSE(parse({"--plan", "p.csv", "--dns", "10.0.0.1"}));
  EXPECT_FALSE(parse({"--plan", "p.csv", "--verify", "5", "--dry-run"}));
  EXPECT_EQ(error, "--verify does not go with --dry-run");
  EXPECT_FALSE(parse({"--mac", "m", "--dhcp", "--verify", "5"}));
  EXPECT_EQ(error, "--verify, --dry-run and --format go with --plan");
  EXPECT_FALSE(parse({"--mac", "m", "--dhcp", "--format", "table"}));
  EXPECT_FALSE(parse({"--plan", ""}));
  EXPECT_EQ(error, "--plan needs a file");
  for (const char* bad : {"-1", "1.5", "x", "", "86401", "99999999999999999999"}) {
    EXPECT_FALSE(parse({"--plan", "p.csv", "--verify", bad})) << bad;
    EXPECT_EQ(error, std::string("--verify needs a number of seconds from 0 to 86400, not '") + bad + "'");
  }
  EXPECT_FALSE(parse({"--plan", "p.csv", "--format", "ndjson"}));
  EXPECT_EQ(error, "--format must be table, json or csv, not 'ndjson'");
  EXPECT_FALSE(parse({"--plan", "p.csv", "--interface", "e1", "--relay", "10.99.0.2"}));
}

TEST(PlanCommand, ARefusedPlanSendsNothingAndNamesEveryRow) {
  CapturingSender sender;
  PlanRun run = CarryOut({"--verify", "1"}, sender, {},
                     "02:4B:44:00:00:01,10.99.5.1,255.255.0.0,10.99.0.254,10.99.0.253\n"
                     "02:4B:44:00:00:02,10.99.5.1,255.255.0.0,10.99.0.254,10.99.0.253\n"
                     "02:4B:44:00:00:03,dhcp\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(run.verifications, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "device-search: the plan is refused; nothing was sent:\n"
            "  line 1: 10.99.5.1 is planned for line 2 too\n"
            "  line 2: 10.99.5.1 is planned for line 1 too\n"
            "  line 3: no device with MAC 02:4B:44:00:00:03 was found\n");
}

TEST(PlanCommand, TablePrintsThePlanThenWhatWasSentAndFound) {
  CapturingSender sender;
  PlanRun run = CarryOut({}, sender);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "MAC                Model  Name  Current IP  New IP     Netmask      Gateway      DNS\n"
            "02:4B:44:00:00:01  M100   Cam1  10.99.1.1   10.99.5.1  255.255.0.0  10.99.0.254  10.99.0.253\n"
            "02:4B:44:00:00:02  M100   Cam2  10.99.1.2   DHCP\n"
            "Sent 2 of 2 control packages.\n");
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(sender.sent_for, (std::vector<std::string>{"veth0", "veth0"}));

  // Verified: the first came back where planned, the second did not answer.
  CapturingSender again;
  run = CarryOut({"--verify", "0"}, again, {Moved(Listed()[0])});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.verifications, 1);
  EXPECT_NE(run.out.find("Sent 2 of 2 control packages.\n"
                         "Verification search in 0 s.\n"
                         "MAC                New IP     Outcome\n"
                         "02:4B:44:00:00:01  10.99.5.1  at new settings\n"
                         "02:4B:44:00:00:02  DHCP       not found\n"
                         "1 of 2 at new settings.\n"),
            std::string::npos)
      << run.out;

  // A device that ignored its package is "unchanged"; both found: status 0
  // only when every one is at its new settings.
  run = CarryOut({"--verify", "3"}, again, {Listed()[0], Listed()[1]});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("02:4B:44:00:00:01  10.99.5.1  unchanged\n"), std::string::npos) << run.out;
  // The DHCP device answered: that counts apart, as it cannot be confirmed.
  run = CarryOut({"--verify", "3"}, again, {Moved(Listed()[0]), Listed()[1]});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("02:4B:44:00:00:02  DHCP       answered (DHCP) at 10.99.1.2\n"
                         "1 of 2 at new settings - 1 answered (DHCP), which cannot be confirmed.\n"),
            std::string::npos)
      << run.out;

  // A package that does not go out: status 1, and it is named.
  CapturingSender failing;
  failing.result = -1;
  run = CarryOut({}, failing);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Not sent: 02:4B:44:00:00:01\nNot sent: 02:4B:44:00:00:02\nSent 0 of 2 control packages.\n"),
            std::string::npos)
      << run.out;
  // Verified, rows never sent stay "not sent" whatever answers.
  run = CarryOut({"--verify", "0", "--format", "json"}, failing, {Listed()[0], Listed()[1]});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("\"sent\":false,\"outcome\":\"not sent\",\"found_ip\":\"\"}]"), std::string::npos) << run.out;
}

TEST(PlanCommand, DryRunJsonAndCsv) {
  CapturingSender sender;
  PlanRun run = CarryOut({"--dry-run"}, sender);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_NE(run.out.find("Dry run: no control package was sent.\n"), std::string::npos);

  run = CarryOut({"--dry-run", "--format", "json"}, sender);
  EXPECT_EQ(run.out,
            "[{\"mac\":\"02:4B:44:00:00:01\",\"model\":\"M100\",\"name\":\"Cam1\",\"current_ip\":\"10.99.1.1\","
            "\"interface\":\"veth0\",\"type\":\"static\",\"ip\":\"10.99.5.1\",\"netmask\":\"255.255.0.0\","
            "\"gateway\":\"10.99.0.254\",\"dns\":\"10.99.0.253\",\"sent\":null,\"outcome\":null,\"found_ip\":null},"
            "{\"mac\":\"02:4B:44:00:00:02\",\"model\":\"M100\",\"name\":\"Cam2\",\"current_ip\":\"10.99.1.2\","
            "\"interface\":\"veth0\",\"type\":\"dhcp\",\"ip\":\"\",\"netmask\":\"\",\"gateway\":\"\",\"dns\":\"\","
            "\"sent\":null,\"outcome\":null,\"found_ip\":null}]\n");
  EXPECT_TRUE(sender.sent.empty());

  // With a warning on standard error and nothing else on standard output.
  run = CarryOut({"--format", "csv", "--verify", "1"}, sender, {Moved(Listed()[0]), Listed()[1]},
                 "02:4B:44:00:00:01,10.99.5.1,255.255.255.0,10.99.0.254,10.99.0.253\n02:4B:44:00:00:02,dhcp\n");
  EXPECT_EQ(run.err, "Warning: line 1: Unresonable Gateway - [10.99.0.254]\n");
  EXPECT_EQ(run.out,
            "Mac,Model,Name,Current IP,Interface,Type,IP,Netmask,Gateway,DNS,Sent,Outcome,Found IP\r\n"
            "02:4B:44:00:00:01,M100,Cam1,10.99.1.1,veth0,static,10.99.5.1,255.255.255.0,10.99.0.254,10.99.0.253,yes,"
            "at other settings,10.99.5.1\r\n"
            "02:4B:44:00:00:02,M100,Cam2,10.99.1.2,veth0,dhcp,,,,,yes,answered (DHCP),10.99.1.2\r\n");
  EXPECT_EQ(run.status, 1);
}

TEST(PlanCommand, PlanFilesThatCannotBeRead) {
  std::string error;
  EXPECT_FALSE(ReadPlanFile("/nonexistent/plan.csv", &error));
  EXPECT_EQ(error, "cannot read the plan /nonexistent/plan.csv");
  EXPECT_FALSE(ReadPlanFile("/", &error));
  char name[] = "/tmp/plan_test_XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(name, std::ios::binary) << kCsv;
  EXPECT_EQ(ReadPlanFile(name, &error), std::string(kCsv));
  std::ofstream(name, std::ios::trunc);
  EXPECT_EQ(ReadPlanFile(name, &error), std::string());  // empty: refused as a plan, not as a file
  std::remove(name);

  // At most 1 MiB is read: /dev/zero ends at once.
  EXPECT_FALSE(ReadPlanFile("/dev/zero", &error));
  EXPECT_EQ(error, "the plan /dev/zero is larger than 1 MiB (1048576 bytes); split it into smaller plans");
  const std::string full(kMaxPlanBytes, '#');
  std::istringstream exact(full), over(full + "\n");
  EXPECT_EQ(ReadPlanText(exact, "the plan", &error), full);
  EXPECT_FALSE(ReadPlanText(over, "the plan on standard input", &error));
  EXPECT_EQ(error, "the plan on standard input is larger than 1 MiB (1048576 bytes); split it into smaller plans");
}

// A device's text reaches the terminal and the CSV escaped (and the CSV
// guarded against formulas); JSON keeps it exactly. So does a plan file's.
TEST(PlanCommand, DeviceTextIsShownEscapedAndGuardedButExactInJson) {
  const std::vector<PlanDevice> hostile = {
      {MakeRecord({.model = "=cmd", .name = "\x1b]0;pwned\x07", .ip = "10.99.1.1", .trigger_port = "80",
                   .netmask = "255.255.255.0", .mac = "02:4B:44:00:00:01"}),
       "veth0"}};
  const std::string csv = "02:4B:44:00:00:01,dhcp\n";
  auto run = [&](const std::vector<std::string>& args, int result, const std::string& plan_text) {
    std::string error;
    std::vector<std::string> all = {"--plan", "plan.csv"};
    all.insert(all.end(), args.begin(), args.end());
    std::optional<SetupCommand> cmd = ParseSetupArguments(all, error);
    CapturingSender sender;
    sender.result = result;
    NullLog log;
    std::ostringstream out, err;
    CarryOutPlan(cmd->plan, CsvPlan(plan_text, hostile, {}), sender, log, nullptr, out, err);
    return out.str() + err.str();
  };
  EXPECT_EQ(run({}, -1, csv),
            "MAC                Model  Name              Current IP  New IP  Netmask  Gateway  DNS\n"
            "02:4B:44:00:00:01  =cmd   \\x1b]0;pwned\\x07  10.99.1.1   DHCP\n"
            "Not sent: 02:4B:44:00:00:01\n"
            "Sent 0 of 1 control packages.\n");
  const std::string csv_out = run({"--format", "csv"}, 0, csv);
  EXPECT_NE(csv_out.find("\r\n02:4B:44:00:00:01,'=cmd,\\x1b]0;pwned\\x07,10.99.1.1,"), std::string::npos) << csv_out;
  EXPECT_NE(run({"--format", "json"}, 0, csv).find("\"model\":\"=cmd\",\"name\":\"\\u001b]0;pwned\\u0007\""),
            std::string::npos);
  // A plan file's own text in a refusal.
  const std::string refused = run({}, 0, "\x1b[2J,dhcp\n");
  EXPECT_EQ(refused.find('\x1b'), std::string::npos) << refused;
  EXPECT_NE(refused.find("\\x1b[2J"), std::string::npos) << refused;
}
