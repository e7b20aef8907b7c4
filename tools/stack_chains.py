#!/usr/bin/env python3
"""Worst stack use of every export, from the call graphs gcc writes with
-fcallgraph-info=su: the largest sum of frames along a call chain from the
export down. Calls through pointers and into other shared libraries count
nothing; a recursive call counts once. Fails when an export needs more than
the limit.

  stack_chains.py BUILD_DIR LIMIT EXPORT_LIST...
"""
import os
import re
import sys
from collections import defaultdict

NODE = re.compile(r'node: \{ title: "([^"]*)" label: "((?:[^"\\]|\\.)*)"')
EDGE = re.compile(r'edge: \{ sourcename: "([^"]*)" targetname: "([^"]*)"')
FRAME = re.compile(r'\\n(\d+) bytes')


def read_graph(build_dir):
    frames, names, calls, by_symbol = {}, {}, defaultdict(set), defaultdict(list)
    for folder, _, files in os.walk(build_dir):
        for f in files:
            # Only call graphs whose object is still built.
            if not f.endswith('.ci') or not os.path.exists(os.path.join(folder, f[:-3] + '.o')):
                continue
            with open(os.path.join(folder, f), errors='replace') as lines:
                for line in lines:
                    m = NODE.match(line)
                    if m:
                        frame = FRAME.search(m.group(2))
                        if frame:
                            title = m.group(1)
                            frames[title] = int(frame.group(1))
                            names[title] = m.group(2).split('\\n')[0]
                            by_symbol[title.rsplit(':', 1)[-1]].append(title)
                        continue
                    m = EDGE.match(line)
                    if m:
                        calls[m.group(1)].add(m.group(2))
    return frames, names, calls, by_symbol


def main():
    build_dir, limit, lists = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    frames, names, calls, by_symbol = read_graph(build_dir)
    if not frames:
        sys.exit('no call graphs under %s' % build_dir)
    worst = {}

    def depth(title, open_calls):
        if title in worst:
            return worst[title]
        if title in open_calls:
            return 0, []
        open_calls.add(title)
        below = (0, [])
        for callee in calls.get(title, ()):
            for t in [callee] if callee in frames else by_symbol.get(callee.rsplit(':', 1)[-1], []):
                d = depth(t, open_calls)
                if d[0] > below[0]:
                    below = d
        open_calls.discard(title)
        worst[title] = frames[title] + below[0], [title] + below[1]
        return worst[title]

    exports = set()
    for path in lists:
        with open(path) as f:
            exports.update(l.strip() for l in f if l.strip() and not l.startswith('#'))
    results = []
    for name in exports:
        found = [depth(t, set()) for t in by_symbol.get(name, [])]
        results.append((max(found) if found else None, name))
    failed = 0
    for result, name in sorted(results, key=lambda r: -(r[0][0] if r[0] else 1 << 30)):
        if result is None:
            failed += 1
            print('missing  %s' % name)
            continue
        used, chain = result
        print('%7d  %s' % (used, name))
        if used > limit:
            failed += 1
            for t in chain:
                print('         %7d  %s' % (frames[t], names[t]))
    if failed:
        sys.exit('%d exports need more than %d bytes of stack, or were not found' % (failed, limit))

if __name__ == '__main__':
    main()
