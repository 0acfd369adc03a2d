// Command-line parsing of the device simulator.
#include "sim_options.h"

#include <charconv>
#include <climits>
#include <cstring>

namespace {

const char kHostileKindList[] = "huge, malformed, slow, stall, endless, entities, long";

bool IsHostileDescriptionKind(const std::string& kind) {
  for (const char* k : {"huge", "malformed", "slow", "stall", "endless", "entities", "long"})
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

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions* o, std::string* error) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto number = [&](int min, int max, int* out) {
      std::string text;
      if (!value(&text)) return false;
      if (!ParseInt(text, min, max, out)) {
        *error = arg + ": '" + text + "' is not a number from " + std::to_string(min) + " to " +
                 std::to_string(max);
        return false;
      }
      return true;
    };
    auto list = [&](std::vector<std::string>* out) {
      std::string text;
      if (!value(&text)) return false;
      if (!ParseList(text, out)) {
        *error = arg + ": '" + text + "' is not a comma-separated list of non-empty texts";
        return false;
      }
      return true;
    };
    int seed = 0;
    if (arg == "--file") {
      if (!value(&o->file)) return false;
    } else if (arg == "--count") {
      if (!number(0, 1000000, &o->count)) return false;
    } else if (arg == "--ip-base") {
      if (!value(&o->ip_base)) return false;
    } else if (arg == "--models") {
      if (!list(&o->models)) return false;
    } else if (arg == "--projs") {
      if (!list(&o->projs)) return false;
    } else if (arg == "--ports") {
      if (!list(&o->ports)) return false;
    } else if (arg == "--name-prefix") {
      if (!value(&o->name_prefix)) return false;
    } else if (arg == "--shuffle") {
      o->shuffle = true;
    } else if (arg == "--high-bytes") {
      o->high_bytes = true;
    } else if (arg == "--long-fields") {
      if (!number(0, 1000, &o->long_fields)) return false;
    } else if (arg == "--seed") {
      if (!number(0, INT_MAX, &seed)) return false;
      o->seed = static_cast<std::uint32_t>(seed);
    } else if (arg == "--no-udp") {
      o->udp = false;
    } else if (arg == "--per-datagram") {
      if (!number(1, 100000, &o->per_datagram)) return false;
    } else if (arg == "--delay-ms") {
      if (!number(0, 600000, &o->delay_ms)) return false;
    } else if (arg == "--answer-twice") {
      o->answer_twice = true;
    } else if (arg == "--answer-broadcast") {
      o->answer_broadcast = true;
    } else if (arg == "--garbage") {
      o->garbage = true;
    } else if (arg == "--flood-ms") {
      if (!number(0, 3600000, &o->flood_ms)) return false;
    } else if (arg == "--flood-interval-ms") {
      if (!number(1, 60000, &o->flood_interval_ms)) return false;
    } else if (arg == "--flood-burst") {
      if (!number(1, 10000, &o->flood_burst)) return false;
    } else if (arg == "--junk-sizes") {
      std::string text;
      if (!value(&text)) return false;
      if (!ParseIntList(text, 0, 65507, &o->junk_sizes)) {
        *error = "--junk-sizes: '" + text + "' is not a comma-separated list of sizes from 0 to 65507";
        return false;
      }
    } else if (arg == "--junk-random") {
      if (!number(0, 100000, &o->junk_random)) return false;
    } else if (arg == "--no-tcp") {
      o->tcp = false;
    } else if (arg == "--tcp-fault") {
      std::string fault;
      if (!value(&fault)) return false;
      if (fault == "close") {
        o->tcp_fault = TcpFault::kClose;
      } else if (fault == "silent") {
        o->tcp_fault = TcpFault::kSilent;
      } else if (fault == "slow") {
        o->tcp_fault = TcpFault::kSlow;
      } else if (fault == "trickle") {
        o->tcp_fault = TcpFault::kTrickle;
      } else if (fault == "flood") {
        o->tcp_fault = TcpFault::kFlood;
      } else if (fault == "reset") {
        o->tcp_fault = TcpFault::kReset;
      } else if (fault == "none") {
        o->tcp_fault = TcpFault::kNone;
      } else {
        *error = "--tcp-fault: '" + fault +
                 "' is not one of close, silent, slow, trickle, flood, reset, none";
        return false;
      }
    } else if (arg == "--slow-byte-ms") {
      if (!number(0, 60000, &o->slow_byte_ms)) return false;
    } else if (arg == "--tcp-flood-bytes") {
      if (!number(0, 1 << 30, &o->tcp_flood_bytes)) return false;
    } else if (arg == "--http") {
      o->http = true;
    } else if (arg == "--http-port") {
      if (!number(0, 65535, &o->http_port)) return false;
    } else if (arg == "--http-no-items") {
      o->http_no_items = true;
    } else if (arg == "--http-delay-ms") {
      if (!number(0, 3600000, &o->http_delay_ms)) return false;
    } else if (arg == "--http-endless") {
      o->http_endless = true;
    } else if (arg == "--http-stall-after") {
      if (!number(0, INT_MAX, &o->http_stall_after)) return false;
    } else if (arg == "--http-padding") {
      if (!number(0, 1 << 30, &o->http_padding)) return false;
    } else if (arg == "--http-redirect") {
      if (!value(&o->http_redirect)) return false;
    } else if (arg == "--upnp-axis") {
      if (!number(0, 1000, &o->upnp_axis)) return false;
    } else if (arg == "--upnp-vivotek") {
      if (!number(0, 1000, &o->upnp_vivotek)) return false;
    } else if (arg == "--upnp-other") {
      if (!number(0, 1000, &o->upnp_other)) return false;
    } else if (arg == "--upnp-silent") {
      if (!number(0, 1000, &o->upnp_silent)) return false;
    } else if (arg == "--upnp-interface") {
      if (!value(&o->upnp_interface)) return false;
    } else if (arg == "--upnp-address") {
      if (!value(&o->upnp_address)) return false;
    } else if (arg == "--upnp-hostile") {
      if (!list(&o->upnp_hostile)) return false;
      for (const std::string& kind : o->upnp_hostile) {
        if (!IsHostileDescriptionKind(kind)) {
          *error = "--upnp-hostile: '" + kind + "' is not one of " + kHostileKindList;
          return false;
        }
      }
    } else if (arg == "--upnp-huge-bytes") {
      if (!number(0, 1 << 30, &o->upnp_huge_bytes)) return false;
    } else if (arg == "--upnp-mx-honour") {
      std::string v;
      if (!value(&v)) return false;
      if (v != "on" && v != "off") {
        *error = "--upnp-mx-honour must be on or off, not '" + v + "'";
        return false;
      }
      o->upnp_mx_honour = v == "on";
    } else if (arg == "--upnp-no-cache-control") {
      o->upnp_cache_control = false;
    } else if (arg == "--upnp-notify-only") {
      o->upnp_notify_only = true;
    } else if (arg == "--upnp-pretty") {
      o->upnp_pretty = true;
    } else if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else {
      *error = "unknown option '" + arg + "' (see --help)";
      return false;
    }
  }
  return true;
}

std::string SimUsage() {
  return
      "usage: device-sim [options]\n"
      "Plays networked video devices for the discovery protocol: UDP port 6666\n"
      "(answers to port 6667 of the requester) and a TCP relay on port 6666.\n"
      "Logs every event as one line on standard output; prints 'ready ...' once\n"
      "its sockets are bound; stops on SIGINT or SIGTERM.\n"
      "\n"
      "Devices (a file, generated ones, or both):\n"
      "  --file F              one device information text per line:\n"
      "                        Zentravox,01,model,proj,name,ip,port,netmask,gateway,dns,mac,dev,note\n"
      "                        (blank lines and lines starting with # are skipped)\n"
      "  --count N             N generated devices with distinct addresses and MACs\n"
      "  --ip-base A           first generated address (default 10.99.1.1; .0 and .255 skipped)\n"
      "  --models A,B,...      models given to the generated devices in turn (default M100)\n"
      "  --projs A,B,...       projects in turn (default P1)\n"
      "  --ports A,B,...       HTTP ports in turn (default 80)\n"
      "  --name-prefix S       names S1, S2, ... (default Cam)\n"
      "  --shuffle             shuffle the device order (by --seed)\n"
      "  --high-bytes          generated names hold bytes above 127 (Latin-1 and UTF-8)\n"
      "  --long-fields N       N more devices (after the others) whose packet fields are\n"
      "                        1,000 characters long (MACs distinct in their first 17)\n"
      "  --seed N              seed of the shuffle and the reply delays (default 1)\n"
      "\n"
      "UDP discovery:\n"
      "  --no-udp              do not open UDP port 6666\n"
      "  --per-datagram K      device packets per answer datagram (default 1)\n"
      "  --delay-ms MAX        random delay up to MAX ms before each answer datagram\n"
      "  --answer-twice        send every answer datagram twice\n"
      "  --answer-broadcast    answer to 255.255.255.255 port 6667, out of the interface\n"
      "                        the request came in on, instead of to the requester (as a\n"
      "                        device in another subnet than its searcher must)\n"
      "  --garbage             also send non-packets, bad Base64 and flag-99 packets\n"
      "  --flood-ms N          after a request, keep sending answer datagrams for N ms\n"
      "  --flood-interval-ms N one flood datagram every N ms (default 20)\n"
      "  --flood-burst N       send N flood datagrams at each interval (default 1)\n"
      "  --junk-sizes A,B,...  with every answer, datagrams of these sizes (0 to 65507)\n"
      "                        holding random Base64 characters\n"
      "  --junk-random N       with every answer, N datagrams of random bytes and sizes\n"
      "                        (the flood sends the junk datagrams too)\n"
      "\n"
      "TCP relay:\n"
      "  --no-tcp              do not open TCP port 6666\n"
      "  --tcp-fault F         close: accept and close at once; silent: accept and never\n"
      "                        answer; slow: answer one byte at a time; none (default)\n"
      "                        trickle: answer one byte a second; flood: the answer,\n"
      "                        then filler up to --tcp-flood-bytes in all; reset: half\n"
      "                        the answer, then a reset (SO_LINGER 0)\n"
      "  --slow-byte-ms N      pause between bytes of a slow answer (default 10)\n"
      "  --tcp-flood-bytes N   bytes a flood sends in all (default 10485760)\n"
      "\n"
      "HTTP relay (GET /device.get?DeviceType=X answers an HTML table):\n"
      "  --http                serve it\n"
      "  --http-port N         its port (default 80)\n"
      "  --http-no-items       answer a short \"No available items\" page\n"
      "  --http-delay-ms N     wait this long before answering\n"
      "  --http-endless        never end the body\n"
      "  --http-stall-after BYTES\n"
      "                        send only this many bytes of the page, then hold the\n"
      "                        connection open without a word\n"
      "  --http-padding BYTES  make the page this much larger\n"
      "  --http-redirect LOC   answer \"302 Found\" with Location LOC (a URL, or a path:\n"
      "                        /device.get?DeviceType=ALL redirects to itself)\n"
      "\n"
      "UPnP root devices (announced by SSDP, descriptions over HTTP):\n"
      "  --upnp-axis N, --upnp-vivotek N, --upnp-other N\n"
      "                        devices whose maker holds AXIS, Vivotek, or neither\n"
      "  --upnp-silent N       devices whose description is never served\n"
      "  --upnp-interface IF   the interface to announce on (required with devices,\n"
      "  --upnp-address A      or the address)\n"
      "  --upnp-hostile K,...  one more root device per kind, whose description is served\n"
      "                        by a server of its own: huge (an AXIS device padded to\n"
      "                        --upnp-huge-bytes, default 20000000), malformed (broken\n"
      "                        XML), slow (a byte every 100 ms, never done), stall\n"
      "                        (never answers), endless (a body that never ends, at\n"
      "                        full speed), entities (nested entities that expand to\n"
      "                        gigabytes), long (an AXIS device whose texts are 1,000\n"
      "                        characters, many above 127); a kind may come again\n"
      "  --upnp-mx-honour on|off  on (default): answer a search after a random time up\n"
      "                        to its MX; off: answer at once\n"
      "  --upnp-no-cache-control  answers and announcements without Cache-Control\n"
      "  --upnp-notify-only    answer no search; announce every device every 200 ms\n"
      "  --upnp-pretty         descriptions with blanks and line breaks around every text\n"
      "\n"
      "Control packages (flag 03) sent to UDP port 6666 re-address the device whose\n"
      "MAC they name: static addresses as given, or one from a DHCP pool of its own.\n";
}
