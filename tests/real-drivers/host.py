#!/usr/bin/env python3
"""Boots one guest and plays the far end of its two serial devices.

usage: host.py IMAGE_DIR PAYLOAD_TAR WORK_DIR LABEL

The guest's console (ttyS0) carries its report and its requests, lines that
begin with "@@"; each request gets one answer line:
  @@unplug / @@plug       the USB adapter out and in (monitor device_del/add)
  @@take usb|uart N       everything that arrived on that device since the
                          last take, once N bytes are there or after 5 s: "hex ..."
  @@send usb|uart HEX     bytes to the guest
  @@end STATUS            the guest's verdict; QEMU is then stopped
Exits with the guest's status, 1 if it ends without one or takes over 6 min.
"""
import os, select, signal, socket, subprocess, sys, time

# Ended by the stage (Ctrl+C, a time-out): QEMU is stopped on the way out.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

image, payload, work, label = sys.argv[1:5]
sock = {n: os.path.join(work, n + ".sock") for n in ("usb", "uart", "mon")}
qemu = subprocess.Popen([
    "qemu-system-x86_64", "-accel", "tcg", "-M", "pc", "-m", "1024", "-smp", "1",
    "-nodefaults", "-display", "none", "-no-reboot",
    "-kernel", os.path.join(image, "vmlinuz"), "-initrd", os.path.join(image, "initrd.img"),
    "-append", "console=ttyS0 quiet panic=-1",
    "-drive", "file=%s,format=raw,if=virtio,snapshot=on" % os.path.join(image, "root.img"),
    "-drive", "file=%s,format=raw,if=virtio,readonly=on" % payload,
    "-chardev", "stdio,id=con,signal=off", "-device", "isa-serial,chardev=con,index=0",
    "-chardev", "socket,id=s1,path=%s,server=on,wait=off" % sock["uart"],
    "-device", "isa-serial,chardev=s1,index=1",
    "-chardev", "socket,id=u1,path=%s,server=on,wait=off" % sock["usb"],
    "-device", "qemu-xhci,id=xhci", "-device", "usb-serial,id=usb0,bus=xhci.0,chardev=u1",
    "-monitor", "unix:%s,server=on,wait=off" % sock["mon"],
], stdin=subprocess.PIPE, stdout=subprocess.PIPE)


def connect(path):
    for _ in range(100):
        try:
            s = socket.socket(socket.AF_UNIX)
            s.connect(path)
            return s
        except OSError:
            time.sleep(0.05)
    raise SystemExit(label + ": QEMU did not open " + path)


# Connected before the guest runs: the adapter is plugged in once its far end is.
far = {n: connect(sock[n]) for n in ("usb", "uart")}
monitor = connect(sock["mon"])
got = {"usb": bytearray(), "uart": bytearray()}
said = bytearray()  # what the monitor said since the last command
begun = time.monotonic()
status, line, deadline = 1, b"", begun + 360


def pump(timeout):
    """Reads what is there: the far ends, the monitor, the console."""
    global line
    ready, _, _ = select.select([qemu.stdout, monitor] + list(far.values()), [], [], timeout)
    lines = []
    for r in ready:
        data = os.read(r.fileno(), 65536)
        if r is qemu.stdout:
            if not data:
                raise EOFError
            line += data
            *done, line = line.split(b"\n")
            lines += [d.rstrip(b"\r").decode("utf-8", "replace") for d in done]
        elif r is monitor:
            said.extend(data)
        else:
            got["usb" if r is far["usb"] else "uart"] += data
    return lines


def answer(text):
    qemu.stdin.write(text.encode() + b"\n")
    qemu.stdin.flush()


def hmp(command):
    """A monitor command and what it answered (up to its next prompt, at most 5 s)."""
    said.clear()
    monitor.sendall(command.encode() + b"\n")
    until = time.monotonic() + 5
    while b"(qemu)" not in said and time.monotonic() < until:
        pending.extend(pump(0.1))
    return said.decode("utf-8", "replace")


def settle(done):
    """Asks again until done(answer), at most 5 s: the unplug completes, the ID comes free."""
    until = time.monotonic() + 5
    while time.monotonic() < until:
        if done():
            return "ok"
        time.sleep(0.1)
    return "timeout"


def request(words):
    if words[0] == "unplug":
        hmp("device_del usb0")
        return settle(lambda: "usb0" not in hmp("info usb"))
    if words[0] == "plug":
        return settle(lambda: "rror" not in hmp("device_add usb-serial,id=usb0,bus=xhci.0,chardev=u1"))
    if words[0] == "take":
        until = time.monotonic() + 5
        while len(got[words[1]]) < int(words[2]) and time.monotonic() < until:
            pending.extend(pump(0.1))
        data, got[words[1]][:] = bytes(got[words[1]]), b""
        return "hex " + (data.hex() or "-")
    if words[0] == "send":
        far[words[1]].sendall(bytes.fromhex(words[2]))
        return "ok"
    return "unknown"


pending = []
try:
    while time.monotonic() < deadline:
        pending.extend(pump(1))
        while pending:
            text = pending.pop(0)
            if not text.startswith("@@"):
                print("%s %3ds %s" % (label, time.monotonic() - begun, text), flush=True)
                continue
            words = text[2:].split()
            if words and words[0] == "end":
                status = int(words[1])
                raise EOFError
            if words:
                answer(request(words))
    print(label + " the guest took over 6 minutes", flush=True)
except EOFError:
    pass
finally:
    qemu.kill()
    qemu.wait()
sys.exit(status)
