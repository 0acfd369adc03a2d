// Command-line parsing of the device simulator.
#include "sim_options.h"

#include <charconv>
#include <climits>
#include <cstring>

#include "cli/options.h"

namespace {

const char kHostileKindList[] = "huge, malformed, slow, stall, endless, entities, long";

bool IsHostileDescriptionKind(const std::string& kind) {
  for (const char* k : {"huge", "malformed", "slow", "stall", "endless", "entities", "long"})
    if (kind == k) return true;
  return false;
}

// The kinds of --onvif-hostile (onvif_host.h).
const char kOnvifHostileKinds[] = "truncated, dtd, foreign, no-xaddrs, huge, elsewhere, fault, stall";

bool IsOnvifHostileKind(const std::string& kind) {
  for (const char* k : {"truncated", "dtd", "foreign", "no-xaddrs", "huge", "elsewhere", "fault", "stall"})
    if (kind == k) return true;
  return false;
}

bool ParseInt(const std::string& text, int min, int max, int* out) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) return false;
  *out = value;
  return true;
}

bool ParseList(const std::string& text, std::vector<std::string>* out);

bool ParseIntList(const std::string& text, int min, int max, std::vector<int>* out) {
  std::vector<std::string> items;
  if (!ParseList(text, &items)) return false;
  std::vector<int> values;
  for (const std::string& item : items) {
    int v = 0;
    if (!ParseInt(item, min, max, &v)) return false;
    values.push_back(v);
  }
  *out = std::move(values);
  return true;
}

bool ParseList(const std::string& text, std::vector<std::string>* out) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item.empty()) return false;
    items.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *out = std::move(items);
  return true;
}

// An option whose value is a number from `min` to `max`.
Option NumberOption(const char* name, const char* value, const char* help, int min, int max, int* out) {
  const std::string option = name;
  return Option({name}, value, help, [option, min, max, out](const std::string& text, std::string* error) {
    if (ParseInt(text, min, max, out)) return true;
    *error = option + ": '" + text + "' is not a number from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
  });
}

// An option whose value is a comma-separated list of non-empty texts.
Option ListOption(const char* name, const char* value, const char* help, std::vector<std::string>* out) {
  const std::string option = name;
  return Option({name}, value, help, [option, out](const std::string& text, std::string* error) {
    if (ParseList(text, out)) return true;
    *error = option + ": '" + text + "' is not a comma-separated list of non-empty texts";
    return false;
  });
}

// The command line's options, read into `o`, with the usage's headings.
std::vector<Option> SimOptionTable(SimOptions* o) {
  auto seed = [o](const std::string& text, std::string* error) {
    int value = 0;
    if (!ParseInt(text, 0, INT_MAX, &value)) {
      *error = "--seed: '" + text + "' is not a number from 0 to " + std::to_string(INT_MAX);
      return false;
    }
    o->seed = static_cast<std::uint32_t>(value);
    return true;
  };
  auto tcp_fault = [o](const std::string& fault, std::string* error) {
    const std::pair<const char*, TcpFault> faults[] = {
        {"close", TcpFault::kClose}, {"silent", TcpFault::kSilent}, {"slow", TcpFault::kSlow},
        {"trickle", TcpFault::kTrickle}, {"flood", TcpFault::kFlood}, {"reset", TcpFault::kReset},
        {"none", TcpFault::kNone}};
    for (const auto& [word, value] : faults) {
      if (fault != word) continue;
      o->tcp_fault = value;
      return true;
    }
    *error = "--tcp-fault: '" + fault + "' is not one of close, silent, slow, trickle, flood, reset, none";
    return false;
  };
  auto junk_sizes = [o](const std::string& text, std::string* error) {
    if (ParseIntList(text, 0, 65507, &o->junk_sizes)) return true;
    *error = "--junk-sizes: '" + text + "' is not a comma-separated list of sizes from 0 to 65507";
    return false;
  };
  auto hostile = [o](const std::string& text, std::string* error) {
    if (!ParseList(text, &o->upnp_hostile)) {
      *error = "--upnp-hostile: '" + text + "' is not a comma-separated list of non-empty texts";
      return false;
    }
    for (const std::string& kind : o->upnp_hostile) {
      if (!IsHostileDescriptionKind(kind)) {
        *error = "--upnp-hostile: '" + kind + "' is not one of " + kHostileKindList;
        return false;
      }
    }
    return true;
  };
  auto onvif_hostile = [o](const std::string& text, std::string* error) {
    if (!ParseList(text, &o->onvif_hostile)) {
      *error = "--onvif-hostile: '" + text + "' is not a comma-separated list of non-empty texts";
      return false;
    }
    for (const std::string& kind : o->onvif_hostile) {
      if (!IsOnvifHostileKind(kind)) {
        *error = "--onvif-hostile: '" + kind + "' is not one of " + kOnvifHostileKinds;
        return false;
      }
    }
    return true;
  };
  auto mx_honour = [o](const std::string& v, std::string* error) {
    if (v != "on" && v != "off") {
      *error = "--upnp-mx-honour must be on or off, not '" + v + "'";
      return false;
    }
    o->upnp_mx_honour = v == "on";
    return true;
  };
  return {
      Option::Text("Devices (a file, generated ones, or both):"),
      Option({"--file"}, "F",
             "one device information text per line:\n"
             "Zentravox,01,model,proj,name,ip,port,netmask,gateway,dns,mac,dev,note\n"
             "(blank lines and lines starting with # are skipped)",
             StoreValue(&o->file)),
      NumberOption("--count", "N", "N generated devices with distinct addresses and MACs", 0, 1000000, &o->count),
      Option({"--ip-base"}, "A", "first generated address (default 10.99.1.1; .0 and .255 skipped)",
             StoreValue(&o->ip_base)),
      ListOption("--models", "A,B,...", "models given to the generated devices in turn (default M100)", &o->models),
      ListOption("--projs", "A,B,...", "projects in turn (default P1)", &o->projs),
      ListOption("--ports", "A,B,...", "HTTP ports in turn (default 80)", &o->ports),
      Option({"--name-prefix"}, "S", "names S1, S2, ... (default Cam)", StoreValue(&o->name_prefix)),
      Option({"--shuffle"}, "", "shuffle the device order (by --seed)", SetFlag(&o->shuffle)),
      Option({"--high-bytes"}, "", "generated names hold bytes above 127 (Latin-1 and UTF-8)",
             SetFlag(&o->high_bytes)),
      NumberOption("--long-fields", "N",
                   "N more devices (after the others) whose packet fields are\n"
                   "1,000 characters long (MACs distinct in their first 17)",
                   0, 1000, &o->long_fields),
      Option({"--seed"}, "N", "seed of the shuffle and the reply delays (default 1)", seed),
      Option::Text(""),
      Option::Text("Devices that come, go and move (times from 'ready'; the first devices of the\n"
                   "list vanish, the next ones move, the last ones appear):"),
      NumberOption("--appear", "N", "the last N devices answer only from --appear-ms on", 0, 1000000, &o->appear),
      NumberOption("--appear-ms", "MS", "when they appear (default 10000)", 0, 3600000, &o->appear_ms),
      NumberOption("--vanish", "N", "the first N devices stop answering at --vanish-ms", 0, 1000000, &o->vanish),
      NumberOption("--vanish-ms", "MS", "when they vanish (default 10000)", 0, 3600000, &o->vanish_ms),
      NumberOption("--move", "N",
                   "the N devices after those take, at --move-ms, their\n"
                   "address with 100 added to its third number",
                   0, 1000000, &o->move),
      NumberOption("--move-ms", "MS", "when they move (default 10000)", 0, 3600000, &o->move_ms),
      Option::Text(""),
      Option::Text("UDP discovery:"),
      Option({"--no-udp"}, "", "do not open UDP port 6666", SetFlag(&o->udp, false)),
      NumberOption("--per-datagram", "K", "device packets per answer datagram (default 1)", 1, 100000,
                   &o->per_datagram),
      NumberOption("--delay-ms", "MAX", "random delay up to MAX ms before each answer datagram", 0, 600000,
                   &o->delay_ms),
      Option({"--answer-twice"}, "", "send every answer datagram twice", SetFlag(&o->answer_twice)),
      Option({"--answer-broadcast"}, "",
             "answer to 255.255.255.255 port 6667, out of the interface\n"
             "the request came in on, instead of to the requester (as a\n"
             "device in another subnet than its searcher must)",
             SetFlag(&o->answer_broadcast)),
      Option({"--garbage"}, "", "also send non-packets, bad Base64 and flag-99 packets", SetFlag(&o->garbage)),
      NumberOption("--flood-ms", "N", "after a request, keep sending answer datagrams for N ms", 0, 3600000,
                   &o->flood_ms),
      NumberOption("--flood-interval-ms", "N", "one flood datagram every N ms (default 20)", 1, 60000,
                   &o->flood_interval_ms),
      NumberOption("--flood-burst", "N", "send N flood datagrams at each interval (default 1)", 1, 10000,
                   &o->flood_burst),
      Option({"--junk-sizes"}, "A,B,...",
             "with every answer, datagrams of these sizes (0 to 65507)\nholding random Base64 characters", junk_sizes),
      NumberOption("--junk-random", "N",
                   "with every answer, N datagrams of random bytes and sizes\n"
                   "(the flood sends the junk datagrams too)",
                   0, 100000, &o->junk_random),
      Option::Text(""),
      Option::Text("TCP relay:"),
      Option({"--no-tcp"}, "", "do not open TCP port 6666", SetFlag(&o->tcp, false)),
      Option({"--tcp-fault"}, "F",
             "close: accept and close at once; silent: accept and never\n"
             "answer; slow: answer one byte at a time; none (default)\n"
             "trickle: answer one byte a second; flood: the answer,\n"
             "then filler up to --tcp-flood-bytes in all; reset: half\n"
             "the answer, then a reset (SO_LINGER 0)",
             tcp_fault),
      NumberOption("--slow-byte-ms", "N", "pause between bytes of a slow answer (default 10)", 0, 60000,
                   &o->slow_byte_ms),
      NumberOption("--tcp-flood-bytes", "N", "bytes a flood sends in all (default 10485760)", 0, 1 << 30,
                   &o->tcp_flood_bytes),
      Option::Text(""),
      Option::Text("HTTP relay (GET /device.get?DeviceType=X answers an HTML table):"),
      Option({"--http"}, "", "serve it", SetFlag(&o->http)),
      NumberOption("--http-port", "N", "its port (default 80)", 0, 65535, &o->http_port),
      Option({"--http-no-items"}, "", "answer a short \"No available items\" page", SetFlag(&o->http_no_items)),
      NumberOption("--http-delay-ms", "N", "wait this long before answering", 0, 3600000, &o->http_delay_ms),
      Option({"--http-endless"}, "", "never end the body", SetFlag(&o->http_endless)),
      NumberOption("--http-stall-after", "BYTES",
                   "\nsend only this many bytes of the page, then hold the\nconnection open without a word", 0,
                   INT_MAX, &o->http_stall_after),
      NumberOption("--http-padding", "BYTES", "make the page this much larger", 0, 1 << 30, &o->http_padding),
      Option({"--http-redirect"}, "LOC",
             "answer \"302 Found\" with Location LOC (a URL, or a path:\n"
             "/device.get?DeviceType=ALL redirects to itself)",
             StoreValue(&o->http_redirect)),
      Option::Text(""),
      Option::Text("Control packages (flag 03, to UDP port 6666):"),
      NumberOption("--restart-ms", "N",
                   "a device that applied a package answers nothing for N ms\n"
                   "(it restarts), then answers at its new settings",
                   0, 3600000, &o->restart_ms),
      ListOption("--ignore-control", "MAC,...", "devices with these MACs ignore every package", &o->ignore_control),
      Option::Text(""),
      Option::Text("UPnP root devices (announced by SSDP, descriptions over HTTP):"),
      NumberOption("--upnp-axis", "N", "\ndevices whose maker holds AXIS, Vivotek, or neither", 0, 1000,
                   &o->upnp_axis)
          .ShownAs("--upnp-axis N, --upnp-vivotek N, --upnp-other N"),
      NumberOption("--upnp-vivotek", "N", "", 0, 1000, &o->upnp_vivotek),
      NumberOption("--upnp-other", "N", "", 0, 1000, &o->upnp_other),
      NumberOption("--upnp-silent", "N", "devices whose description is never served", 0, 1000, &o->upnp_silent),
      Option({"--upnp-interface"}, "IF", "the interface to announce on (required with devices,",
             StoreValue(&o->upnp_interface)),
      Option({"--upnp-address"}, "A", "or the address)", StoreValue(&o->upnp_address)),
      Option({"--upnp-hostile"}, "K,...",
             "one more root device per kind, whose description is served\n"
             "by a server of its own: huge (an AXIS device padded to\n"
             "--upnp-huge-bytes, default 20000000), malformed (broken\n"
             "XML), slow (a byte every 100 ms, never done), stall\n"
             "(never answers), endless (a body that never ends, at\n"
             "full speed), entities (nested entities that expand to\n"
             "gigabytes), long (an AXIS device whose texts are 1,000\n"
             "characters, many above 127); a kind may come again",
             hostile),
      NumberOption("--upnp-huge-bytes", "N", "", 0, 1 << 30, &o->upnp_huge_bytes),
      Option({"--upnp-mx-honour"}, "on|off",
             "on (default): answer a search after a random time up\nto its MX; off: answer at once", mx_honour),
      Option({"--upnp-no-cache-control"}, "", "answers and announcements without Cache-Control",
             SetFlag(&o->upnp_cache_control, false)),
      Option({"--upnp-notify-only"}, "", "answer no search; announce every device every 200 ms",
             SetFlag(&o->upnp_notify_only)),
      Option({"--upnp-pretty"}, "", "descriptions with blanks and line breaks around every text",
             SetFlag(&o->upnp_pretty)),
      NumberOption("--upnp-appear", "N",
                   "the last N AXIS, Vivotek or other devices answer no search\n"
                   "until --upnp-appear-ms, then announce themselves (ssdp:alive)",
                   0, 1000, &o->upnp_appear),
      NumberOption("--upnp-appear-ms", "MS", "when they appear (default 10000)", 0, 3600000, &o->upnp_appear_ms),
      NumberOption("--upnp-byebye", "N",
                   "the first N of them say ssdp:byebye at --upnp-byebye-ms and\n"
                   "answer no more",
                   0, 1000, &o->upnp_byebye),
      NumberOption("--upnp-byebye-ms", "MS", "when they leave (default 10000)", 0, 3600000, &o->upnp_byebye_ms),
      NumberOption("--ssdp-flood", "RATE",
                   "a hostile host: RATE ssdp:alive a second from --upnp-address,\n"
                   "each of another UDN, whose LOCATION is a server there that\n"
                   "accepts and never answers",
                   0, 100000, &o->ssdp_flood),
      NumberOption("--ssdp-flood-ms", "MS", "stop announcing after MS (default: never)", 0, 3600000,
                   &o->ssdp_flood_ms),
      Option::Text(""),
      Option::Text("ONVIF cameras (WS-Discovery on 239.255.255.250:3702, GetDeviceInformation over HTTP):"),
      NumberOption("--onvif", "N",
                   "cameras and recorders that vary as real ones do (a random\n"
                   "source port, answers twice, other prefixes, a delay, any\n"
                   "Probe answered, credentials asked, host-name and IPv6 XAddrs)",
                   0, 4096, &o->onvif),
      NumberOption("--onvif-computer", "N", "responders of types wsdp:Device pub:Computer", 0, 1000,
                   &o->onvif_computer),
      Option({"--onvif-hostile"}, "K,...",
             "one more responder per kind: truncated, dtd, foreign (a\n"
             "RelatesTo of no Probe), no-xaddrs, huge, elsewhere (an XAddr\n"
             "on another host), fault (details answer a SOAP fault),\n"
             "stall (details never answer)",
             onvif_hostile),
      Option({"--onvif-address"}, "A", "the address to answer and serve from (required with them)",
             StoreValue(&o->onvif_address)),
      NumberOption("--onvif-http-port", "N", "the device service's port (default 80; moved cameras N+1)", 1, 65534,
                   &o->onvif_http_port),
      NumberOption("--onvif-delay-ms", "MAX", "the waiting cameras wait up to MAX ms (default 300)", 0, 60000,
                   &o->onvif_delay_ms),
      Option({"--onvif-plain"}, "", "no variations: every camera answers at once, once, from 3702",
             SetFlag(&o->onvif_plain)),
      NumberOption("--onvif-appear", "N", "the last N cameras answer nothing until --onvif-appear-ms,\nthen say Hello",
                   0, 4096, &o->onvif_appear),
      NumberOption("--onvif-appear-ms", "MS", "when they appear (default 10000)", 0, 3600000, &o->onvif_appear_ms),
      NumberOption("--onvif-bye", "N", "the first N say Bye at --onvif-bye-ms and answer no more", 0, 4096,
                   &o->onvif_bye),
      NumberOption("--onvif-bye-ms", "MS", "when they leave (default 10000)", 0, 3600000, &o->onvif_bye_ms),
      NumberOption("--onvif-move", "N",
                   "the N cameras after those take an XAddr on the next port\nat --onvif-move-ms and say Hello",
                   0, 4096, &o->onvif_move),
      NumberOption("--onvif-move-ms", "MS", "when they move (default 10000)", 0, 3600000, &o->onvif_move_ms),
      Option({"-h", "--help"}, "", "", SetFlag(&o->help)),
  };
}

constexpr int kHelpColumn = 24;

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions* o, std::string* error) {
  return ReadOptions(std::vector<std::string>(argv, argv + argc), SimOptionTable(o), error);
}

std::string SimUsage() {
  SimOptions unused;
  return "usage: device-sim [options]\n"
         "Plays networked video devices for the discovery protocol: UDP port 6666\n"
         "(answers to port 6667 of the requester) and a TCP relay on port 6666.\n"
         "Logs every event as one line on standard output; prints 'ready ...' once\n"
         "its sockets are bound; stops on SIGINT or SIGTERM.\n"
         "\n" +
         OptionList(SimOptionTable(&unused), kHelpColumn) +
         "\n"
         "Control packages (flag 03) sent to UDP port 6666 re-address the device whose\n"
         "MAC they name: static addresses as given, or one from a DHCP pool of its own.\n";
}
