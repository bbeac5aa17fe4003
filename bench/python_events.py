"""The Python side of python_events_per_s: one Bot whose handler of avatar
changes reads four attributes, against the benchmark's world, which sends
changes as fast as the Bot takes them.

    python_events.py PORT SECONDS

Prints "python_events_per_s: N", counted from the first change on."""
import sys
import time

import orbilo

port, seconds = int(sys.argv[1]), float(sys.argv[2])
bot = orbilo.Bot("127.0.0.1", port)
count = 0


@bot.on(orbilo.EVENT_AVATAR_CHANGE)
def moved(bot):
    global count
    bot.attr(orbilo.ATTR_AVATAR_NAME)
    bot.attr(orbilo.ATTR_AVATAR_X)
    bot.attr(orbilo.ATTR_AVATAR_Z)
    bot.attr(orbilo.ATTR_AVATAR_YAW)
    count += 1


bot.login(name="Ball", citizen=1, password="demo")
bot.enter("demo")
bot.state_change(x=0, z=0)
end = time.monotonic() + 10
while count == 0 and time.monotonic() < end:
    orbilo.wait(10)
start, first = time.monotonic(), count
orbilo.wait(int(seconds * 1000))
print(f"python_events_per_s: {(count - first) / (time.monotonic() - start):.0f}", flush=True)
orbilo.term()
