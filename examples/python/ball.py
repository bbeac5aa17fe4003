#!/usr/bin/env python3
"""ball: the ball bot in Python. It stands in a world as a ball: an avatar
that comes close and makes the kick gesture sends it flying the way the
avatar faces. It whispers the answers to "NAME owner" and "NAME version".

    ball.py HOST PORT CITIZEN PASSWORD [NAME [WORLD]]

Ctrl-C or SIGTERM ends it."""
import math
import signal
import sys

import orbilo

KICK_RADIUS = 150  # a kick needs both x and z this close to the ball
KICK_DISTANCE = 650
KICK_GESTURE = 1
ANGLE_FACTOR = 3.141592 / 1800  # tenths of a degree to radians
REPLIES_FROM_WORLD_BUILD = 17
COPYRIGHT = "Copyright (C) 2026 The Orbilo Authors"
APPLICATION_BUILD = 4


def same_text(a, b):
    """Equal but for the case of ASCII letters."""
    return a.encode("latin-1").lower() == b.encode("latin-1").lower()


def run(bot, name, citizen):
    owner = bot.attr(orbilo.ATTR_CITIZEN_NAME)

    @bot.on(orbilo.EVENT_AVATAR_CHANGE)
    def kick(bot):
        if bot.attr(orbilo.ATTR_AVATAR_GESTURE) != KICK_GESTURE:
            return
        x, z = bot.attr(orbilo.ATTR_AVATAR_X), bot.attr(orbilo.ATTR_AVATAR_Z)
        if abs(x - bot.attr(orbilo.ATTR_MY_X)) > KICK_RADIUS or abs(z - bot.attr(orbilo.ATTR_MY_Z)) > KICK_RADIUS:
            return
        yaw = bot.attr(orbilo.ATTR_AVATAR_YAW)
        angle = yaw * ANGLE_FACTOR
        x += math.trunc(KICK_DISTANCE * math.sin(angle))
        z += math.trunc(KICK_DISTANCE * math.cos(angle))
        bot.state_change(x=x, z=z, yaw=yaw)
        print(f"kicked by {bot.attr(orbilo.ATTR_AVATAR_NAME)} to {x} {z}", flush=True)

    @bot.on(orbilo.EVENT_CHAT)
    def reply(bot):
        if bot.attr(orbilo.ATTR_WORLD_BUILD) < REPLIES_FROM_WORLD_BUILD:
            return
        said = bot.attr(orbilo.ATTR_CHAT_MESSAGE)
        if same_text(said, f"{name} owner"):
            what, text = "Owner", f"I'm owned by {owner} (citizen # {citizen})."
        elif same_text(said, f"{name} version"):
            what, text = "Version", f"I am Simple Orbilo Build {APPLICATION_BUILD} ({COPYRIGHT})."
        else:
            return
        try:
            bot.whisper(bot.attr(orbilo.ATTR_CHAT_SESSION), text)
            print(f"{what} response sent to {bot.attr(orbilo.ATTR_AVATAR_NAME)}.", flush=True)
        except orbilo.Error as error:  # a full link: this reply is lost, the ball goes on
            print(f"{what} response not sent: {error}", file=sys.stderr)

    orbilo.wait(-1)


def main(argv):
    if not 5 <= len(argv) <= 7:
        print("usage: ball.py HOST PORT CITIZEN PASSWORD [NAME [WORLD]]", file=sys.stderr)
        return 2
    host, port, citizen, password = argv[1], int(argv[2]), int(argv[3]), argv[4]
    name = argv[5] if len(argv) > 5 else "Ball"
    world = argv[6] if len(argv) > 6 else "demo"
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(0))
    try:
        bot = orbilo.Bot(host, port)
        bot.login(name=name, citizen=citizen, password=password, application="ball.py")
        bot.citizen_lookup(citizen)
        bot.enter(world)
        bot.state_change(x=0, y=0, z=0, yaw=0)
        print(f"{name} is now running in {world}.", flush=True)
        run(bot, name, citizen)
    except orbilo.Error as error:
        print(f"ball: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        pass
    finally:
        orbilo.term()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
