// Runs one third-party ONVIF discovery client and prints the endpoint of
// every device it found, one "found URN XADDRS" line each, then "done N".
// usage: node probe.js onvif|node-onvif [TIMEOUT_MS]
'use strict';

const client = process.argv[2];
const timeout = Number(process.argv[3] || 3000);

function print(list) {
  for (const d of list) console.log('found ' + d.urn + ' ' + d.xaddrs);
  console.log('done ' + list.length);
}

if (client === 'onvif') {
  const { Discovery } = require('onvif');
  // Malformed answers come as 'error' events; an emitter without a listener
  // would throw them.
  Discovery.on('error', (e) => console.log('error ' + String(e).split('\n')[0]));
  Discovery.probe({ timeout, resolve: false }, (err, found) => {
    print((found || []).map((d) => {
      const m = d.probeMatches.probeMatch;
      return { urn: m.endpointReference.address, xaddrs: m.XAddrs };
    }));
  });
} else if (client === 'node-onvif') {
  const onvif = require('node-onvif');
  onvif.startProbe().then((list) => print(list.map((d) => ({ urn: d.urn, xaddrs: d.xaddrs.join(' ') }))))
      .catch((e) => { console.log('error ' + e); process.exit(1); });
} else {
  console.error('usage: node probe.js onvif|node-onvif [TIMEOUT_MS]');
  process.exit(2);
}
