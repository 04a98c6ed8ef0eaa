##
## kestrel-eval: a libsigrokdecode decoder for the KESTREL controller.
## Copyright 2026 kestrel-eval maintainers; Expat licence (see the package's
## copyright file).
##

'''
This decoder stacks on top of the 'i2c' decoder (with its default, shifted
address format) and names the KESTREL power-supply controller's SMBus
transactions and the PLOVER switch writes on the same bus: register reads
with the register's name and value, register writes, EEPROM byte reads and
writes, page erase with its FFh confirmation, zero write, the address pointer
and block read with its count. Every PEC is checked (CRC-8, x^8+x^2+x+1, over
every byte on the wire including both address bytes); missing acknowledges
and transactions of no known shape are marked.

A zero write and an EEPROM byte write of 00h differ only in the chip's
EEPROM cycle held before the STOP; a hold of at least half the cycle names a
zero write (this needs the capture's samplerate).
'''

from .pd import Decoder
