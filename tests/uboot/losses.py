"""What the relay loses, one policy per case. Deterministic, so a failure repeats."""

DATA = b"\x00\x03"


class NoLoss:
    lost = 0

    def __call__(self, to_guest, payload):
        return False


class EveryNth:
    """Every nth datagram each way; the phases differ so that both DATA and ACK go."""

    def __init__(self, n):
        self.n = n
        self.seen = {True: 0, False: 0}
        self.lost = 0

    def __call__(self, to_guest, payload):
        self.seen[to_guest] += 1
        phase = self.n // 2 if to_guest else 0
        drop = self.seen[to_guest] % self.n == phase
        self.lost += drop
        return drop


class LastBlockOnce:
    """The station's first short DATA: the router must get it again by repeating its ACK."""

    def __init__(self, block=512):
        self.full = 4 + block
        self.lost = 0

    def __call__(self, to_guest, payload):
        drop = (to_guest and not self.lost and payload[:2] == DATA
                and len(payload) < self.full)
        self.lost += drop
        return drop
