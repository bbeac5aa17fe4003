#!/usr/bin/env python3
"""many: a hundred Bots in one process. Each stands at its own place in the
world and counts the avatars that it sees arrive, move, leave and speak;
after the given seconds every Bot prints its counts.

    many.py HOST PORT CITIZEN PASSWORD [WORLD [COUNT [SECONDS]]]

The handlers are shared by all the Bots: each gets the Bot that saw the
event, and counts into that Bot's own tally."""
import argparse
import collections
import sys

import orbilo

KINDS = {orbilo.EVENT_AVATAR_ADD: "arrived", orbilo.EVENT_AVATAR_CHANGE: "moved",
         orbilo.EVENT_AVATAR_DELETE: "left", orbilo.EVENT_CHAT: "spoke"}


def counter(kind):
    def count(bot):
        bot.seen[kind] += 1
    return count


def main(argv):
    arguments = argparse.ArgumentParser(prog="many.py", description="Many bots counting what they see.")
    for name, kind in (("host", str), ("port", int), ("citizen", int), ("password", str)):
        arguments.add_argument(name, type=kind)
    arguments.add_argument("world", nargs="?", default="demo")
    arguments.add_argument("count", nargs="?", type=int, default=100)
    arguments.add_argument("seconds", nargs="?", type=float, default=10)
    given = arguments.parse_args(argv[1:])
    host, port, citizen, password = given.host, given.port, given.citizen, given.password
    world, count, seconds = given.world, given.count, given.seconds
    bots = []
    try:
        for k in range(count):
            bot = orbilo.Bot(host, port)
            bot.name, bot.seen = f"Many{k + 1}", collections.Counter()
            for event, kind in KINDS.items():
                bot.on(event, counter(kind))
            bot.login(name=bot.name, citizen=citizen, password=password)
            bot.enter(world)
            bot.state_change(x=(k % 10) * 1000 - 5000, z=(k // 10) * 1000 - 5000)
            bots.append(bot)
        print(f"{count} bots in {world}", flush=True)
        orbilo.wait(int(seconds * 1000))
    except orbilo.Error as error:
        print(f"many: bot {len(bots) + 1} stopped: {error}", file=sys.stderr)
        return 1
    finally:
        for bot in bots:
            tally = ", ".join(f"{kind} {bot.seen[kind]}" for kind in KINDS.values())
            print(f"{bot.name} saw: {tally}")
        orbilo.term()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
