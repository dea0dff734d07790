#!/usr/bin/python3
"""Yardstick for pop_retrieval_bench: Python's own POP3 reading, in clear and over TLS.

Usage: pop3s_yardstick.py PORT USER PASSWORD [--tls CAFILE]

Connects to 127.0.0.1:PORT (with --tls: TLS from the first byte, the
certificate checked against CAFILE, as Python's ssl module does it), logs in,
and for every message sends LIST n and RETR n and reads the message up to
its terminating line, throwing it away. Prints the bytes the LIST replies
announced and the wall-clock seconds from the connect to the reply to QUIT.
It tells how much of a difference between clear and TLS retrieval the server
makes, whatever the client.
"""

import socket
import ssl
import sys
import time


def main():
    port = int(sys.argv[1])
    user, password = sys.argv[2], sys.argv[3]
    authority = sys.argv[5] if len(sys.argv) > 5 and sys.argv[4] == "--tls" else None
    start = time.monotonic()
    connection = socket.create_connection(("127.0.0.1", port))
    if authority:
        context = ssl.create_default_context(cafile=authority)
        connection = context.wrap_socket(connection, server_hostname="127.0.0.1")
    reader = connection.makefile("rb", buffering=65536)

    def command(text):
        if text:
            connection.sendall(text.encode("ascii") + b"\r\n")
        return reader.readline()

    command("")
    command("USER " + user)
    if not command("PASS " + password).startswith(b"+OK"):
        sys.exit("login refused")
    count = int(command("STAT").split()[1])
    announced = 0
    for number in range(1, count + 1):
        announced += int(command("LIST %d" % number).split()[2])
        if not command("RETR %d" % number).startswith(b"+OK"):
            sys.exit("RETR %d refused" % number)
        while reader.readline() not in (b".\r\n", b""):
            pass
    command("QUIT")
    print(announced, time.monotonic() - start)
    return 0


if __name__ == "__main__":
    sys.exit(main())
