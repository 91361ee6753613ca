#!/usr/bin/env python3
"""A network serial server for one peer program: listens on 127.0.0.1 (the
port is printed), runs COMMAND on the first connection, joined to it by
pipes, and flips one bit of the byte at OFFSET of what goes to the program
("in:OFFSET") or comes from it ("out:OFFSET"), once: a block damaged on the
line."""
import socket, subprocess, sys, threading

way, offset = sys.argv[1].split(":")
server = socket.create_server(("127.0.0.1", 0))
print(server.getsockname()[1], flush=True)
conn, _ = server.accept()
peer = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)

def relay(read, write, damaged):
    seen = 0
    while data := read(4096):
        if damaged and seen <= int(offset) < seen + len(data):
            data = bytearray(data)
            data[int(offset) - seen] ^= 0x01
        seen += len(data)
        write(bytes(data))

def inward():
    relay(conn.recv, lambda b: (peer.stdin.write(b), peer.stdin.flush()), way == "in")
    peer.stdin.close()

threading.Thread(target=inward, daemon=True).start()
relay(peer.stdout.read1, conn.sendall, way == "out")
peer.wait()
conn.close()
