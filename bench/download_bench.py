#!/usr/bin/env python3
"""Download benchmark: qivdl (under Wine) against aria2c and curl.

Serves two files from Debian's nginx on loopback addresses and downloads
each with every tool, each run ending with a verified MD5:
  - a 256 MiB file, unthrottled;
  - a 64 MiB file with a per-connection limit (nginx limit_rate).
Prints, per tool: seconds to the verified file, throughput, peak memory,
CPU seconds, and the ratios qivdl/aria2c and qivdl/curl. Figures only:
nothing here passes or fails.

  bench/download_bench.py [--workers 6] [--limit-mib 4] [--big-mib 256]
                          [--small-mib 64] [--repeat 1]
Needs: scripts/build done (build/bin/qivdl.exe or $QIV_BUILD_DIR), nginx, aria2c, curl.
"""
import argparse
import hashlib
import os
import platform
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("QIV_BUILD_DIR", os.path.join(TOP, "build"))
ADDRESSES = ["127.0.0.2", "127.0.0.3", "127.0.0.4"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.2", 0))
        return s.getsockname()[1]


def make_file(path, mib):
    digest = hashlib.md5()
    chunk = 1 << 20
    with open(path, "wb") as out:
        for _ in range(mib):
            block = os.urandom(chunk)
            digest.update(block)
            out.write(block)
    os.chmod(path, 0o644)
    return digest.hexdigest().upper()


def file_md5(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def start_nginx(work, root, port_fast, port_slow, limit_mib):
    conf = os.path.join(work, "nginx.conf")
    listens_fast = "".join(f"    listen {a}:{port_fast};\n" for a in ADDRESSES)
    listens_slow = "".join(f"    listen {a}:{port_slow};\n" for a in ADDRESSES)
    with open(conf, "w") as f:
        f.write(f"""daemon off;
worker_processes 2;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections 256; }}
http {{
  access_log off;
  sendfile on;
  client_body_temp_path {work}/body;
  proxy_temp_path {work}/proxy;
  fastcgi_temp_path {work}/fastcgi;
  uwsgi_temp_path {work}/uwsgi;
  scgi_temp_path {work}/scgi;
  server {{
{listens_fast}    root {root};
  }}
  server {{
{listens_slow}    root {root};
    limit_rate {limit_mib}m;
  }}
}}
""")
    process = subprocess.Popen(["nginx", "-c", conf, "-p", work], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            with socket.create_connection((ADDRESSES[0], port_fast), timeout=0.2):
                return process
        except OSError:
            time.sleep(0.05)
    process.kill()
    sys.exit("nginx did not start; see " + os.path.join(work, "error.log"))


# Runs one command and reports the peak resident size and CPU time of its
# own process tree (the benchmark's own children would mix earlier runs in).
MEASURE = r"""
import resource, subprocess, sys
code = subprocess.call(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=open(sys.argv[1] + ".err", "wb"))
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
open(sys.argv[1], "w").write("%d %d %f" % (code, usage.ru_maxrss, usage.ru_utime + usage.ru_stime))
"""


def run_measured(command, env=None):
    """Exit code, wall seconds, peak resident MiB and CPU seconds of one run."""
    report = tempfile.mktemp(prefix="qiv-bench-run-")
    started = time.monotonic()
    # Output goes to files, not pipes: Wine's helper processes, started by
    # the first program that needs them, inherit them and would hold a pipe open.
    subprocess.call([sys.executable, "-c", MEASURE, report] + command, env=env, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    wall = time.monotonic() - started
    code, maxrss, cpu = open(report).read().split()
    err = open(report + ".err", "rb").read().decode(errors="replace")[-400:]
    os.remove(report)
    os.remove(report + ".err")
    return int(code), wall, int(maxrss) / 1024.0, float(cpu), err


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=;winemenubuilder.exe=d")
    env["WINEARCH"] = "win64"
    env["WINEPREFIX"] = os.path.join(BUILD, "wine", "win64")
    return env


def unix_to_wine(path):
    return "Z:" + path.replace("/", "\\")


def bench_case(label, url_host, port, name, mib, md5, workers, out_root, repeat):
    results = {}
    tools = {
        "qivdl": lambda out: (["wine", os.path.join(BUILD, "bin", "qivdl.exe"),
                               f"http://{url_host}:{port}/{name}", "--out", unix_to_wine(out),
                               "--workers", str(workers), "--md5", md5, "--quiet", "--restart"], wine_env()),
        "aria2c": lambda out: (["aria2c", "-q", "-x", str(workers), "-s", str(workers), "-k", "1M",
                                "--file-allocation=none", "--allow-overwrite=true", "--auto-file-renaming=false",
                                "-d", out, "-o", name, f"http://{url_host}:{port}/{name}"], None),
        "curl": lambda out: (["curl", "-s", "-o", os.path.join(out, name), f"http://{url_host}:{port}/{name}"],
                             None),
    }
    for tool, build in tools.items():
        best = None
        for _ in range(repeat):
            out = tempfile.mkdtemp(prefix=tool + "-", dir=out_root)
            command, env = build(out)
            code, wall, peak, cpu, err = run_measured(command, env)
            verify_started = time.monotonic()
            target = os.path.join(out, name)
            ok = code == 0 and os.path.exists(target) and file_md5(target) == md5
            seconds = wall + (time.monotonic() - verify_started)
            shutil.rmtree(out, ignore_errors=True)
            if not ok:
                print(f"  {tool}: FAILED (exit {code}) {err.strip()}")
                continue
            run = {"seconds": seconds, "mibps": mib / seconds, "peak": peak, "cpu": cpu}
            if best is None or run["seconds"] < best["seconds"]:
                best = run
        if best:
            results[tool] = best
    print(f"\n{label}")
    print(f"  {'tool':8} {'seconds':>9} {'MiB/s':>9} {'peak MiB':>9} {'CPU s':>7}")
    for tool, r in results.items():
        print(f"  {tool:8} {r['seconds']:9.2f} {r['mibps']:9.1f} {r['peak']:9.1f} {r['cpu']:7.2f}")
    q = results.get("qivdl")
    for other in ("aria2c", "curl"):
        if q and other in results:
            o = results[other]
            print(f"  qivdl/{other}: time {q['seconds'] / o['seconds']:.2f}  throughput "
                  f"{q['mibps'] / o['mibps']:.2f}  peak memory {q['peak'] / o['peak']:.2f}  CPU "
                  f"{q['cpu'] / max(o['cpu'], 0.01):.2f}")
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--workers", type=int, default=6)
    parser.add_argument("--limit-mib", type=int, default=4, help="per-connection limit of the throttled case")
    parser.add_argument("--big-mib", type=int, default=256)
    parser.add_argument("--small-mib", type=int, default=64)
    parser.add_argument("--repeat", type=int, default=1, help="runs per tool; the fastest is shown")
    args = parser.parse_args()
    for tool in ("nginx", "aria2c", "curl", "wine"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/setup-packages")
    if not os.path.exists(os.path.join(BUILD, "bin", "qivdl.exe")):
        sys.exit("qivdl.exe is missing: run scripts/build")

    work = tempfile.mkdtemp(prefix="qiv-bench-")
    root = os.path.join(work, "www")
    os.makedirs(root)
    # nginx's workers run as an unprivileged user: they must be able to read.
    os.chmod(work, 0o755)
    os.chmod(root, 0o755)
    print(f"machine: {platform.node()} {platform.machine()}, {os.cpu_count()} cores, "
          f"{platform.platform()}; date {time.strftime('%Y-%m-%d %H:%M')}")
    print("making the files ...")
    big_md5 = make_file(os.path.join(root, "big.bin"), args.big_mib)
    small_md5 = make_file(os.path.join(root, "small.bin"), args.small_mib)
    port_fast, port_slow = free_port(), free_port()
    nginx = start_nginx(work, root, port_fast, port_slow, args.limit_mib)
    # One wineserver for all runs, so that no run pays for starting it.
    subprocess.run(["wineserver", "-p"], env=wine_env())
    try:
        bench_case(f"{args.big_mib} MiB unthrottled, {args.workers} connections (curl: 1)", ADDRESSES[0],
                   port_fast, "big.bin", args.big_mib, big_md5, args.workers, work, args.repeat)
        slow = bench_case(f"{args.small_mib} MiB at {args.limit_mib} MiB/s per connection, {args.workers} "
                          f"connections (curl: 1)", ADDRESSES[1], port_slow, "small.bin", args.small_mib,
                          small_md5, args.workers, work, args.repeat)
        if "qivdl" in slow:
            target = 0.9 * args.workers * args.limit_mib
            print(f"  target: qivdl >= {target:.1f} MiB/s (0.9 x {args.workers} x limit): "
                  f"{'met' if slow['qivdl']['mibps'] >= target else 'missed'}")
    finally:
        nginx.send_signal(signal.SIGTERM)
        nginx.wait(timeout=10)
        subprocess.run(["wineserver", "-k"], env=wine_env())
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
