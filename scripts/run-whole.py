#!/usr/bin/env python3
"""Runs every test program of a build whole: each program once with all its
tests in one process, as a developer starts it, in the environment and the
folder CTest gives it (netns-run and its peers included). CTest itself runs
each discovered test in a process of its own, so it cannot show tests that
pass only alone.

Usage: run-whole.py BUILD_DIR [-j JOBS] [-R REGEX] [--timeout SECONDS]
Exits non-zero when a program fails; its output is printed.
"""
import argparse
import concurrent.futures
import json
import os
import re
import subprocess
import sys
import time

# Flags that gtest_discover_tests adds to pick one test.
DISCOVERED = "--gtest_also_run_disabled_tests"


def programs(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"], capture_output=True,
                             text=True, check=True).stdout
    runs = {}
    for test in json.loads(listing)["tests"]:
        command = test.get("command") or []
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        filtered = any(part.startswith("--gtest_filter") for part in command)
        # A filter that CTest's discovery did not add picks a part of a
        # program on purpose; the program runs whole elsewhere.
        if filtered and DISCOVERED not in command:
            continue
        whole = [part for part in command if not part.startswith("--gtest_filter") and part != DISCOVERED]
        # A setting may be listed twice; the last one counts, as in CTest.
        settings = dict(setting.partition("=")[::2] for setting in properties.get("ENVIRONMENT", []))
        env = tuple(f"{name}={value}" for name, value in sorted(settings.items()))
        key = (tuple(whole), env, properties.get("WORKING_DIRECTORY", build))
        runs.setdefault(key, test["name"])
    return list(runs)


def run(key, timeout):
    command, env, folder = key
    environment = dict(os.environ)
    for setting in env:
        name, _, value = setting.partition("=")
        environment[name] = value
    start = time.monotonic()
    try:
        done = subprocess.run(list(command), env=environment, cwd=folder, capture_output=True, text=True,
                              errors="replace", timeout=timeout)
        status = done.returncode
        output = done.stdout + done.stderr
    except subprocess.TimeoutExpired as expired:
        status = "timeout"
        output = (expired.stdout or b"").decode(errors="replace") + (expired.stderr or b"").decode(errors="replace")
    return status, output, time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("-j", type=int, default=4)
    parser.add_argument("-R", default="")
    parser.add_argument("--timeout", type=float, default=900)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    selected = [key for key in programs(build) if re.search(args.R, " ".join(key[0]))]
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        futures = {pool.submit(run, key, args.timeout): key for key in selected}
        for future in concurrent.futures.as_completed(futures):
            key = futures[future]
            status, output, seconds = future.result()
            # 77: skipped in full, as CTest takes it (no namespace here).
            ok = status in (0, 77)
            name = " ".join(os.path.basename(part) if part.startswith(build) else part for part in key[0])
            extra = " ".join(key[1])
            word = "ok  " if status == 0 else "skip" if status == 77 else "FAIL"
            print(f"{word} {seconds:6.1f}s {name}  [{extra}]", flush=True)
            if not ok:
                failed += 1
                print(output[-20000:], flush=True)
    print(f"{len(selected) - failed} of {len(selected)} programs passed whole")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
