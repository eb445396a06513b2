#!/usr/bin/env python3
"""A shell on a pseudo-terminal for the control's terminal window to talk to.

Makes a pseudo-terminal pair, prints the device a serial port may be mapped
to (TOLVEXCOMM_COM<n>=DEVICE), runs a shell on a second pair and copies
bytes both ways between the two. With --type TEXT the text is typed into the
shell after --delay seconds; with --seconds N the program ends after N
seconds, else when the shell ends.

    pty_shell.py --device-file /tmp/dev --term ansi --type 'ls\r'
"""
import argparse
import os
import pty
import select
import sys
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--device-file", help="write the device name here as well")
    ap.add_argument("--term", default="ansi")
    ap.add_argument("--type", default="", help="text typed into the shell (\\r, \\n escapes)")
    ap.add_argument("--delay", type=float, default=1.0)
    ap.add_argument("--seconds", type=float, default=0)
    ap.add_argument("--shell", default="/bin/bash")
    ap.add_argument("--rows", type=int, default=25)
    ap.add_argument("--columns", type=int, default=80)
    ap.add_argument("--log", help="append what the shell sends to this file")
    args = ap.parse_args()

    line_master, line_slave = os.openpty()
    device = os.ttyname(line_slave)
    print(device, flush=True)
    if args.device_file:
        with open(args.device_file, "w") as f:
            f.write(device + "\n")
    # Raw until the control opens it (no echo of the shell's output back
    # into the shell); the control refuses a device another process holds.
    import tty
    tty.setraw(line_slave)
    os.close(line_slave)

    pid, shell_master = pty.fork()
    if pid == 0:
        os.environ.update({"TERM": args.term, "LINES": str(args.rows), "COLUMNS": str(args.columns),
                           "PS1": "\\[\\e[32;1m\\]user@tessaro\\[\\e[0m\\]:\\[\\e[34;1m\\]\\w\\[\\e[0m\\]$ ",
                           "LANG": "C.UTF-8"})
        os.execv(args.shell, [args.shell, "--norc", "--noprofile", "-i"])

    import fcntl
    import struct
    import termios
    fcntl.ioctl(shell_master, termios.TIOCSWINSZ, struct.pack("HHHH", args.rows, args.columns, 0, 0))

    start = time.monotonic()
    typed = args.type.encode().decode("unicode_escape").encode("latin-1")
    while True:
        if args.seconds and time.monotonic() - start > args.seconds:
            break
        if typed and time.monotonic() - start > args.delay:
            os.write(shell_master, typed)
            typed = b""
        ready, _, _ = select.select([line_master, shell_master], [], [], 0.1)
        if line_master in ready:
            try:
                os.write(shell_master, os.read(line_master, 65536))
            except OSError:
                time.sleep(0.05)  # nobody has the line open (yet)
        if shell_master in ready:
            try:
                data = os.read(shell_master, 65536)
            except OSError:
                break  # the shell ended
            if args.log:
                with open(args.log, "ab") as f:
                    f.write(data)
            os.write(line_master, data)
    try:
        os.kill(pid, 9)
    except OSError:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
