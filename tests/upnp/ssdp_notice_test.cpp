// SSDP announcements as the watch's listener reads them, and which
// description locations it follows.
#include <gtest/gtest.h>

#include "upnp/ssdp_listener.h"

TEST(SsdpNotice, TableOfDatagrams) {
  struct Case {
    const char* what;
    std::string datagram;
    const char* read;  // "alive|byebye nt udn location", or "" when refused
  } cases[] = {
      {"a root device's alive",
       "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\n"
       "USN: uuid:abc::upnp:rootdevice\r\nLOCATION: http://10.0.0.5:49152/d.xml\r\n\r\n",
       "alive upnp:rootdevice uuid:abc http://10.0.0.5:49152/d.xml"},
      {"names in any case, LF line ends, blanks around values",
       "NOTIFY * HTTP/1.1\nnt:upnp:rootdevice\nnts:  ssdp:alive \nusn: uuid:abc\nLocation: http://h/\n",
       "alive upnp:rootdevice uuid:abc http://h/"},
      {"a byebye needs no location and keeps none",
       "NOTIFY * HTTP/1.1\r\nNT: uuid:abc\r\nNTS: ssdp:byebye\r\nUSN: uuid:abc\r\nLOCATION: http://h/\r\n\r\n",
       "byebye uuid:abc uuid:abc "},
      {"an alive without a location",
       "NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nUSN: uuid:abc::upnp:rootdevice\r\n\r\n", ""},
      {"ssdp:update", "NOTIFY * HTTP/1.1\r\nNTS: ssdp:update\r\nUSN: uuid:abc\r\nLOCATION: http://h/\r\n\r\n", ""},
      {"a USN without a UDN", "NOTIFY * HTTP/1.1\r\nNTS: ssdp:byebye\r\nUSN: upnp:rootdevice\r\n\r\n", ""},
      {"an empty UDN", "NOTIFY * HTTP/1.1\r\nNTS: ssdp:byebye\r\nUSN: uuid:::upnp:rootdevice\r\n\r\n", ""},
      {"a search request", "M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\nUSN: uuid:abc\r\nNTS: ssdp:byebye\r\n\r\n", ""},
      {"an answer", "HTTP/1.1 200 OK\r\nUSN: uuid:abc\r\nLOCATION: http://h/\r\n\r\n", ""},
      {"no line end at all", "NOTIFY * HTTP/1.1", ""},
  };
  for (const Case& c : cases) {
    std::optional<SsdpNotice> n = ParseSsdpNotify(c.datagram);
    const std::string read = n ? std::string(n->alive ? "alive " : "byebye ") + n->nt + " " + n->udn + " " + n->location : "";
    EXPECT_EQ(read, c.read) << c.what;
  }
}

// Only an http URL on the very address the announcement came from is fetched.
TEST(SsdpNotice, LocationMustBeOnTheSender) {
  struct Case {
    const char* location;
    bool followed;
  } cases[] = {
      {"http://10.0.0.5:49152/d.xml", true},
      {"http://10.0.0.5/", true},
      {"http://10.0.0.5", true},
      {"http://10.0.0.50/d.xml", false},
      {"http://10.0.0.5@evil.example/", false},
      {"http://user@10.0.0.5/", false},
      {"https://10.0.0.5/", false},
      {"HTTP://10.0.0.5/", false},
      {"http:///d.xml", false},
      {"file:///etc/passwd", false},
      {"http://10.0.0.5:80@203.0.113.7/d.xml", false},  // the host is after the "@"
      {"http://10.0.0.5:@203.0.113.7/", false},
      {"http://10.0.0.5:8o/", false},
      {"http://10.0.0.5:/d.xml", true},
      {"http://10.0.0.5?d", true},
      {"http://10.0.0.5#d", true},
      {"http://10.0.0.5/a b", false},
      {"http://10.0.0.5/\x01", false},
      {"http://10.0.0.5/\xc3\xa9", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LocationOnSender(c.location, "10.0.0.5"), c.followed) << c.location;
}

// What the listener hands on of a datagram from 10.0.0.5: byebyes as read,
// alives of root devices described on the sender only, nothing too long.
TEST(SsdpNotice, WhatTheListenerHandsOn) {
  const std::string alive = "NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nUSN: uuid:abc::upnp:rootdevice\r\n";
  const std::string byebye = "NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:byebye\r\nUSN: uuid:abc\r\n";
  struct Case {
    const char* what;
    std::string datagram;
    const char* handed;  // "alive|byebye udn location", or "" when dropped
  } cases[] = {
      {"a root device's alive on the sender", alive + "LOCATION: http://10.0.0.5:49152/d.xml\r\n\r\n",
       "alive uuid:abc http://10.0.0.5:49152/d.xml"},
      {"an alive described on another host", alive + "LOCATION: http://10.0.0.6/d.xml\r\n\r\n", ""},
      {"an alive of an embedded device",
       "NOTIFY * HTTP/1.1\r\nNT: urn:schemas-upnp-org:device:Basic:1\r\nNTS: ssdp:alive\r\nUSN: uuid:abc\r\n"
       "LOCATION: http://10.0.0.5/d.xml\r\n\r\n",
       ""},
      {"a byebye from anywhere is handed on with no location", byebye + "LOCATION: http://10.0.0.9/\r\n\r\n",
       "byebye uuid:abc "},
      {"a byebye of the largest size", byebye + std::string(kSsdpDatagramLimit - byebye.size(), '\n'),
       "byebye uuid:abc "},
      {"one byte over the largest size", byebye + std::string(kSsdpDatagramLimit - byebye.size() + 1, '\n'), ""},
      {"no NOTIFY", "M-SEARCH * HTTP/1.1\r\nNTS: ssdp:byebye\r\nUSN: uuid:abc\r\n\r\n", ""},
  };
  for (const Case& c : cases) {
    std::optional<SsdpNotice> n = ReadSsdpNotice(c.datagram, "10.0.0.5");
    const std::string handed = n ? std::string(n->alive ? "alive " : "byebye ") + n->udn + " " + n->location : "";
    EXPECT_EQ(handed, c.handed) << c.what;
  }
}
