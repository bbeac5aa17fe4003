"""orbilo.Bot: one instance of the library, with handlers of its own.

Every method first makes the Bot's instance current, so that Bots in one
process never act on each other's. api_login, api_enter and
api_citizen_lookup block, running the pump, unless the Bot handles their
callback; then they return at once and the callback gets the outcome.
"""
import ctypes
import itertools

from . import _attributes as attributes
from . import _constants as c
from . import _runtime as runtime
from . import pump
from ._library import lib
from .errors import Error, check

_keys = itertools.count(1)  # user data 0 would read back as no pointer
_PENDING = object()
_DECORATE = object()
_MY = {"x": c.ATTR_MY_X, "y": c.ATTR_MY_Y, "z": c.ATTR_MY_Z, "yaw": c.ATTR_MY_YAW,
       "type": c.ATTR_MY_TYPE, "gesture": c.ATTR_MY_GESTURE}


class Bot:
    """A bot instance: Bot(host, port) starts the library on first use
    (api_init), then creates the instance and its universe link
    (api_create). host is a dotted IPv4 address or a host name."""

    def __init__(self, host="localhost", port=5670):
        if not isinstance(port, int):
            raise TypeError(f"the port is an int, not {type(port).__name__}")
        host_bytes = attributes.text_argument(host, "the host") if host is not None else None
        runtime.start()
        handle = ctypes.c_void_p()
        check(lib.api_create(host_bytes, port, ctypes.byref(handle)))
        self._handle = handle.value
        runtime.current = self._handle
        self._key = next(_keys)
        check(lib.api_user_data_set(self._key))
        self._events = {}
        self._callbacks = {}
        self._waiting = {}  # callback -> _PENDING or the outcome, while blocking
        self._universe_depth = 0  # handlers of universe messages running
        runtime.bots[self._key] = self

    def __repr__(self):
        return f"<orbilo.Bot {'destroyed' if self._handle is None else hex(self._handle)}>"

    @property
    def destroyed(self):
        return self._handle is None

    @property
    def instance(self):
        """The library's handle of this instance (api_create's), or None once destroyed."""
        return self._handle

    # ---- The current instance --------------------------------------------

    def _select(self):
        if self._handle is None:
            raise Error(c.RC_NO_INSTANCE)
        if runtime.current == self._handle and runtime.on_owner_thread():
            return
        rc = lib.api_instance_set(self._handle)
        if rc == c.RC_INVALID_INSTANCE:
            self._forget()
            raise Error(c.RC_NO_INSTANCE)
        check(rc)
        runtime.current = self._handle

    def instance_set(self):
        """Makes this Bot's instance current (api_instance_set). The binding
        does it before every call; a program needs it only for calls of its
        own into the C library."""
        runtime.current = None
        self._select()

    # ---- Attributes -------------------------------------------------------

    def attr(self, number):
        """The attribute's value: int, bool, float, str (Latin-1) or bytes."""
        handle = self._handle
        if handle is None or handle != runtime.current or not runtime.on_owner_thread():
            self._select()
        return attributes.read(number)

    def set(self, number, value):
        """Sets an attribute; TypeError for a value of the wrong type."""
        self._select()
        attributes.write(number, value)

    # ---- Handlers ---------------------------------------------------------

    def on(self, number, handler=_DECORATE):
        """Installs this Bot's handler of an event (called as handler(bot))
        or of a callback (handler(bot, rc)); None removes it. Without a
        handler it is a decorator: @bot.on(orbilo.EVENT_CHAT)."""
        if handler is _DECORATE:
            def decorate(function):
                self.on(number, function)
                return function
            return decorate
        runtime.valid(number)
        if handler is not None and not callable(handler):
            raise TypeError(f"a handler is callable, not {type(handler).__name__}")
        self._select()
        table = self._events if isinstance(number, c.Event) else self._callbacks
        had = number in table
        if handler is None:
            if had:
                del table[number]
                runtime.use(number, -1)
            return None
        table[number] = handler
        if not had:
            runtime.use(number, +1)
        return handler

    def _outcome(self, callback, rc):
        """A callback of this Bot arrived: the outcome of a blocking call
        that waits for it. A new login means that the universe link was lost
        and reopened, and the answers awaited on the old one never come."""
        if self._waiting.get(callback) is _PENDING:
            self._waiting[callback] = rc
        if callback == c.CALLBACK_LOGIN:
            for other, state in self._waiting.items():
                if state is _PENDING and other != c.CALLBACK_LOGIN:
                    self._waiting[other] = c.RC_UNABLE_TO_CONNECT

    # ---- Lifecycle --------------------------------------------------------

    def destroy(self):
        """Destroys the instance and its links (api_destroy). Afterwards every
        call raises Error RC_NO_INSTANCE."""
        self._select()
        rc = lib.api_destroy()
        runtime.current = None
        check(rc)
        self._forget()

    def _forget(self):
        for number in list(self._events) + list(self._callbacks):
            runtime.use(number, -1)
        self._events.clear()
        self._callbacks.clear()
        runtime.bots.pop(self._key, None)
        self._handle = None

    # ---- Operations -------------------------------------------------------

    def _complete(self, callback, operation, *arguments):
        """Runs an operation that the callback completes: at once when this
        Bot handles the callback, else blocking until the outcome."""
        self._select()
        blocking = callback not in self._callbacks
        if blocking and self._universe_depth:
            raise Error(c.RC_QUERY_IN_PROGRESS)
        if not blocking:
            check(operation(*arguments))
            return
        self._waiting[callback] = _PENDING
        try:
            check(operation(*arguments))
            pump.run(lambda: self._handle is None or self._waiting[callback] is not _PENDING)
            if self._handle is None:
                raise Error(c.RC_NO_INSTANCE)
            outcome = self._waiting[callback]
            if outcome is _PENDING:  # the library had no instance left
                raise Error(c.RC_NO_INSTANCE)
            check(outcome)
        finally:
            self._waiting.pop(callback, None)

    def login(self, name=None, citizen=None, password=None, application=None):
        """Sets the login attributes given (ATTR_LOGIN_NAME, ATTR_LOGIN_OWNER,
        ATTR_LOGIN_PRIVILEGE_PASSWORD, ATTR_LOGIN_APPLICATION), then logs in
        to the universe; blocking unless CALLBACK_LOGIN is handled."""
        for number, value in ((c.ATTR_LOGIN_NAME, name), (c.ATTR_LOGIN_OWNER, citizen),
                              (c.ATTR_LOGIN_PRIVILEGE_PASSWORD, password),
                              (c.ATTR_LOGIN_APPLICATION, application)):
            if value is not None:
                self.set(number, value)
        self._complete(c.CALLBACK_LOGIN, lib.api_login)

    def enter(self, world):
        """Enters a world (at most 8 characters), leaving any world first;
        blocking unless CALLBACK_ENTER is handled."""
        self._complete(c.CALLBACK_ENTER, lib.api_enter, attributes.text_argument(world, "the world"))

    def citizen_lookup(self, citizen):
        """Looks a citizen up by number into ATTR_CITIZEN_NAME and the
        citizen attributes; blocking unless CALLBACK_CITIZEN_LOOKUP is handled."""
        self._complete(c.CALLBACK_CITIZEN_LOOKUP, lib.api_citizen_lookup,
                       attributes.whole("the citizen", citizen))

    def exit(self):
        """Leaves the world (api_exit)."""
        self._select()
        check(lib.api_exit())

    def state_change(self, **position):
        """Sets the ATTR_MY_ values given (x, y, z, yaw, type, gesture), then
        sends the bot's position and look to the world."""
        unknown = set(position) - set(_MY)
        if unknown:
            raise TypeError(f"state_change() takes {', '.join(_MY)}, not {', '.join(sorted(unknown))}")
        for name, value in position.items():
            self.set(_MY[name], value)
        self._select()
        check(lib.api_state_change())

    def whisper(self, session, text):
        """Whispers text (at most 255 Latin-1 characters) to the avatar with
        the session number."""
        session = attributes.whole("the session", session)
        text_bytes = attributes.text_argument(text)
        self._select()
        check(lib.api_whisper(session, text_bytes))
