// Our SimConnect client and node-simconnect make the same calls with the same
// arguments; a recording server on a loopback port takes the packets of both, and
// they must be the same bytes (send ids aside: each client counts its own).
//   node compare_bytes.js PATH/TO/clv_simconnect_calls
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { execFile } = require('node:child_process');
const sc = require('node-simconnect');

const ourClient = process.argv[2] && path.resolve(process.argv[2]);
if (!ourClient) throw new Error('usage: node compare_bytes.js PATH/TO/clv_simconnect_calls');

const position = { latitude: 50.0379, longitude: 8.5622, altitude: 364.5, pitch: -0.5, bank: 1.25, heading: 251.5,
                   onGround: true, airspeed: 0 };
// Every call the program makes, with arguments that fill each field.
const calls = [
  { fn: 'SubscribeToSystemEvent', args: [201, 'ObjectAdded'] },
  { fn: 'AddToDataDefinition', args: [401, 'PLANE LATITUDE', 'degrees', 4, 0.25, 7] },
  { fn: 'AddToDataDefinition', args: [404, 'ATC ID', null, 6, 0, 0xffffffff] },
  { fn: 'MapClientEventToSimEvent', args: [206, 'BEACON_LIGHTS_SET'] },
  { fn: 'AddClientEventToNotificationGroup', args: [301, 206, true] },
  { fn: 'AddClientEventToNotificationGroup', args: [301, 207, false] },
  { fn: 'SetNotificationGroupPriority', args: [301, 1] },
  { fn: 'RequestDataOnSimObject', args: [108, 409, 0, 4, 1, 2, 3, 4] },
  { fn: 'RequestDataOnSimObjectType', args: [101, 404, 20000, 2] },
  { fn: 'SetDataOnSimObject', args: [402, 1001, 0, [50.25, 8.5, 1234.5, -1, 2, 271]] },
  { fn: 'SetDataOnSimObject', args: [402, 1002, 1, [51, 9, 0]] },
  { fn: 'TransmitClientEvent', args: [1001, 206, 1, 301, 16] },
  { fn: 'AICreateNonATCAircraft', args: ['Airbus A320 Neo Lufthansa', 'D-AINA', position, 104] },
  { fn: 'AICreateNonATCAircraft', args: ['A'.repeat(255), 'N'.repeat(11), { ...position, onGround: false, airspeed: 140 }, 105] },
  { fn: 'AIReleaseControl', args: [1001, 103] },
  { fn: 'AIRemoveObject', args: [1001, 105] },
  { fn: 'AISetAircraftFlightPlan', args: [1001, 'C:\\Users\\sim\\flightplans\\1001.pln', 110] },
];

function nodeCall(handle, { fn, args }) {
  switch (fn) {
    case 'SubscribeToSystemEvent': return handle.subscribeToSystemEvent(...args);
    case 'AddToDataDefinition': return handle.addToDataDefinition(args[0], args[1], args[2], args[3], args[4], args[5]);
    case 'MapClientEventToSimEvent': return handle.mapClientEventToSimEvent(...args);
    case 'AddClientEventToNotificationGroup': return handle.addClientEventToNotificationGroup(...args);
    case 'SetNotificationGroupPriority': return handle.setNotificationGroupPriority(...args);
    case 'RequestDataOnSimObject': return handle.requestDataOnSimObject(...args);
    case 'RequestDataOnSimObjectType': return handle.requestDataOnSimObjectType(...args);
    case 'SetDataOnSimObject': {
      const [define, object, count, values] = args;
      const buffer = new sc.RawBuffer(values.length * 8);
      values.forEach(v => buffer.writeFloat64(v));
      return handle.setDataOnSimObject(define, object, { tagged: false, arrayCount: count, buffer });
    }
    case 'TransmitClientEvent': return handle.transmitClientEvent(...args);
    case 'AICreateNonATCAircraft': {
      const [title, tail, p, request] = args;
      return handle.aICreateNonATCAircraft(title, tail, Object.assign(new sc.InitPosition(), p), request);
    }
    case 'AIReleaseControl': return handle.aIReleaseControl(...args);
    case 'AIRemoveObject': return handle.aIRemoveObject(...args);
    case 'AISetAircraftFlightPlan': return handle.aISetAircraftFlightPlan(...args);
    default: throw new Error(`unknown call ${fn}`);
  }
}

// Listens on a free loopback port and hands over every byte one connection sends.
function recordingServer() {
  return new Promise(resolve => {
    let done;
    const bytes = new Promise(r => { done = r; });
    const server = net.createServer(socket => {
      const chunks = [];
      socket.on('data', c => { chunks.push(c); server.received += c.length; });
      socket.on('close', () => { server.close(); done(Buffer.concat(chunks)); });
      socket.on('error', () => {});
      server.socket = socket;
    });
    server.received = 0;
    server.listen(0, '127.0.0.1', () => resolve({ port: server.address().port, bytes, server }));
  });
}

// Splits a call stream into packets by their size fields, keeping every bound.
function packets(buffer) {
  const out = [];
  let pos = 0;
  while (pos < buffer.length) {
    assert.ok(buffer.length - pos >= 16, `a cut header at ${pos}`);
    const size = buffer.readUInt32LE(pos);
    assert.ok(size >= 16 && pos + size <= buffer.length, `a packet of size ${size} at ${pos}`);
    out.push(buffer.subarray(pos, pos + size));
    pos += size;
  }
  return out;
}

function withoutSendId(packet) {
  const copy = Buffer.from(packet);
  copy.writeUInt32LE(0, 12);
  return copy;
}

async function ours(protocol, folder) {
  const recorder = await recordingServer();
  const callsFile = path.join(folder, `calls${protocol}.json`);
  fs.writeFileSync(callsFile, JSON.stringify({ protocol, name: 'Calvorinth', calls }));
  await new Promise((resolve, reject) => {
    execFile(ourClient, [callsFile], { env: { ...process.env, CLV_SIMCONNECT_PORT: String(recorder.port) }, cwd: folder },
             (error, stdout, stderr) => (error ? reject(new Error(`${error.message}\n${stderr}`)) : resolve()));
  });
  return packets(await recorder.bytes);
}

async function theirs(protocol, expectedBytes) {
  const recorder = await recordingServer();
  const connection = new sc.SimConnectConnection('Calvorinth', protocol);
  connection.on('error', () => {});
  await new Promise(resolve => {
    connection.once('connect', resolve);
    connection._clientSocket.once('connect', resolve);
    connection.connect({ host: '127.0.0.1', port: recorder.port });
  });
  for (const call of calls) nodeCall(connection, call);
  // Its writes pass a stream first: close once as many bytes as ours have come (or
  // after a while, and the comparison shows what is missing).
  for (let i = 0; i < 1000 && recorder.server.received < expectedBytes; ++i) await new Promise(r => setTimeout(r, 10));
  connection.close();
  return packets(await recorder.bytes);
}

async function main() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'clv-bytes-'));
  try {
    for (const protocol of [sc.Protocol.KittyHawk, sc.Protocol.SunRise]) {
      const a = await ours(protocol, folder);
      const b = await theirs(protocol, a.reduce((sum, p) => sum + p.length, 0));
      const names = ['Open', ...calls.map(c => c.fn)];
      assert.equal(a.length, names.length, `protocol ${protocol}: our packets`);
      assert.equal(b.length, names.length, `protocol ${protocol}: node-simconnect's packets`);
      for (let i = 0; i < names.length; ++i) {
        assert.equal(a[i].readUInt32LE(12), i + 1, `protocol ${protocol}: our send ids count from 1`);
        assert.deepEqual(withoutSendId(a[i]), withoutSendId(b[i]),
                         `protocol ${protocol}, packet ${i} (${names[i]}): the bytes differ`);
      }
      console.log(`protocol ${protocol}: ${names.length} packets alike: ${[...new Set(names)].join(', ')}`);
    }
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch(error => { console.error(error); process.exit(1); });
