// A root device's description document as real devices write it: parsed the
// way GUPnP parses descriptions, with the white space that pretty-printing
// puts around texts taken off, and the parts the finder needs found in it.
#pragma once

#include <glib.h>
#include <libxml/tree.h>

#include <string>
#include <string_view>

// Parses `body` without network access, recovering from errors as far as
// libxml2 can (as GUPnP does), then trims every element's text (see
// TrimElementTexts). Null when nothing could be parsed. `url` names the
// document in libxml2's messages. The caller owns the result (xmlFreeDoc, or
// hand it to a GUPnPXMLDoc).
xmlDoc* ParseDescription(std::string_view body, const std::string& url);

// Takes the white space (blanks, tabs, line breaks) off both ends of the text
// of every element under `node` that holds no element of its own, so that
// "<presentationURL>\n  http://10.0.0.5:1024/\n</presentationURL>" reads
// "http://10.0.0.5:1024/". Comments are stepped over; entity references stop
// the trimming at their side (they are never expanded here). Texts inside are
// left as they are.
void TrimElementTexts(xmlNode* node);

// The <device> element whose <UDN> is `udn` exactly: the root device or one
// embedded at any depth (element names compared without their namespace, as
// GUPnP does). Null when the document has no <root> or no such device.
xmlNode* FindDescribedDevice(xmlDoc* doc, std::string_view udn);

// The base of the description's relative URLs: <URLBase> when it has one
// (itself read relative to `location`, the address the description came
// from), else `location`. Null when neither is a usable URL. The caller owns
// the result (g_uri_unref).
GUri* DescriptionUrlBase(xmlDoc* doc, const std::string& location);
