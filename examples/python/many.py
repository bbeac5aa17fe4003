#!/usr/bin/env python3
"""many: a hundred Bots in one process. Each stands at its own place in the
world and counts the avatars that it sees arrive, move, leave and speak;
after the given seconds every Bot prints its counts.

    many.py HOST PORT CITIZEN PASSWORD [WORLD [COUNT [SECONDS]]]

The handlers are shared by all the Bots: each gets the Bot that saw the
event, and counts into that Bot's own tally."""
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
    if not 5 <= len(argv) <= 8:
        print("usage: many.py HOST PORT CITIZEN PASSWORD [WORLD [COUNT [SECONDS]]]", file=sys.stderr)
        return 2
    host, port, citizen, password = argv[1], int(argv[2]), int(argv[3]), argv[4]
    world = argv[5] if len(argv) > 5 else "demo"
    count = int(argv[6]) if len(argv) > 6 else 100
    seconds = float(argv[7]) if len(argv) > 7 else 10
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
