##
## kestrel-eval: a libsigrokdecode decoder for the KESTREL controller.
## Copyright 2026 kestrel-eval maintainers; Expat licence (see the package's
## copyright file).
##

import sigrokdecode as srd
from .chip import (REGISTERS, KESTREL_ADDRESS, PLOVER_ADDRESSES,
                   EEPROM_ADDRESS_HIGH_MIN, BLOCK_COUNT, ZERO_WRITE_HOLD_MS,
                   MALFORMED, KINDS)

def crc8(data):
    '''SMBus PEC: CRC-8, polynomial x^8+x^2+x+1 (07h), initial value 0.'''
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc

def parse_address(text):
    '''An address byte as "AE", "AEh" or "0xAE"; None if it is not one.'''
    t = str(text).strip().lower()
    if t.endswith('h'):
        t = t[:-1]
    if t.startswith('0x'):
        t = t[2:]
    try:
        v = int(t, 16)
    except ValueError:
        return None
    return v & 0xFE if 0 <= v <= 0xFF else None

def matches(pattern, value):
    '''Whether a byte written fits a pattern of the kinds table.'''
    kind, wanted = pattern
    if kind == 'register':
        return value < EEPROM_ADDRESS_HIGH_MIN
    if kind == 'eeprom-high':
        return value >= EEPROM_ADDRESS_HIGH_MIN
    if kind == 'exactly':
        return value == wanted
    return True

class Byte:
    '''One byte on the wire: value, samples, acknowledge (None: not seen yet),
    and whether a repeated START came just before it.'''
    def __init__(self, value, ss, es, read, address, restart=False):
        self.value, self.ss, self.es = value, ss, es
        self.read, self.address, self.restart = read, address, restart
        self.ack = None
        self.ack_ss = es

    def text(self):
        '''The byte as the bus monitor lists it: "1D+", "<5A-".'''
        mark = '' if self.ack is None else '+' if self.ack else '-'
        return ('<' if self.read else '') + '%02X' % self.value + mark

class Decoder(srd.Decoder):
    api_version = 3
    id = 'kestrel'
    name = 'KESTREL'
    longname = 'KESTREL power-supply controller'
    desc = 'KESTREL SMBus transactions with PEC check, and PLOVER switch writes.'
    license = 'mit'
    inputs = ['i2c']
    outputs = []
    tags = ['IC']
    options = (
        {'id': 'address', 'desc': 'KESTREL address byte (write)',
            'default': '%02Xh' % KESTREL_ADDRESS},
    )
    annotations = (
        ('transaction', 'Transaction'),
        ('pec-ok', 'PEC correct'),
        ('pec-error', 'PEC error'),
        ('warning', 'Warning'),
    )
    annotation_rows = (
        ('transactions', 'Transactions', (0,)),
        ('pec', 'PEC', (1, 2)),
        ('warnings', 'Warnings', (3,)),
    )

    def __init__(self):
        self.reset()

    def reset(self):
        self.samplerate = None
        self.bytes = None      # the bytes of the transaction under way
        self.ss = None         # its START
        self.read = False      # the phase after the last address byte
        self.restart = False   # a repeated START came, its address byte not yet
        self.pointer = None    # the address pointer just set, for a block read

    def metadata(self, key, value):
        if key == srd.SRD_CONF_SAMPLERATE:
            self.samplerate = value

    def start(self):
        self.out_ann = self.register(srd.OUTPUT_ANN)
        self.kestrel = parse_address(self.options['address'])
        if self.kestrel is None:
            raise Exception('KESTREL address byte "%s" is not a hex byte' %
                            self.options['address'])

    def warn(self, ss, es, text):
        self.put(ss, es, self.out_ann, [3, [text]])

    def decode(self, ss, es, data):
        cmd, value = data
        if cmd == 'START':
            if self.bytes is not None:
                self.warn(self.ss, ss, 'Malformed: START without STOP')
            self.bytes, self.ss, self.read = [], ss, False
        elif cmd == 'START REPEAT':
            if self.bytes is None:
                self.bytes, self.ss = [], ss
            else:
                self.restart = True
        elif cmd in ('ADDRESS READ', 'ADDRESS WRITE'):
            if self.bytes is None:
                return
            self.read = cmd == 'ADDRESS READ'
            if value > 0x7F:
                self.warn(ss, es, 'Address %02Xh: set the I2C decoder to shifted addresses' % value)
            byte = ((value & 0x7F) << 1) | (1 if self.read else 0)
            self.bytes.append(Byte(byte, ss, es, False, True, self.restart))
            self.restart = False
        elif cmd in ('DATA READ', 'DATA WRITE'):
            if self.bytes is None:
                return
            self.bytes.append(Byte(value, ss, es, cmd == 'DATA READ', False))
        elif cmd in ('ACK', 'NACK'):
            if self.bytes:
                self.bytes[-1].ack = cmd == 'ACK'
                self.bytes[-1].ack_ss = ss
        elif cmd == 'STOP':
            if self.bytes is not None:
                self.finish(es)
            self.bytes = None

    def held(self, last, stop_ss):
        '''Whether the chip's EEPROM cycle was held between the last
        acknowledge clock and the STOP (never without a samplerate).'''
        if not self.samplerate:
            return False
        return (stop_ss - last.ack_ss) * 1000.0 / self.samplerate >= ZERO_WRITE_HOLD_MS

    def finish(self, es):
        b = self.bytes
        ss = self.ss
        # Segments: an address byte and the bytes after it.
        segments = []
        for x in b:
            if x.address:
                segments.append([x, []])
            elif segments:
                segments[-1][1].append(x)
        pointer, self.pointer = self.pointer, None
        # Missing acknowledges of bytes the master sent.
        for x in b:
            if not x.read and x.ack is False:
                self.warn(x.ss, x.ack_ss, 'No acknowledge: %02Xh' % x.value)
        complete = bool(b) and all(x.ack is not None for x in b) and b[0].address
        text, kind = None, None
        if complete:
            kind = self.classify(segments, b, es)
        if kind is not None:
            text = self.describe(kind, segments, b, pointer)
        else:
            text = MALFORMED + ': ' + ' '.join('%02X' % x.value for x in b) if b else MALFORMED + ': no bytes'
            self.warn(ss, es, text)
        self.put(ss, es, self.out_ann, [0, [text]])
        if kind is not None and kind['pec']:
            last = b[-1]
            expected = crc8(x.value for x in b[:-1])
            if last.value == expected:
                self.put(last.ss, last.es, self.out_ann, [1, ['PEC %02Xh correct' % last.value, 'PEC OK']])
            else:
                self.put(last.ss, last.es, self.out_ann,
                         [2, ['PEC error: %02Xh, expected %02Xh' % (last.value, expected), 'PEC error']])

    def fits(self, k, segments, b, es):
        '''Whether a complete transaction has the shape of kind k (the same
        rules as the program's capture decoder).'''
        kw = self.kestrel
        first = b[0].value
        if k['slave'] == 'kestrel' and first != kw:
            return False
        if k['slave'] == 'plover' and first not in PLOVER_ADDRESSES:
            return False
        if k['slave'] == 'other':
            return first != kw
        if first & 1:
            # A read address first: only an address alone fits (a probe).
            return not k['written'] and k['read'] == 'none' and len(b) == 1
        if len(segments) != (1 if k['read'] == 'none' else 2):
            return False
        w = segments[0][1]
        if any(x.read for x in w) or len(w) != len(k['written']):
            return False
        if not all(matches(p, x.value) for p, x in zip(k['written'], w)):
            return False
        if k['read'] != 'none':
            address, r = segments[1]
            if address.value != (first | 1) or any(not x.read for x in r):
                return False
            if len(r) != k['read_count'] if k['read'] == 'bytes' else len(r) < 2:
                return False
        return not k['held'] or self.held(b[-1], es)

    def classify(self, segments, b, es):
        '''The first kind whose shape the transaction has; None for none.'''
        for k in KINDS:
            if self.fits(k, segments, b, es):
                if k['sets_pointer']:
                    w = segments[0][1]
                    self.pointer = (w[0].value << 8) | w[1].value
                return k
        return None

    def describe(self, k, segments, b, pointer):
        '''The transaction's words, from the kind's text.'''
        w = [x.value for x in segments[0][1]]
        r = [x.value for x in segments[1][1]] if len(segments) > 1 else []
        fields = {
            'a': '%02X' % b[0].value,
            'reg': REGISTERS.get(w[0], 'register') if w else '',
            'r0': '%02X' % r[0] if r else '',
            'at': ' %04Xh' % pointer if pointer is not None else '',
            'block': ' '.join('%02X' % v for v in r[1:-1]),
            'wire': ' '.join(('Sr ' if x.restart else '') + x.text() for x in b[1:]),
        }
        for i in range(4):
            fields['w%d' % i] = '%02X' % w[i] if i < len(w) else ''
        if k['read'] == 'block':
            count, data = r[0], r[1:-1]
            if count != BLOCK_COUNT or len(data) != count:
                first = segments[1][1][0]
                self.warn(first.ss, first.es, 'Block count %02Xh, %d bytes read' % (count, len(data)))
        return k['text'].format(**fields)
