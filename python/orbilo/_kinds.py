"""The two kinds of handler numbers. Events and callbacks are numbered apart
(EVENT_AVATAR_ADD and CALLBACK_LOGIN are both 0), so each constant carries
its kind: Bot.on() tells from it whether the handler takes a result code."""


class Event(int):
    """The number of an event: its handler is called as handler(bot)."""

    __slots__ = ()

    __str__ = int.__repr__  # the bare number

    def __repr__(self):
        return f"orbilo.Event({int(self)})"


class Callback(int):
    """The number of a callback: its handler is called as handler(bot, rc)."""

    __slots__ = ()

    __str__ = int.__repr__

    def __repr__(self):
        return f"orbilo.Callback({int(self)})"
