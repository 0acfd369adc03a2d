// The window's saved-list reads: the result comes back on the owner's
// thread, later, while the owner's event loop keeps running; a FIFO that
// nobody writes ends with the reader's message; an owner that goes first
// gets no call.
#include "app/saved_list_reading.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <fstream>

namespace {

using std::chrono::milliseconds;

// A file or FIFO in a fresh folder, removed with it.
struct TempFile {
  std::string folder, path;
  explicit TempFile(bool fifo) {
    char name[] = "/tmp/saved_list_readingXXXXXX";
    folder = mkdtemp(name);
    path = folder + "/list";
    if (fifo) mkfifo(path.c_str(), 0600);
  }
  ~TempFile() {
    std::remove(path.c_str());
    rmdir(folder.c_str());
  }
};

// What one read gave, and what the owner's loop did meanwhile.
struct Outcome {
  bool called = false, on_owner_thread = false, inside_start = false;
  std::size_t devices = 0;
  std::string error;
  int ticks = 0;  // turns of a 20 ms timer on the owner's thread before the call
};

// Starts a read of `path` and runs the owner's loop until the call comes
// (or 5 s pass).
Outcome ReadAndWait(SavedListReading& reading, const std::string& path, milliseconds quiet) {
  Outcome out;
  bool starting = true;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++out.ticks; });
  ticker.start(20);
  EXPECT_TRUE(reading.Start(
      path,
      [&](std::optional<std::vector<ListedDevice>> devices, const std::string& error) {
        out.called = true;
        out.inside_start = starting;
        out.on_owner_thread = QThread::currentThread() == QCoreApplication::instance()->thread();
        out.devices = devices ? devices->size() : 0;
        out.error = error;
      },
      quiet));
  starting = false;
  QElapsedTimer waited;
  waited.start();
  while (!out.called && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return out;
}

}  // namespace

TEST(SavedListReading, CallsBackOnTheOwnersThreadWhileItsLoopRuns) {
  struct Case {
    const char* what;
    bool fifo;
    const char* contents;  // a regular file's
    std::size_t devices;
    const char* error;  // after the path and ": "
    int least_ticks;    // the owner's loop turned at least this often meanwhile
  } cases[] = {
      {"a regular list", false, "[{\"ip\": \"10.0.0.1\"}, {\"ip\": \"10.0.0.2\"}]", 2, "", 0},
      {"a file that is no list", false, "junk",  0,
       "line 1: not a device list: the CSV heading must begin Model,Proj,Name,IP,Port,Netmask,Mac", 0},
      {"a FIFO nobody writes", true, "", 0, "nothing came for 0.4 s (a pipe that nobody writes?)", 10},
  };
  for (const Case& c : cases) {
    TempFile file(c.fifo);
    if (!c.fifo) std::ofstream(file.path) << c.contents;
    SavedListReading reading;
    const Outcome out = ReadAndWait(reading, file.path, milliseconds(400));
    ASSERT_TRUE(out.called) << c.what;
    EXPECT_TRUE(out.on_owner_thread) << c.what;
    EXPECT_FALSE(out.inside_start) << c.what;
    EXPECT_FALSE(reading.Running()) << c.what;
    EXPECT_EQ(out.devices, c.devices) << c.what;
    EXPECT_EQ(out.error, *c.error ? file.path + ": " + c.error : "") << c.what;
    EXPECT_GE(out.ticks, c.least_ticks) << c.what;
  }
}

// One read at a time: a second Start while the first runs is refused and
// its callback never runs.
TEST(SavedListReading, RefusesASecondReadWhileOneRuns) {
  TempFile fifo(true);
  SavedListReading reading;
  int second_calls = 0;
  ASSERT_TRUE(reading.Start(fifo.path, [](auto, const std::string&) {}, milliseconds(300)));
  EXPECT_TRUE(reading.Running());
  EXPECT_FALSE(reading.Start(fifo.path, [&](auto, const std::string&) { ++second_calls; }, milliseconds(300)));
  QElapsedTimer waited;
  waited.start();
  while (reading.Running() && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(reading.Running());
  EXPECT_EQ(second_calls, 0);
}

// An owner gone before its read ends is never called, and its going does
// not wait for the read.
TEST(SavedListReading, AnOwnerGoneFirstIsNotCalled) {
  TempFile fifo(true);
  int calls = 0;
  QElapsedTimer took;
  took.start();
  {
    SavedListReading reading;
    ASSERT_TRUE(reading.Start(fifo.path, [&](auto, const std::string&) { ++calls; }, milliseconds(200)));
  }
  EXPECT_LT(took.elapsed(), 150);
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(calls, 0);
}
