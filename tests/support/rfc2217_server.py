# An RFC 2217 device server for the tests: pyserial's own port manager in
# front of the serial device named on the command line. It prints the TCP
# port it listens on and serves one client at a time.
import socket, sys, termios, threading
import serial, serial.rfc2217


class Device(serial.Serial):
    # A pseudo-terminal has no modem lines: they read as off and setting
    # them does nothing.
    cts = dsr = ri = cd = False

    def _update_dtr_state(self):
        pass

    def _update_rts_state(self):
        pass

    def _reconfigure_port(self, force_update=False):
        try:
            super()._reconfigure_port(force_update)
        except termios.error:
            # Some kernels refuse 7 data bits or parity on a pseudo-terminal,
            # which keeps 8N anyway: set all the rest.
            wanted = self._bytesize, self._parity
            self._bytesize, self._parity = 8, serial.PARITY_NONE
            try:
                super()._reconfigure_port(force_update)
            finally:
                self._bytesize, self._parity = wanted


def serve(device, conn):
    manager = serial.rfc2217.PortManager(device, type('', (), {'write': conn.sendall})())
    alive = True

    def to_client():
        while alive:
            try:
                data = device.read(device.in_waiting or 1)
            except serial.SerialException:
                continue  # a purge emptied the device between select and read
            if data:
                conn.sendall(b''.join(manager.escape(data)))

    reader = threading.Thread(target=to_client, daemon=True)
    reader.start()
    try:
        while data := conn.recv(4096):
            device.write(b''.join(manager.filter(data)))
    finally:
        alive = False
        reader.join()
        conn.close()


def main():
    device = Device(sys.argv[1], timeout=0.02)
    server = socket.create_server(('127.0.0.1', 0))
    print(server.getsockname()[1], flush=True)
    while True:
        conn, _ = server.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            serve(device, conn)
        except OSError:
            pass  # the client went away


main()
