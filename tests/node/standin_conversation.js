// node-simconnect, an independent SimConnect client, talks to our stand-in
// simulator through a recording proxy: open with protocol 5 and 6, subscribe, define
// data, create a non-ATC AI aircraft, move it, request data by type, remove it.
// The stand-in's log and dump must show exactly what was asked, every reply must
// parse with the values the stand-in sent, and every reply packet must have the size
// of its kind.
//   node standin_conversation.js PATH/TO/simstandin
'use strict';
const assert = require('node:assert/strict');
const net = require('node:net');
const { spawn } = require('node:child_process');
const sc = require('node-simconnect');

const standIn = process.argv[2];
if (!standIn) throw new Error('usage: node standin_conversation.js PATH/TO/simstandin');

const TITLE = 'Airbus A320 Neo Lufthansa';
const TAIL = 'D-AINA';

// The size of each reply kind: its 12-byte header and its fields.
const replySizes = {
  [sc.RecvID.ID_EXCEPTION]: 12 + 12,
  [sc.RecvID.ID_OPEN]: 12 + 256 + 40,
  [sc.RecvID.ID_QUIT]: 12,
  [sc.RecvID.ID_EVENT]: 12 + 12,
  [sc.RecvID.ID_EVENT_OBJECT_ADDREMOVE]: 12 + 16,
  [sc.RecvID.ID_ASSIGNED_OBJECT_ID]: 12 + 8,
};
const dataHeader = 12 + 28;

function startStandIn() {
  return new Promise((resolve, reject) => {
    const child = spawn(standIn, ['--port', '0', '--control-port', '0', '--title', TITLE], { stdio: ['ignore', 'pipe', 'inherit'] });
    let text = '';
    child.stdout.on('data', chunk => {
      text += chunk;
      const m = /simconnect port (\d+), control port (\d+)/.exec(text);
      if (m) resolve({ child, simPort: Number(m[1]), controlPort: Number(m[2]) });
    });
    child.on('exit', code => reject(new Error(`simstandin ended with ${code}`)));
  });
}

function control(port, request) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    let text = '';
    socket.on('connect', () => socket.write(JSON.stringify(request) + '\n'));
    socket.on('data', c => {
      text += c;
      if (text.includes('\n')) { socket.end(); resolve(JSON.parse(text.slice(0, text.indexOf('\n')))); }
    });
    socket.on('error', reject);
  });
}

// Passes bytes both ways and splits the replies into packets, checking each size.
function proxy(target) {
  return new Promise(resolve => {
    const seen = { replies: [], problems: [] };
    const server = net.createServer(client => {
      const sim = net.connect(target, '127.0.0.1');
      let pending = Buffer.alloc(0);
      client.on('data', c => sim.write(c));
      sim.on('data', c => {
        client.write(c);
        pending = Buffer.concat([pending, c]);
        while (pending.length >= 12) {
          const size = pending.readUInt32LE(0);
          if (size < 12) { seen.problems.push(`reply of size ${size}`); pending = Buffer.alloc(0); break; }
          if (pending.length < size) break;
          const id = pending.readUInt32LE(8);
          seen.replies.push({ id, size, protocol: pending.readUInt32LE(4) });
          const want = replySizes[id];
          if (id === sc.RecvID.ID_SIMOBJECT_DATA || id === sc.RecvID.ID_SIMOBJECT_DATA_BYTYPE) {
            if (size < dataHeader) seen.problems.push(`data reply of ${size} bytes`);
          } else if (want === undefined || want !== size) {
            seen.problems.push(`reply ${id} of ${size} bytes (its kind has ${want})`);
          }
          pending = pending.subarray(size);
        }
      });
      const end = () => { client.destroy(); sim.destroy(); };
      client.on('close', end); sim.on('close', end);
      client.on('error', end); sim.on('error', end);
    });
    server.listen(0, '127.0.0.1', () => resolve({ port: server.address().port, seen, server }));
  });
}

function next(emitter, event, accept = () => true, ms = 5000) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no ${event} within ${ms} ms`)), ms);
    const on = value => {
      if (!accept(value)) return;
      clearTimeout(timer);
      emitter.off(event, on);
      resolve(value);
    };
    emitter.on(event, on);
  });
}

async function conversation(protocol, sim, via) {
  const before = (await control(sim.controlPort, { cmd: 'log' })).next_seq;
  const { recvOpen, handle } = await sc.open('NodeCheck', protocol, { host: '127.0.0.1', port: via.port });
  const exceptions = [];
  handle.on('exception', e => exceptions.push(e));
  assert.equal(recvOpen.applicationName, 'SunRise');
  assert.deepEqual([recvOpen.simConnectVersionMajor, recvOpen.simConnectBuildMajor],
                   protocol === 5 ? [11, 62651] : [12, 282174]);

  handle.subscribeToSystemEvent(1, 'ObjectAdded');
  handle.subscribeToSystemEvent(2, 'ObjectRemoved');
  const DEF = 7;
  handle.addToDataDefinition(DEF, 'PLANE LATITUDE', 'degrees', sc.SimConnectDataType.FLOAT64, 0);
  handle.addToDataDefinition(DEF, 'PLANE LONGITUDE', 'degrees', sc.SimConnectDataType.FLOAT64, 0);
  handle.addToDataDefinition(DEF, 'PLANE ALTITUDE', 'feet', sc.SimConnectDataType.FLOAT64, 0);
  handle.addToDataDefinition(DEF, 'ATC ID', null, sc.SimConnectDataType.STRING32, 0);

  const added = next(handle, 'eventAddRemove', e => e.clientEventId === 1);
  const assigned = next(handle, 'assignedObjectID', e => e.requestID === 77);
  const position = Object.assign(new sc.InitPosition(), { latitude: 0.05, longitude: 0.06, altitude: 3000,
                                                            heading: 250, onGround: false, airspeed: 180 });
  handle.aICreateNonATCAircraft(TITLE, TAIL, position, 77);
  const id = (await assigned).objectID;
  assert.equal((await added).data, id);

  const move = new sc.RawBuffer(24);
  [0.1, 0.2, 4000.5].forEach(v => move.writeFloat64(v));
  const MOVE = 8;
  handle.addToDataDefinition(MOVE, 'PLANE LATITUDE', 'degrees', sc.SimConnectDataType.FLOAT64, 0);
  handle.addToDataDefinition(MOVE, 'PLANE LONGITUDE', 'degrees', sc.SimConnectDataType.FLOAT64, 0);
  handle.addToDataDefinition(MOVE, 'PLANE ALTITUDE', 'feet', sc.SimConnectDataType.FLOAT64, 0);
  handle.setDataOnSimObject(MOVE, id, { tagged: false, arrayCount: 0, buffer: move });

  const replies = [];
  let outOf = 0;
  const all = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('no data by type')), 5000);
    handle.on('simObjectDataByType', d => {
      if (d.requestID !== 88) return;
      replies.push({ object: d.objectID, entry: d.entryNumber, lat: d.data.readFloat64(), lon: d.data.readFloat64(),
                     alt: d.data.readFloat64(), atc: d.data.readString32(), left: d.data.remaining() });
      outOf = d.outOf;
      if (replies.length === outOf) { clearTimeout(timer); resolve(); }
    });
  });
  handle.requestDataOnSimObjectType(88, DEF, 200000, sc.SimObjectType.AIRCRAFT);
  await all;
  const ai = replies.find(r => r.object === id);
  assert.ok(ai, 'the AI aircraft is among the replies');
  assert.deepEqual({ lat: ai.lat, lon: ai.lon, alt: ai.alt, atc: ai.atc, left: ai.left },
                   { lat: 0.1, lon: 0.2, alt: 4000.5, atc: TAIL, left: 0 });
  assert.deepEqual(replies.map(r => r.entry).sort(), [...Array(outOf).keys()].map(i => i + 1));

  const objects = (await control(sim.controlPort, { cmd: 'objects', ai_only: true })).objects;
  assert.equal(objects.length, 1);
  assert.deepEqual([objects[0].id, objects[0].title, objects[0].atc_id, objects[0].lat, objects[0].lon, objects[0].alt_ft],
                   [id, TITLE, TAIL, 0.1, 0.2, 4000.5]);

  const removed = next(handle, 'eventAddRemove', e => e.clientEventId === 2);
  handle.aIRemoveObject(id, 99);
  assert.equal((await removed).data, id);
  assert.deepEqual(exceptions, []);

  // Only this connection's calls: the previous one may still be hanging up.
  const since = (await control(sim.controlPort, { cmd: 'log', since: before })).entries;
  const client = since.find(e => e.call === 'SimConnect_Open' && e.name === 'NodeCheck').client;
  const log = since.filter(e => e.client === client);
  const calls = log.map(e => e.call);
  assert.deepEqual(calls, ['SimConnect_Open', 'SimConnect_SubscribeToSystemEvent', 'SimConnect_SubscribeToSystemEvent',
                           ...Array(4).fill('SimConnect_AddToDataDefinition'), 'SimConnect_AICreateNonATCAircraft',
                           ...Array(3).fill('SimConnect_AddToDataDefinition'), 'SimConnect_SetDataOnSimObject',
                           'SimConnect_RequestDataOnSimObjectType', 'SimConnect_AIRemoveObject']);
  const [open, , , , , , atc, create, , , , set, byType, remove] = log;
  assert.deepEqual([open.name, open.protocol], ['NodeCheck', protocol]);
  assert.deepEqual([atc.datum, atc.units, atc.type], ['ATC ID', '', sc.SimConnectDataType.STRING32]);
  assert.deepEqual([create.title, create.tail_number, create.lat, create.lon, create.alt_ft, create.heading_deg,
                    create.on_ground, create.airspeed_kt, create.request_id],
                   [TITLE, TAIL, 0.05, 0.06, 3000, 250, 0, 180, 77]);
  assert.deepEqual([set.define_id, set.object_id, set.array_count, set.unit_size], [MOVE, id, 1, 24]);
  assert.deepEqual([byType.request_id, byType.define_id, byType.radius_m, byType.object_type], [88, DEF, 200000, 2]);
  assert.deepEqual([remove.object_id, remove.request_id], [id, 99]);
  log.forEach((e, i) => assert.equal(e.packet, i, `node-simconnect's send ids count from 0 (${e.call})`));
  handle.close();
  // Closing the socket is the protocol's Close: the stand-in logs it.
  for (let i = 0; ; ++i) {
    const closes = (await control(sim.controlPort, { cmd: 'log', call: 'SimConnect_Close', since: before })).entries;
    if (closes.some(e => e.client === client)) break;
    assert.ok(i < 500, 'the stand-in saw the connection end');
    await new Promise(r => setTimeout(r, 10));
  }
  return outOf;
}

async function main() {
  const sim = await startStandIn();
  const via = await proxy(sim.simPort);
  try {
    for (const protocol of [sc.Protocol.KittyHawk, sc.Protocol.SunRise]) {
      via.seen.replies.length = 0;
      const byType = await conversation(protocol, sim, via);
      assert.deepEqual(via.seen.problems, []);
      const R = sc.RecvID;
      assert.deepEqual(via.seen.replies.map(r => r.id).sort((a, b) => a - b),
                       [R.ID_OPEN, R.ID_EVENT_OBJECT_ADDREMOVE, R.ID_EVENT_OBJECT_ADDREMOVE,
                        ...Array(byType).fill(R.ID_SIMOBJECT_DATA_BYTYPE), R.ID_ASSIGNED_OBJECT_ID]);
      assert.ok(via.seen.replies.every(r => r.protocol === protocol), 'replies carry the protocol of Open');
      console.log(`protocol ${protocol}: ${via.seen.replies.length} replies, each of its kind's size`);
    }
  } finally {
    via.server.close();
    sim.child.kill('SIGTERM');
  }
}

main().catch(error => { console.error(error); process.exit(1); });
