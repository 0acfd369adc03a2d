// The UPnP engine without a network: refusals, the completion signal on every
// path, results of consecutive searches, teardown during a search, and the
// texts and the manufacturer filter of the device record.
#include "upnp/upnp_engine.h"

#include <gtest/gtest.h>

#include <thread>

#include "fake_finder.h"

namespace {

using namespace std::chrono_literals;

struct Engine : ::testing::Test {
  Engine() : state(std::make_shared<FakeFinderState>()),
             engine(std::make_unique<FakeFinder>(state)) {}

  // Waits for the engine's current search to be signalled and its worker to end.
  void Finish() {
    ASSERT_TRUE(engine.search_event);
    ASSERT_TRUE(engine.search_event->WaitFor(5s));
    for (int i = 0; i < 500 && engine.WorkerRunning(); ++i) std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(engine.WorkerRunning());
  }

  std::vector<std::string> Manufacturers() const {
    std::vector<std::string> out;
    for (const auto& r : engine.results) out.push_back(r.manufacturer_name);
    return out;
  }

  std::shared_ptr<FakeFinderState> state;
  int owner = 0;  // an owner: only its address counts
  UpnpEngine engine;
};

// An owner that is gone reaches the engine as null (EngineUpnpPhase).
TEST_F(Engine, StartsIdleAndRefusesANullOwner) {
  EXPECT_FALSE(engine.worker_thread.joinable());
  EXPECT_FALSE(engine.search_event);
  EXPECT_EQ(engine.owner_window, nullptr);

  EXPECT_FALSE(engine.StartSearch(nullptr));

  EXPECT_FALSE(engine.worker_thread.joinable());
  EXPECT_FALSE(engine.search_event);
  EXPECT_EQ(state->calls, 0);
}

TEST_F(Engine, RefusesWhileAWorkerRunsAndChangesNothing) {
  state->devices = {FakeDevice("AXIS")};
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  ASSERT_EQ(engine.results.size(), 1u);

  state->hold = true;
  state->entered = std::make_unique<SearchEvent>("entered");
  ASSERT_TRUE(engine.StartSearch(&owner));
  ASSERT_TRUE(state->entered->WaitFor(5s));
  std::shared_ptr<SearchEvent> event = engine.search_event;
  EXPECT_EQ(event->Name(), "Upnp_Search_Event");
  EXPECT_FALSE(event->IsSet());

  int other = 0;
  EXPECT_FALSE(engine.StartSearch(&other));
  EXPECT_EQ(engine.search_event, event);
  EXPECT_EQ(engine.owner_window, &owner);
  EXPECT_EQ(state->calls, 2);

  state->release->Set();
  Finish();
  EXPECT_EQ(engine.search_event, event);
  EXPECT_TRUE(event->IsSet());
  // Once the worker has ended, a new search may start.
  EXPECT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_EQ(state->calls, 3);
}

TEST_F(Engine, SecondSearchEmptiesResultsBeforeAddingAndReplacesTheEvent) {
  state->devices = {FakeDevice("AXIS 1"), FakeDevice("Vivotek 2")};
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  std::shared_ptr<SearchEvent> first = engine.search_event;
  EXPECT_EQ(Manufacturers(), (std::vector<std::string>{"AXIS 1", "Vivotek 2"}));

  state->hold = true;
  state->entered = std::make_unique<SearchEvent>("entered");
  state->devices = {FakeDevice("Vivotek 3")};
  ASSERT_TRUE(engine.StartSearch(&owner));  // the first event was never consumed
  ASSERT_TRUE(state->entered->WaitFor(5s));
  EXPECT_NE(engine.search_event, first);
  EXPECT_TRUE(engine.results.empty());  // emptied before the finder ran
  state->release->Set();
  Finish();
  EXPECT_EQ(Manufacturers(), (std::vector<std::string>{"Vivotek 3"}));

  engine.CloseSearchEvent();
  EXPECT_FALSE(engine.search_event);
  EXPECT_EQ(engine.owner_window, nullptr);
  EXPECT_EQ(engine.results.size(), 1u);  // results stay for the detail dialog
}

TEST_F(Engine, SignalsOnEveryPath) {
  state->devices = {FakeDevice("AXIS")};
  state->succeed = false;  // the finder could not search
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_TRUE(engine.results.empty());

  state->succeed = true;
  state->fail_by_throwing = true;
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_TRUE(engine.results.empty());

  state->fail_by_throwing = false;
  state->devices = {FakeDevice("Generic"), FakeDevice("")};
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_TRUE(engine.results.empty());

  state->devices.clear();  // a network without root devices
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_TRUE(engine.results.empty());
}

// AXIS as written (so neither "Axis" nor "Praxis"), Vivotek in any case (its
// devices write "VIVOTEK INC."); the order found is kept.
// The finder's account comes through as it is; the engine adds how many
// devices it kept and each it refused, with the reason. The interface a
// device answered on goes with its record.
TEST_F(Engine, AccountsForTheDevicesItKeptAndRefused) {
  state->account.descriptions_asked = 3;
  state->account.interfaces = {UpnpInterfaceAccount{"eth0", "10.0.0.1", "", 6668, false, 4, 3}};
  state->devices = {FakeDevice("AXIS", "Cam"), FakeDevice("Linksys", "Router \"7\""), FakeDevice("VIVOTEK INC.")};
  state->devices[2].interface = "eth0";
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_EQ(engine.account.descriptions_asked, 3);
  EXPECT_EQ(engine.account.Replies(), 3);
  EXPECT_EQ(engine.account.devices_kept, 2);
  EXPECT_EQ(engine.account.devices_refused,
            std::vector<std::string>{"\"Router \\x227\\x22\" by \"Linksys\": neither AXIS nor Vivotek"});
  ASSERT_EQ(engine.results.size(), 2u);
  EXPECT_EQ(engine.results[0].interface, "");
  EXPECT_EQ(engine.results[1].interface, "eth0");

  // The next search's account starts afresh.
  state->account = {};
  state->devices = {};
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_EQ(engine.account.devices_kept, 0);
  EXPECT_TRUE(engine.account.devices_refused.empty());
}

TEST_F(Engine, ManufacturerFilterTakesAxisAsWrittenAndVivotekInAnyCase) {
  state->devices = {FakeDevice("AXIS"),          FakeDevice("Axis Communications"),
                    FakeDevice("Made by AXIS AB"), FakeDevice("axis"),
                    FakeDevice("Praxis Imaging"), FakeDevice("VIVOTEK INC."),
                    FakeDevice("Cameras by Vivotek Corp."), FakeDevice("vivotek"),
                    FakeDevice("ViVoTeK"),       FakeDevice("Vivo Tek"),
                    FakeDevice("AXIS and Vivotek")};
  ASSERT_TRUE(engine.StartSearch(&owner));
  Finish();
  EXPECT_EQ(Manufacturers(), (std::vector<std::string>{"AXIS", "Made by AXIS AB", "VIVOTEK INC.",
                                                       "Cameras by Vivotek Corp.", "vivotek",
                                                       "ViVoTeK", "AXIS and Vivotek"}));
}

TEST(EngineTeardown, DestructionWaitsForARunningWorker) {
  auto state = std::make_shared<FakeFinderState>();
  state->hold = true;
  state->devices = {FakeDevice("AXIS")};
  int owner = 0;
  std::thread releaser;
  {
    UpnpEngine engine(std::make_unique<FakeFinder>(state));
    ASSERT_TRUE(engine.StartSearch(&owner));
    ASSERT_TRUE(state->entered->WaitFor(5s));
    releaser = std::thread([state] {
      std::this_thread::sleep_for(100ms);
      state->release->Set();
    });
  }  // the engine goes while its worker is inside the finder
  EXPECT_TRUE(state->returned);
  releaser.join();
}

TEST(DeviceRecord, CountsFlagsAndRelatives) {
  EXPECT_EQ(ChildrenText(0), "No: Zero children");
  EXPECT_EQ(ChildrenText(1), "Yes: One child");
  EXPECT_EQ(ChildrenText(3), "Yes: 3 children");
  EXPECT_EQ(ChildrenText(-1), "No: Zero children");
  EXPECT_EQ(ServicesText(0), "No: Zero services");
  EXPECT_EQ(ServicesText(1), "Yes: One service");
  EXPECT_EQ(ServicesText(3), "Yes: 3 services");

  UpnpDeviceProperties p = FakeDevice("AXIS", "Cam (1)", "Net cam", "http://10.0.0.1/");
  p.children = 3;
  p.has_children = true;
  p.services = 1;
  p.parent_device.present = false;
  p.root_device = {true, true, std::string("Top")};
  p.type = "urn:schemas-upnp-org:device:Basic:1";
  DeviceInformationContainer d;
  ReadDeviceInformation(p, d);
  EXPECT_EQ(d.children, "Yes: 3 children");
  EXPECT_EQ(d.has_children, "Yes");
  EXPECT_EQ(d.is_root_device, "Yes");
  EXPECT_EQ(d.services, "Yes: One service");
  EXPECT_EQ(d.parent_device, "This is a topmost device");
  EXPECT_EQ(d.root_device, "Top");
  EXPECT_EQ(DeviceInformationField(d, 0), d.children);
  EXPECT_EQ(DeviceInformationField(d, 16), d.type);
  EXPECT_EQ(DeviceInformationField(d, 18), d.upc);

  // Failed reads leave their fields as they were.
  UpnpDeviceProperties failed;
  failed.parent_device.read_ok = false;
  failed.root_device = {true, true, std::nullopt};  // the root's name could not be read
  DeviceInformationContainer kept = d;
  ReadDeviceInformation(failed, kept);
  EXPECT_EQ(kept, d);
}

}  // namespace
