#!/usr/bin/python3
"""Yardstick for smtp_forward_bench: a plain smtplib client sending given bytes.

Usage: smtp_yardstick.py PORT MESSAGE_FILE REPETITIONS

Sends the file's bytes as one message to 127.0.0.1:PORT (HELO, MAIL FROM,
RCPT TO, DATA; smtplib does the dot-stuffing and the CR LF line ends itself),
REPETITIONS times, and prints the fastest wall-clock time of one send in
seconds, connection and QUIT included, the way the forward is timed.
"""

import smtplib
import sys
import time


def main():
    port = int(sys.argv[1])
    with open(sys.argv[2], "rb") as stream:
        data = stream.read()
    best = None
    for _ in range(int(sys.argv[3])):
        start = time.perf_counter()
        client = smtplib.SMTP("127.0.0.1", port)
        client.helo()
        client.sendmail("yardstick@example.com", ["bob@example.com"], data)
        client.quit()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print("%.6f" % best)
    return 0


if __name__ == "__main__":
    sys.exit(main())
