##
## kestrel-eval: a libsigrokdecode decoder for the KESTREL controller.
## Copyright 2026 kestrel-eval maintainers; Expat licence (see the package's
## copyright file).
##

import sigrokdecode as srd
from .chip import (REGISTERS, KESTREL_ADDRESS, PLOVER_ADDRESSES,
                   EEPROM_ADDRESS_HIGH_MIN, PAGE_ERASE, ERASE_CONFIRM,
                   BLOCK_READ, BLOCK_COUNT, HOLD_MS)

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

class Byte:
    '''One byte on the wire: value, samples, acknowledge (None: not seen yet).'''
    def __init__(self, value, ss, es, read, address):
        self.value, self.ss, self.es = value, ss, es
        self.read, self.address = read, address
        self.ack = None
        self.ack_ss = es

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
        elif cmd in ('ADDRESS READ', 'ADDRESS WRITE'):
            if self.bytes is None:
                return
            self.read = cmd == 'ADDRESS READ'
            if value > 0x7F:
                self.warn(ss, es, 'Address %02Xh: set the I2C decoder to shifted addresses' % value)
            byte = ((value & 0x7F) << 1) | (1 if self.read else 0)
            self.bytes.append(Byte(byte, ss, es, False, True))
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
        acknowledge clock and the STOP.'''
        if not self.samplerate:
            return False
        return (stop_ss - last.ack_ss) * 1000.0 / self.samplerate >= HOLD_MS / 2.0

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
        text, pec = None, False
        if complete:
            text, pec = self.classify(segments, b, es, pointer)
        if text is None:
            text = 'Malformed: ' + ' '.join('%02X' % x.value for x in b) if b else 'Malformed: no bytes'
            self.warn(ss, es, text)
        self.put(ss, es, self.out_ann, [0, [text]])
        if pec:
            last = b[-1]
            expected = crc8(x.value for x in b[:-1])
            if last.value == expected:
                self.put(last.ss, last.es, self.out_ann, [1, ['PEC %02Xh correct' % last.value, 'PEC OK']])
            else:
                self.put(last.ss, last.es, self.out_ann,
                         [2, ['PEC error: %02Xh, expected %02Xh' % (last.value, expected), 'PEC error']])

    def classify(self, segments, b, es, pointer):
        '''The transaction's text and whether its last byte is a PEC; None
        for a shape of no known transaction.'''
        kw = self.kestrel
        first = segments[0][0].value
        w = [x.value for x in segments[0][1]]
        if len(segments) == 1 and not w:
            return 'Probe %02Xh' % first, False
        if first in PLOVER_ADDRESSES and len(segments) == 1 and len(w) == 1:
            return 'Switch Write %02Xh: %02Xh' % (first, w[0]), False
        if first != kw:
            if first & 1:
                return 'Other Device %02Xh read' % first, False
            return 'Other Device %02Xh: %s' % (first, ' '.join('%02X' % v for v in w)), False
        eeprom = len(w) >= 2 and w[0] >= EEPROM_ADDRESS_HIGH_MIN
        if len(segments) == 2:
            if segments[1][0].value != (kw | 1):
                return None, False
            r = [x.value for x in segments[1][1]]
            if len(w) == 1 and w[0] == BLOCK_READ:
                if len(r) < 2:
                    return None, False
                count, data = r[0], r[1:-1]
                if count != BLOCK_COUNT or len(data) != count:
                    self.warn(segments[1][1][0].ss, segments[1][1][0].es,
                              'Block count %02Xh, %d bytes read' % (count, len(data)))
                where = ' %04Xh' % pointer if pointer is not None else ''
                return ('Block Read%s, count %02Xh: %s' % (where, count,
                        ' '.join('%02X' % v for v in data)), True)
            if len(r) != 2:
                return None, False
            if len(w) == 1 and w[0] < EEPROM_ADDRESS_HIGH_MIN:
                name = REGISTERS.get(w[0], 'register')
                return 'Read Byte %02Xh %s: %02Xh' % (w[0], name, r[0]), True
            if len(w) == 2 and eeprom:
                return 'EEPROM Read %02X%02Xh: %02Xh' % (w[0], w[1], r[0]), True
            return None, False
        if len(segments) != 1:
            return None, False
        if len(w) == 4 and w[0] == PAGE_ERASE:
            if w[3] != ERASE_CONFIRM:
                self.warn(segments[0][1][3].ss, segments[0][1][3].es,
                          'Page erase confirmed with %02Xh, not %02Xh' % (w[3], ERASE_CONFIRM))
                return None, False
            return 'Page Erase %02X%02Xh, confirmed %02Xh' % (w[1], w[2], w[3]), False
        if len(w) == 2 and eeprom:
            self.pointer = (w[0] << 8) | w[1]
            return 'Address Pointer %02X%02Xh' % (w[0], w[1]), False
        if len(w) == 3 and eeprom:
            if w[2] == 0 and self.held(b[-1], es):
                return 'Zero Write %02X%02Xh' % (w[0], w[1]), False
            return 'EEPROM Write %02X%02Xh: %02Xh' % (w[0], w[1], w[2]), False
        if len(w) == 2:
            name = REGISTERS.get(w[0], 'register')
            return 'Write Byte %02Xh %s: %02Xh' % (w[0], name, w[1]), False
        return None, False
