"""Ethernet frames from QEMU's dgram netdev to the station's loopback port and back.

QEMU sends each frame of the guest as one UDP datagram to the relay. The relay
answers ARP for the station's address and passes the guest's UDP payloads to
the station from one loopback socket per guest port, so the station sees one
peer per transfer as it would see one router. Nothing leaves 127.0.0.1: the
guest's addresses exist only inside the frames.
"""
import select
import socket
import struct
import threading

ETH_ARP = 0x0806
ETH_IPV4 = 0x0800
STATION_MAC = bytes.fromhex("020000000055")


def ipv4_checksum(header):
    total = sum(struct.unpack(f"!{len(header) // 2}H", header))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


class FrameRelay:
    def __init__(self, station_port, station_ip, tftp_port=69):
        self.station_port = station_port
        self.station_ip = socket.inet_aton(station_ip)
        self.tftp_port = tftp_port
        # drop(to_guest, payload) -> True loses the datagram; set per case.
        self.drop = lambda to_guest, payload: False
        self.frames = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.frames.bind(("127.0.0.1", 0))
        self.port = self.frames.getsockname()[1]
        self.qemu = None  # learnt from the guest's first frame (its ARP)
        self.guest = None  # (mac, ip)
        self.peers = {}  # guest UDP port -> loopback socket towards the station
        self.sizes = set()  # of the station's datagrams
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(5)
        for s in [self.frames, *self.peers.values()]:
            s.close()

    def _run(self):
        while not self._stop.is_set():
            readable, _, _ = select.select([self.frames, *self.peers.values()], [], [], 0.2)
            for s in readable:
                try:
                    if s is self.frames:
                        frame, self.qemu = s.recvfrom(2048)
                        self._from_guest(frame)
                    else:
                        self._from_station(s, *s.recvfrom(2048))
                except ConnectionRefusedError:
                    pass  # the station is gone: U-Boot times out and says so

    def _from_guest(self, frame):
        if len(frame) < 42:  # shorter than an ARP or a UDP frame
            return
        kind = struct.unpack_from("!H", frame, 12)[0]
        if kind == ETH_ARP:
            op, sender_mac, sender_ip, target_ip = struct.unpack_from("!6xH6s4s6x4s", frame, 14)
            if op == 1 and target_ip == self.station_ip:
                self.guest = (sender_mac, sender_ip)
                arp = struct.pack("!HHBBH6s4s6s4s", 1, ETH_IPV4, 6, 4, 2, STATION_MAC,
                                  self.station_ip, sender_mac, sender_ip)
                self._to_guest(sender_mac, ETH_ARP, arp)
        elif kind == ETH_IPV4 and frame[23] == 17:
            ihl = (frame[14] & 0x0F) * 4
            if frame[30:34] != self.station_ip or len(frame) < 14 + ihl + 8:
                return
            self.guest = (frame[6:12], frame[26:30])
            sport, _, length = struct.unpack_from("!HHH", frame, 14 + ihl)
            payload = frame[14 + ihl + 8:14 + ihl + length]
            if self.drop(False, payload):
                return
            peer = self.peers.get(sport)
            if peer is None:
                peer = self.peers[sport] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                peer.bind(("127.0.0.1", 0))
            peer.sendto(payload, self._server(sport, payload))

    def _server(self, guest_port, payload):
        # Where a guest's datagram goes (the benchmark follows in.tftpd's ports).
        return ("127.0.0.1", self.station_port)

    def _from_station(self, peer, payload, source):
        self.sizes.add(len(payload))
        if self.guest is None or self.drop(True, payload):
            return
        gport = next(p for p, s in self.peers.items() if s is peer)
        udp = struct.pack("!HHHH", self.tftp_port, gport, 8 + len(payload), 0) + payload
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0,
                         self.station_ip, self.guest[1])
        ip = ip[:10] + struct.pack("!H", ipv4_checksum(ip)) + ip[12:]
        self._to_guest(self.guest[0], ETH_IPV4, ip + udp)

    def _to_guest(self, mac, kind, body):
        if self.qemu is not None:
            self.frames.sendto(mac + STATION_MAC + struct.pack("!H", kind) + body, self.qemu)
