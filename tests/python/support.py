"""What the binding's tests share: orbilo-server in a child process, with the universe on
127.0.0.1 at a port that the system picks, read back from its log."""
import ctypes
import os
import re
import signal
import subprocess
import tempfile
import threading
import time

SERVER = os.environ.get("ORBILO_SERVER", "orbilo-server")
SOURCE = os.environ.get("ORBILO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
TIMEOUT_S = 10
_PR_SET_PDEATHSIG = 1


def _end_with_parent():
    """In the child: SIGTERM when the test's process goes, so that no child
    outlives a test that was killed."""
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class Child:
    """A program in a child process; a thread reads its output (standard
    error too) into lines as they come, and every wait is bounded."""

    def __init__(self, arguments):
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, preexec_fn=_end_with_parent)
        self.lines = []
        self._arrived = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self._arrived:
                self.lines.append(line.rstrip("\n"))
                self._arrived.notify_all()

    def wait_for(self, pattern, timeout=TIMEOUT_S):
        """The first output line's match of the regular expression;
        AssertionError when none comes within timeout seconds."""
        expression = re.compile(pattern)
        end = time.monotonic() + timeout
        with self._arrived:
            while True:
                for line in self.lines:
                    match = expression.search(line)
                    if match:
                        return match
                left = end - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"no line like {pattern!r} in:\n" + "\n".join(self.lines))
                self._arrived.wait(left)

    def finish(self, timeout=TIMEOUT_S, stop=True):
        """Its exit status, once it has ended (after SIGTERM when stop), or
        killed after timeout seconds: None."""
        if stop:
            self.process.terminate()
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            status = None
        self._reader.join(TIMEOUT_S)
        self.process.stdout.close()
        return status

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if not self.process.stdout.closed:
            self.finish()


class Server(Child):
    """orbilo-server serving the world "demo" to citizen 1 "Demo" (password "demo")."""

    def __init__(self, crowd=0, settings=""):
        """settings: lines of the [server] section of a configuration file."""
        self._config = tempfile.NamedTemporaryFile("w", suffix=".conf")
        self._config.write("[server]\n" + settings)
        self._config.flush()
        super().__init__([SERVER, "--config", self._config.name, "--universe", "127.0.0.1:0",
                          "--version-server", "off", "--world", "demo", "--crowd", str(crowd),
                          "--seed", "1", "--no-admin"])
        self.port = int(self.wait_for(r"universe: 127\.0\.0\.1:(\d+)").group(1))

    def close(self):
        self.finish()
        self._config.close()

    def __exit__(self, *exc):
        self.close()


def until(done, timeout=TIMEOUT_S):
    """Runs the pump until done() is true; False when timeout seconds pass first."""
    import orbilo

    end = time.monotonic() + timeout
    while not done():
        if time.monotonic() > end:
            return False
        orbilo.wait(20)
    return True


def bot_in_world(port, name, handlers=None, world="demo"):
    """A Bot with the handlers ({number: handler}), logged in as name for
    citizen 1 and in the world, at 0 0."""
    import orbilo

    bot = orbilo.Bot("127.0.0.1", port)
    for number, handler in (handlers or {}).items():
        bot.on(number, handler)
    bot.login(name=name, citizen=1, password="demo")
    bot.enter(world)
    bot.state_change(x=0, z=0)
    return bot
