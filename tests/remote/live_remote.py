"""Starts tonewarp-live with the phone remote on the built-in demo input and
null output, and reads the address and pairing code it prints. Shared by the
remote's protocol and browser tests."""
import os
import re
import signal
import subprocess
import threading
import time


class LiveRemote:
    def __init__(self, exe, seconds=120, extra=()):
        self.proc = subprocess.Popen(
            [exe, "--no-system", "--remote", "127.0.0.1:0", "--seconds", str(seconds), *extra],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.lines = []
        self._ready = threading.Event()
        self.url = None
        self.code = None
        threading.Thread(target=self._read, daemon=True).start()
        if not self._ready.wait(20):
            self.stop()
            raise AssertionError("tonewarp-live printed no remote address:\n" + self.output())
        self.port = int(re.search(r":(\d+)/$", self.url).group(1))
        self.ws_url = "ws://127.0.0.1:%d/ws" % self.port

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))
            m = re.match(r"Remote: open (http://\S+) on the phone; pairing code (\d+)", line)
            if m:
                self.url, self.code = m.group(1), m.group(2)
                self._ready.set()

    def output(self):
        return "\n".join(self.lines)

    def wait_line(self, pattern, timeout=5.0):
        """The first output line matching `pattern` (a regular expression)."""
        end = time.time() + timeout
        while time.time() < end:
            for line in list(self.lines):
                if re.search(pattern, line):
                    return line
            time.sleep(0.02)
        raise AssertionError("no line matching %r in:\n%s" % (pattern, self.output()))

    def alive(self):
        return self.proc.poll() is None

    def xruns(self):
        """The xrun count of the last status line."""
        counts = [int(m.group(1)) for m in (re.search(r"xruns (\d+)", l) for l in self.lines) if m]
        return counts[-1] if counts else None

    def stop(self):
        """SIGINT, as Ctrl-C; the exit code."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            return self.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return self.proc.wait()
