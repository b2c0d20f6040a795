"""The phone remote over real sockets against tonewarp-live on the demo
input: refusals (wrong code, malformed JSON, unknown control, out-of-range
value, a 1 MB message) that keep the connection, 100 clients at once, a
client that stops reading and one that vanishes mid-message, while the audio
runs on with no xrun. Prints the meters' update rate.

Usage: remote_protocol_test.py TONEWARP_LIVE"""
import asyncio
import json
import socket
import sys
import time
import urllib.request

import websockets

from live_remote import LiveRemote


async def recv_type(ws, kind, timeout=3.0):
    """The next message of type `kind` (others are skipped)."""
    end = time.time() + timeout
    while True:
        m = json.loads(await asyncio.wait_for(ws.recv(), max(0.01, end - time.time())))
        if m["type"] == kind:
            return m


async def refusal(ws, message):
    await ws.send(message if isinstance(message, str) else json.dumps(message))
    return (await recv_type(ws, "error"))["message"]


def check(cond, what):
    if not cond:
        raise AssertionError(what)


async def refusals(live):
    async with websockets.connect(live.ws_url, max_size=None) as ws:
        check((await recv_type(ws, "hello"))["paired"] is False, "hello")
        e = await refusal(ws, {"type": "key", "key": 3})
        check(e.startswith("Pair first"), e)
        e = await refusal(ws, {"type": "pair", "code": "1" if live.code != "1" else "2"})
        check(e.startswith("Wrong pairing code"), e)
        e = await refusal(ws, '{"type":"pair",')
        check("not JSON" in e, e)
        e = await refusal(ws, "x" * (1 << 20))
        check("too long (1048576 bytes" in e, e)
        await ws.send(json.dumps({"type": "pair", "code": live.code}))
        await recv_type(ws, "paired")
        state = await recv_type(ws, "state")
        check(len(state["rows"]) == 16 and state["keys"][2], "state %r" % state)
        e = await refusal(ws, {"type": "set", "row": 3, "control": "ScrollBar_Nope", "value": 1})
        check("has no control ScrollBar_Nope" in e, e)
        await ws.send(json.dumps({"type": "key", "key": 3}))
        live.wait_line(r"remote: F3 -> F3 ")
        await ws.send(json.dumps({"type": "open", "row": 3}))
        opened = None
        while not opened:
            s = await recv_type(ws, "state")
            opened = s.get("open")
        bar = next(c for c in opened["controls"] if c["type"] == "bar")
        e = await refusal(ws, {"type": "set", "row": 3, "control": bar["name"], "value": bar["max"] + 1})
        check("is outside" in e, e)
        e = await refusal(ws, "y" * (1 << 20))  # still connected, still refused
        check("too long" in e, e)
        await ws.send(json.dumps({"type": "set", "row": 3, "control": bar["name"], "value": bar["min"]}))
        while True:
            s = await recv_type(ws, "state")
            c = next(c for c in s["open"]["controls"] if c["name"] == bar["name"])
            if c["value"] == bar["min"]:
                break
        # Meters: count them over two seconds.
        start, n = time.time(), 0
        while time.time() - start < 2.0:
            await recv_type(ws, "meters")
            n += 1
        rate = n / (time.time() - start)
        print("meters: %.1f updates/s" % rate)
        check(rate >= 10, "meters at %.1f/s" % rate)


async def hundred_clients(live):
    async def one(i):
        try:
            async with websockets.connect(live.ws_url, open_timeout=10) as ws:
                first = json.loads(await asyncio.wait_for(ws.recv(), 10))
                if first["type"] == "hello":
                    await asyncio.sleep(3.0)  # hold the place while the others arrive
                    return "hello"
                return first["message"]
        except websockets.ConnectionClosed:
            return "closed"
    results = await asyncio.gather(*(one(i) for i in range(100)))
    hellos = results.count("hello")
    refused = sum(1 for r in results if r.startswith("Too many remotes"))
    print("100 clients: %d served, %d refused" % (hellos, refused))
    check(hellos == 16 and refused == 84, "results %r" % results)


def raw_upgrade(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
    return s


def masked_text_frame(payload, declared=None):
    n = len(payload) if declared is None else declared
    head = bytes([0x81])
    head += bytes([0x80 | 127]) + n.to_bytes(8, "big") if n > 125 else bytes([0x80 | n])
    mask = b"\x01\x02\x03\x04"
    return head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


async def slow_and_vanishing(live):
    # One pairs and then never reads; its receive buffer stays tiny.
    stuck = socket.socket()
    stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    stuck.connect(("127.0.0.1", live.port))
    stuck.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
    stuck.sendall(masked_text_frame(json.dumps({"type": "pair", "code": live.code}).encode()))
    for _ in range(30):  # asks for the state over and over, never reads it
        stuck.sendall(masked_text_frame(b'{"type":"open","row":3}'))
    # Others vanish mid-message: a frame announcing 100 kB, 10 bytes sent, gone.
    for _ in range(5):
        s = raw_upgrade(live.port)
        s.sendall(masked_text_frame(b"0123456789", declared=100000))
        s.close()
    # A page request by a name outside html/remote is not found.
    r = raw = socket.create_connection(("127.0.0.1", live.port))
    raw.sendall(b"GET /../face.ini HTTP/1.1\r\nHost: x\r\n\r\n")
    reply = raw.recv(200)
    raw.close()
    check(b" 404 " in reply.split(b"\r\n")[0], "reply %r" % reply)
    # Meanwhile a good client still gets its meters on time and can act.
    async with websockets.connect(live.ws_url) as ws:
        await recv_type(ws, "hello")
        await ws.send(json.dumps({"type": "pair", "code": live.code}))
        await recv_type(ws, "paired")
        start, n = time.time(), 0
        while time.time() - start < 2.0:
            await recv_type(ws, "meters")
            n += 1
        check(n >= 20, "%d meters in 2 s beside a stuck client" % n)
        await ws.send(json.dumps({"type": "row", "row": 1, "on": False}))
        live.wait_line(r"remote: row 1 off")
    stuck.close()


def main():
    live = LiveRemote(sys.argv[1], seconds=60)
    try:
        # An HTTP request for the page.
        with urllib.request.urlopen(live.url, timeout=5) as r:
            check(r.status == 200 and b"connection lost, retrying" in r.read(), "page")
        asyncio.run(refusals(live))
        asyncio.run(hundred_clients(live))
        asyncio.run(slow_and_vanishing(live))
        time.sleep(1.2)  # one more status line
        check(live.alive(), "tonewarp-live ended:\n" + live.output())
        x = live.xruns()
        check(x == 0, "xruns %r:\n%s" % (x, live.output()))
    finally:
        code = live.stop()
    check(code == 0, "exit %d:\n%s" % (code, live.output()))
    check("Stopped." in live.output(), live.output())
    print("remote protocol: all passed")


if __name__ == "__main__":
    main()
