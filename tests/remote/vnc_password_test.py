#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The remote screen of scripts/remote_screen.sh admits only clients that know its password.

Runs the script with the real program the way run.sh does where no display is reachable, and
speaks the RFB handshake to the VNC server it starts: security type None is neither offered nor
accepted, a wrong password is refused, the password from the file (private to the user) gets
in and sees the virtual screen. Also: the port in use is skipped and the one taken is printed,
the virtual X server itself wants a cookie, and every way of ending the script (SIGTERM, Ctrl+C,
the program closing) leaves no process, password or directory behind. The program runs on a
session bus that the script starts for it, as no caller's bus is given; the program's output
is judged by the test command's rule for sanitizer reports (scripts/sanitizer_check.sh).

Every process runs on this machine's loopback address or unix sockets; every wait has a
deadline; whatever the test started is stopped on any failure.
"""

import argparse
import os
import random
import re
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import time

PASSWORD_ALPHABET = "abcdefghijkmnpqrstuvwxyz23456789"
SCREEN_SIZE = (1024, 768)
# Where the first ports given to the script come from: away from 5900 and from the kernel's
# range for outgoing connections (32768 and up), chosen at random so that copies of this test
# that run at the same time do not meet.
PORT_RANGE = (20000, 29800)
START_SECONDS = 60   # for the virtual screen and the VNC server to be up
STOP_SECONDS = 30    # for the script to end and clean up once asked to
IO_SECONDS = 15      # for one answer of the VNC server
# Far fewer pixels than the program's window has, far more than the mouse pointer.
WINDOW_PIXELS = 200 * 100


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(f"[remote] {message}", flush=True)


# ---------------------------------------------------------------------------------------------
# DES, encryption of one block, as VNC authentication uses it (FIPS 46-3 tables).

_IP = [58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
       62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
       57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
       61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7]
_FP = [40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
       38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
       36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
       34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9, 49, 17, 57, 25]
_E = [32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
      16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1]
_P = [16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
      2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25]
_PC1 = [57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27, 19, 11, 3,
        60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22, 14, 6,
        61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4]
_PC2 = [14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
        41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32]
_SHIFTS = [1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1]
_S = [
    [14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13],
    [15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9],
    [10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12],
    [7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14],
    [2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3],
    [12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13],
    [4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12],
    [13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11],
]


def _bits(data):
    return [(byte >> (7 - i)) & 1 for byte in data for i in range(8)]


def _bytes(bits):
    return bytes(sum(bit << (7 - i) for i, bit in enumerate(bits[n:n + 8])) for n in range(0, len(bits), 8))


def _permute(bits, table):
    return [bits[i - 1] for i in table]


def des_encrypt_block(key, block):
    """DES of one 8-byte block under an 8-byte key."""
    assert len(key) == 8 and len(block) == 8
    cd = _permute(_bits(key), _PC1)
    c, d = cd[:28], cd[28:]
    subkeys = []
    for shift in _SHIFTS:
        c, d = c[shift:] + c[:shift], d[shift:] + d[:shift]
        subkeys.append(_permute(c + d, _PC2))
    lr = _permute(_bits(block), _IP)
    left, right = lr[:32], lr[32:]
    for subkey in subkeys:
        mixed = [a ^ b for a, b in zip(_permute(right, _E), subkey)]
        out = []
        for box in range(8):
            six = mixed[6 * box:6 * box + 6]
            value = _S[box][(six[0] << 5 | six[5] << 4) | (six[1] << 3 | six[2] << 2 | six[3] << 1 | six[4])]
            out += [(value >> (3 - i)) & 1 for i in range(4)]
        left, right = right, [a ^ b for a, b in zip(left, _permute(out, _P))]
    return _bytes(_permute(right + left, _FP))


def vnc_response(password, challenge):
    """The answer of VNC authentication: the 16-byte challenge in DES-ECB under a key made of the
    password's first 8 bytes, padded with zero bytes, with the bits of each byte reversed."""
    key = bytes(int(f"{byte:08b}"[::-1], 2) for byte in password.encode().ljust(8, b"\0")[:8])
    return des_encrypt_block(key, challenge[:8]) + des_encrypt_block(key, challenge[8:16])


def check_des():
    """Known answers, so that a broken cipher fails here and not as a refused password."""
    cases = [  # key, plaintext, ciphertext
        ("133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"),
        ("0E329232EA6D0D73", "8787878787878787", "0000000000000000"),
        ("0101010101010101", "8000000000000000", "95F8A5E5DD31D900"),
    ]
    for key, plain, cipher in cases:
        got = des_encrypt_block(bytes.fromhex(key), bytes.fromhex(plain)).hex().upper()
        check(got == cipher, f"DES self-check: key {key}, block {plain} gave {got}, not {cipher}")


# ---------------------------------------------------------------------------------------------
# The RFB handshake.

class Closed(Exception):
    pass


def recv_exact(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise Closed(f"connection closed after {len(data)} of {count} bytes")
        data += chunk
    return data


def rfb_connect(port, version):
    """Opens a connection, agrees on `version` and returns (socket, offered security types).
    RFB 3.3 has the server pick the type: the list then holds just that one."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=IO_SECONDS)
    server_version = recv_exact(sock, 12)
    check(re.fullmatch(rb"RFB 003\.00[3-8]\n", server_version),
          f"not an RFB server version: {server_version!r}")
    sock.sendall(version)
    if version == b"RFB 003.003\n":
        (chosen,) = struct.unpack(">I", recv_exact(sock, 4))
        check(chosen != 0, "the server refused an RFB 3.3 client outright")
        return sock, [chosen]
    (count,) = struct.unpack(">B", recv_exact(sock, 1))
    check(count > 0, "the server offered no security type")
    return sock, list(recv_exact(sock, count))


def security_result(sock):
    """SecurityResult: 0 for accepted; None when the server closed the connection instead."""
    try:
        (result,) = struct.unpack(">I", recv_exact(sock, 4))
        return result
    except Closed:
        return None


def vnc_authenticate(port, password):
    """RFB 3.8 with VNC authentication; returns (socket, SecurityResult)."""
    sock, types = rfb_connect(port, b"RFB 003.008\n")
    check(2 in types, f"VNC authentication not offered: {types}")
    sock.sendall(b"\x02")
    challenge = recv_exact(sock, 16)
    sock.sendall(vnc_response(password, challenge))
    return sock, security_result(sock)


def check_vnc_server(port, password):
    # What is offered, to clients of every protocol version x11vnc speaks.
    for version in (b"RFB 003.008\n", b"RFB 003.007\n", b"RFB 003.003\n"):
        sock, types = rfb_connect(port, version)
        sock.close()
        check(1 not in types, f"security type None offered to {version!r}: {types}")
        check(2 in types, f"VNC authentication not offered to {version!r}: {types}")

    # A client that asks for None all the same.
    sock, _ = rfb_connect(port, b"RFB 003.008\n")
    sock.sendall(b"\x01")
    result = security_result(sock)
    sock.close()
    check(result != 0, "a client that chose security type None was let in")

    # Wrong passwords, each one character off: every one of the 8 characters counts.
    for position in (0, 7):
        other = PASSWORD_ALPHABET[(PASSWORD_ALPHABET.index(password[position]) + 1) % 32]
        wrong = password[:position] + other + password[position + 1:]
        sock, result = vnc_authenticate(port, wrong)
        sock.close()
        check(result == 1, f"password {wrong!r} (the right one is {password!r}) gave SecurityResult {result}")

    # The right one, and the virtual screen behind it.
    sock, result = vnc_authenticate(port, password)
    check(result == 0, f"the right password gave SecurityResult {result}")
    sock.sendall(b"\x01")  # ClientInit, shared
    width, height = struct.unpack(">HH", recv_exact(sock, 4))
    bits_per_pixel = recv_exact(sock, 16)[0]  # the pixel format begins with it
    (name_length,) = struct.unpack(">I", recv_exact(sock, 4))
    recv_exact(sock, name_length)
    check((width, height) == SCREEN_SIZE, f"the shared screen is {width}x{height}, not {SCREEN_SIZE}")
    check(bits_per_pixel == 32, f"the server sends {bits_per_pixel} bits per pixel, not 32")
    # The screen starts black but for the mouse pointer; the program's window on it is not.
    wait_for(START_SECONDS, "the program's window on the shared screen",
             lambda: lit_pixels(sock, width, height) >= WINDOW_PIXELS)
    sock.close()


def lit_pixels(sock, width, height):
    """Asks for the whole screen in raw encoding, 32 bits a pixel; returns how many pixels of it
    are not black."""
    sock.sendall(struct.pack(">BxHi", 2, 1, 0))  # SetEncodings: raw only
    sock.sendall(struct.pack(">BBHHHH", 3, 0, 0, 0, width, height))  # FramebufferUpdateRequest
    while True:
        (kind,) = recv_exact(sock, 1)
        if kind == 0:  # FramebufferUpdate
            (rectangles,) = struct.unpack(">xH", recv_exact(sock, 3))
            lit = 0
            for _ in range(rectangles):
                _, _, w, h, encoding = struct.unpack(">HHHHi", recv_exact(sock, 12))
                check(encoding == 0, f"asked for raw pixels, got encoding {encoding}")
                pixels = memoryview(recv_exact(sock, w * h * 4)).cast("I").tolist()
                lit += len(pixels) - pixels.count(0)
            return lit
        if kind == 1:  # SetColourMapEntries
            _, count = struct.unpack(">xHH", recv_exact(sock, 5))
            recv_exact(sock, 6 * count)
        elif kind == 2:  # Bell
            pass
        elif kind == 3:  # ServerCutText
            (length,) = struct.unpack(">3xI", recv_exact(sock, 7))
            recv_exact(sock, length)
        else:
            raise Failure(f"unknown message {kind} from the VNC server")


def x_setup_status(display_number):
    """Opens an X connection without any authorization; returns the first byte of the server's
    answer (0 Failed, 1 Success, 2 Authenticate)."""
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.settimeout(IO_SECONDS)
    try:
        sock.connect(f"/tmp/.X11-unix/X{display_number}")
        sock.sendall(struct.pack("<cxHHHHxx", b"l", 11, 0, 0, 0))
        return recv_exact(sock, 1)[0]
    finally:
        sock.close()


# ---------------------------------------------------------------------------------------------
# Processes.

def proc_stat(pid):
    """(parent pid, state, start time) of a process, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except (FileNotFoundError, ProcessLookupError):
        return None
    fields = text[text.rindex(")") + 2:].split()
    return int(fields[1]), fields[0], int(fields[19])


def proc_comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except FileNotFoundError:
        return ""


def children_of(parent):
    """{pid: (name, start time)} of the living children of `parent`."""
    found = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            info = proc_stat(int(entry))
            if info and info[0] == parent and info[1] != "Z":
                found[int(entry)] = (proc_comm(int(entry)), info[2])
    return found


def still_running(pid, start_time):
    info = proc_stat(pid)
    return info is not None and info[2] == start_time and info[1] != "Z"


def catches_sigterm(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return bool(int(line.split()[1], 16) & (1 << (signal.SIGTERM - 1)))
    except FileNotFoundError:
        pass
    return False


def wait_for(seconds, what, condition, session=None):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if session is not None and session.proc.poll() is not None:
            raise Failure(f"the script ended (status {session.proc.returncode}) while waiting for: {what}\n"
                          + session.output())
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {seconds} s waiting for: {what}")
        time.sleep(0.05)


class Session:
    """One run of remote_screen.sh, its output in files."""

    def __init__(self, name, script, program, work, env):
        self.name = name
        self.script = script
        self.out_path = os.path.join(work, f"{name}.out")
        self.err_path = os.path.join(work, f"{name}.err")
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            # A process group of its own, so that a failing test can stop all of it.
            self.proc = subprocess.Popen([script, program], env=env, stdin=subprocess.DEVNULL,
                                         stdout=out, stderr=err, start_new_session=True)
        self.children = {}
        log(f"{name}: started the script, pid {self.proc.pid}")

    def output(self):
        text = ""
        for label, path in (("output", self.out_path), ("errors", self.err_path)):
            with open(path, errors="replace") as f:
                text += f"--- {self.name}: {label} of the script ---\n{f.read()}"
        return text

    def wait_until_ready(self):
        """Waits for the whole message, then for the program, and reads what the message says."""
        def message():
            with open(self.out_path, errors="replace") as f:
                text = f.read()
            return text if "to stop." in text else None
        text = wait_for(START_SECONDS, f"{self.name}: the connection message", message, self)

        def field(pattern):
            match = re.search(pattern, text, re.MULTILINE)
            check(match, f"{self.name}: no line like /{pattern}/ in the message:\n{text}")
            return match.group(1)
        self.port = int(field(r"^\s+vncviewer 127\.0\.0\.1:(\d+)$"))
        check(f"ssh -L {self.port}:127.0.0.1:{self.port} " in text and f"vncviewer localhost:{self.port}" in text,
              f"{self.name}: the tunnel line does not name port {self.port}:\n{text}")
        self.password = field(r"^Password:\s+(\S+)")
        self.password_file = field(r"^Password file:\s+(/\S+)$")

        def all_started():
            self.children = children_of(self.proc.pid)
            return {"Xvfb", "dbus-daemon", "x11vnc", "veldtra"} <= {name for name, _ in self.children.values()}
        wait_for(START_SECONDS, f"{self.name}: Xvfb, dbus-daemon, x11vnc and veldtra as children of the script",
                 all_started, self)
        with open(f"/proc/{self.pid_of('veldtra')}/environ", "rb") as f:
            environ = dict(item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item)
        bus = "unix:path=" + os.path.join(os.path.dirname(self.password_file), "bus")
        # The daemon prints its address with the bus's guid after a comma.
        check(environ.get(b"DBUS_SESSION_BUS_ADDRESS", b"").split(b",")[0] == bus.encode(),
              f"{self.name}: the program's session bus is {environ.get(b'DBUS_SESSION_BUS_ADDRESS')}, not {bus}")
        log(f"{self.name}: port {self.port}, password file {self.password_file}, session bus {bus}")

    def pid_of(self, name):
        return next(pid for pid, (comm, _) in self.children.items() if comm == name)

    def check_files(self, expected_base):
        path = self.password_file
        directory = os.path.dirname(path)
        check(os.path.dirname(directory) == expected_base,
              f"{self.name}: the password file {path} is not in a directory of its own under {expected_base}")
        for where, mode in ((path, 0o600), (directory, 0o700)):
            info = os.lstat(where)
            check(info.st_uid == os.geteuid(), f"{self.name}: {where} belongs to uid {info.st_uid}")
            check(stat.S_IMODE(info.st_mode) == mode,
                  f"{self.name}: {where} has mode {stat.S_IMODE(info.st_mode):o}, not {mode:o}")
        check(stat.S_ISREG(os.lstat(path).st_mode), f"{self.name}: {path} is not a plain file")
        with open(path) as f:
            stored = f.read()
        check(stored == self.password + "\n",
              f"{self.name}: the file holds {stored!r}, the message says {self.password!r}")
        check(len(self.password) == 8 and all(c in PASSWORD_ALPHABET for c in self.password),
              f"{self.name}: {self.password!r} is not 8 characters of {PASSWORD_ALPHABET}")
        # Nobody may read it off the process list either.
        for pid in self.children:
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    arguments = f.read()
            except FileNotFoundError:
                continue
            check(self.password.encode() not in arguments,
                  f"{self.name}: the password is on the command line of {self.children[pid][0]}")

    def end(self, how, expected_status):
        """Ends the session by `how` (a signal to the script, or "close" for the program ending by
        itself) and checks that it goes, with everything it started and wrote."""
        if how == "close":
            viewer = self.pid_of("veldtra")
            # The program closes on SIGTERM as on a click on its window's close button, once it
            # has set that up.
            wait_for(START_SECONDS, f"{self.name}: the program to handle SIGTERM",
                     lambda: catches_sigterm(viewer), self)
            os.kill(viewer, signal.SIGTERM)
        else:
            os.kill(self.proc.pid, how)
        try:
            status = self.proc.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            states = [(name, (proc_stat(pid) or ("", "gone"))[1]) for pid, (name, _) in self.children.items()]
            raise Failure(f"{self.name}: the script did not end within {STOP_SECONDS} s of "
                          f"{getattr(how, 'name', how)}; its processes (name, state): {states}")
        check(status == expected_status,
              f"{self.name}: the script ended with status {status}, not {expected_status}, after "
              f"{getattr(how, 'name', how)}\n"
              + self.output())
        left = [name for pid, (name, start) in self.children.items() if still_running(pid, start)]
        check(not left, f"{self.name}: still running after the script ended: {left}")
        check(not os.path.exists(self.password_file), f"{self.name}: {self.password_file} is still there")
        check(not os.path.exists(os.path.dirname(self.password_file)),
              f"{self.name}: {os.path.dirname(self.password_file)} is still there")
        checker = os.path.join(os.path.dirname(os.path.abspath(self.script)), "sanitizer_check.sh")
        verdict = subprocess.run([checker, "--errors", self.out_path, self.err_path], stdin=subprocess.DEVNULL,
                                 capture_output=True, text=True, timeout=IO_SECONDS)
        log(f"{self.name}: {verdict.stdout.strip()}")
        check(verdict.returncode == 0, f"{self.name}: a sanitizer report counts against the program:\n"
              + verdict.stdout + verdict.stderr)
        log(f"{self.name}: ended by {getattr(how, 'name', how)} with status {status}, nothing left behind")

    def kill(self):
        """On failure: stops whatever of this session still runs."""
        if self.proc.poll() is None:
            self.children.update(children_of(self.proc.pid))
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait(STOP_SECONDS)
        for pid, (_, start) in self.children.items():
            if still_running(pid, start):
                os.kill(pid, signal.SIGKILL)


# ---------------------------------------------------------------------------------------------

def listening_socket(port):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", port))
    sock.listen()
    return sock


def free_port(rng, avoid=()):
    """A port of PORT_RANGE that nothing listens on just now, held by the returned socket."""
    for _ in range(200):
        port = rng.randrange(*PORT_RANGE)
        if any(abs(port - other) < 100 for other in avoid):
            continue
        try:
            return port, listening_socket(port)
        except OSError:
            continue
    raise Failure(f"no free port in {PORT_RANGE}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--program", required=True)
    args = parser.parse_args()

    check_des()
    for tool in ("Xvfb", "xauth", "x11vnc"):
        check(shutil.which(tool), f"{tool} is not installed (packages xvfb, xauth, x11vnc)")
    check(os.access(args.script, os.X_OK), f"{args.script} is not executable")
    check(os.access(args.program, os.X_OK), f"no program at {args.program}")

    work = tempfile.mkdtemp(prefix="veldtra-remote-test.")
    sessions = []
    held = []
    rng = random.Random()

    def on_signal(number, _frame):
        raise Failure(f"stopped by signal {number}")
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)

    def environment(**extra):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR", "TMPDIR",
                            "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "VELDTRA_VNC_PORT",
                            "DBUS_SESSION_BUS_ADDRESS")}
        env["HOME"] = os.path.join(work, "home")
        env.update(extra)
        return env

    try:
        os.makedirs(os.path.join(work, "home"))
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        tmp = os.path.join(work, "tmp")
        os.mkdir(tmp, 0o700)

        # 1. The first port is taken: the next free one is used, and said so. Then the
        #    handshake, the X server, the files; ended with SIGTERM.
        taken, holder = free_port(rng)
        held.append(holder)
        first = Session("sigterm", args.script, args.program, work,
                        environment(XDG_RUNTIME_DIR=runtime, VELDTRA_VNC_PORT=str(taken)))
        sessions.append(first)
        first.wait_until_ready()
        check(taken < first.port <= taken + 100,
              f"port {taken} was taken; the script says it uses {first.port}, not a port after it")
        check(f"port {taken} is in use" in first.output(), "the message does not say that the first port was taken")
        first.check_files(runtime)
        check_vnc_server(first.port, first.password)
        with open(f"/proc/{first.pid_of('x11vnc')}/cmdline", "rb") as f:
            vnc_argv = f.read().split(b"\0")
        display = int(vnc_argv[vnc_argv.index(b"-display") + 1].lstrip(b":"))
        check(x_setup_status(display) == 0, f"the virtual X server :{display} admits a client without its cookie")
        log("sigterm: RFB offers and refusals, the right password, the screen and the window on it, the X cookie: "
            "all as expected")
        first.end(signal.SIGTERM, 143)

        # 2. A free first port is used as it is. XDG_RUNTIME_DIR that is not the user's own is
        #    passed over for TMPDIR. A new password. Ended with Ctrl+C.
        port, holder = free_port(rng, avoid=[taken])
        holder.close()
        foreign = os.path.join(work, "not-mine")
        if os.geteuid() == 0:
            os.mkdir(foreign, 0o777)
            os.chown(foreign, 65534, 65534)
        second = Session("sigint", args.script, args.program, work,
                         environment(XDG_RUNTIME_DIR=foreign, TMPDIR=tmp, VELDTRA_VNC_PORT=str(port)))
        sessions.append(second)
        second.wait_until_ready()
        check(second.port == port, f"port {port} was free; the script says it uses {second.port}")
        check("in use" not in second.output(), "the message says the free first port was in use")
        second.check_files(tmp)
        check(second.password != first.password, "the second run has the first run's password")
        second.end(signal.SIGINT, 130)

        # 3. The program closes by itself: the script ends with its status, and cleans up.
        third = Session("close", args.script, args.program, work,
                        environment(XDG_RUNTIME_DIR=runtime, VELDTRA_VNC_PORT=str(taken)))
        sessions.append(third)
        third.wait_until_ready()
        third.end("close", 0)

        print("remote: 3 sessions, all checks passed")
        return 0
    except (Failure, Closed, OSError) as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        for session in sessions:
            print(session.output(), file=sys.stderr)
        return 1
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_DFL)
        for session in sessions:
            session.kill()
        for sock in held:
            sock.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
