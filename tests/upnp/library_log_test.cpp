// The messages of GLib and libxml2: kept for the debug log, each once with
// its count, cut at a limit, and never on standard error.
#include "upnp/library_log.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>

TEST(LibraryLog, MessagesAreKeptForTheDebugLogAndStayOffStandardError) {
  RouteLibraryMessages();
  TakeLibraryMessages();
  testing::internal::CaptureStderr();
  g_warning("No 'Cache-Control' nor any 'Expires' header was specified.");
  g_message("two\nlines");
  g_warning("No 'Cache-Control' nor any 'Expires' header was specified.");
  g_debug("dropped unless G_MESSAGES_DEBUG asks for it");
  const char broken[] = "<root><device><UDN>uuid:b</UDN></devi";
  xmlFreeDoc(xmlReadMemory(broken, sizeof(broken) - 1, "http://10.0.0.9/broken.xml", nullptr,
                           XML_PARSE_NONET | XML_PARSE_RECOVER));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "");

  std::vector<std::string> kept = TakeLibraryMessages();
  ASSERT_GE(kept.size(), 3u);
  EXPECT_EQ(kept[0], "GLib warning: No 'Cache-Control' nor any 'Expires' header was specified. (2 times)");
  EXPECT_EQ(kept[1], "GLib message: two lines");
  EXPECT_NE(kept[2].find("libxml2 "), std::string::npos) << kept[2];
  EXPECT_NE(kept[2].find("http://10.0.0.9/broken.xml:1: "), std::string::npos) << kept[2];
  EXPECT_TRUE(TakeLibraryMessages().empty());

  // A flood of different messages is cut at the limit and says how many
  // were not kept.
  for (std::size_t i = 0; i < kLibraryMessageLimit + 7; ++i) g_message("flood %zu", i);
  kept = TakeLibraryMessages();
  ASSERT_EQ(kept.size(), kLibraryMessageLimit + 1);
  EXPECT_EQ(kept.back(), "(7 more library messages not kept)");
}
