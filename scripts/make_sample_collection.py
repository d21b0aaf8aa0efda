#!/usr/bin/env python3
"""Writes samples/sample.tdr byte by byte: a small collection with one trace
recorded by hand and one scripted coupon, for the README's first command."""
import math
import struct
import sys


def i32(v):
    return struct.pack('<i', v)


def f64(v):
    return struct.pack('<d', v)


def string(text):
    data = text.encode('latin-1')
    assert len(data) < 255
    return bytes([len(data)]) + data


def criterion(cid, name, target, error, start, end, double_ended):
    low, high = target - target * error * 0.01, target + target * error * 0.01
    return (i32(cid) + string(name) + f64(target) + f64(error) + f64(high) + f64(low) +
            f64(end) + f64(start) + i32(double_ended))


def profile(nominal, wiggle):
    samples = []
    for i in range(750):
        position = i / 75.0
        launch = 6.0 * math.exp(-((position - 0.3) / 0.15) ** 2)
        ripple = wiggle * math.sin(position * 2.1) + 0.2 * math.sin(position * 9.0)
        end = 40.0 / (1.0 + math.exp(-(position - 9.2) * 12.0))
        samples.append((position, nominal + launch + ripple + end))
    return samples


def trace(name, time, element, crit, samples):
    window = [z for p, z in samples if crit[4] <= p <= crit[5]]
    average = sum(window) / len(window)
    deviation = math.sqrt(sum((z - average) ** 2 for z in window) / len(window))
    maximum, minimum = max([0.0] + window), min(window)
    low, high = crit[2] - crit[2] * crit[3] * 0.01, crit[2] + crit[2] * crit[3] * 0.01
    passed = all(low <= z <= high for z in window)
    payload = (i32(2) + string(name) + i32(time) + f64(average) + f64(deviation) +
               f64(maximum) + f64(minimum) + i32(1 if passed else 0) + i32(element) +
               i32(len(samples)))
    payload += b''.join(f64(p) + f64(z) for p, z in samples)
    return payload + criterion(*crit)


def main(path):
    se50 = (0, 'SE 50 ohm', 50.0, 10.0, 4.0, 7.0, 0)
    diff100 = (1, 'Diff 100 ohm', 100.0, 10.0, 4.0, 7.0, 1)
    out = i32(4) + i32(2)
    out += i32(1) + i32(1) + i32(0) + trace('Sample #: 1', 1796729600, 0, se50,
                                               profile(50.3, 0.4))
    script = (i32(3) + i32(1) + string('Lot 4471 impedance') + i32(0) + string('LOT4471-') +
              string('Acme Boards') + string('J-2209') + string('Station 3') + string('Kim') +
              i32(1002) + i32(1) + i32(1) + i32(0) + string('-SE') + i32(1) + i32(1) + i32(1) +
              string('-DIFF') + i32(0))
    out += i32(1) + i32(2) + i32(0) + script
    out += i32(1) + i32(3) + i32(0) + i32(1) + string('1001')
    out += i32(1) + i32(1) + i32(2) + trace('LOT4471-1001-SE', 1796729700, 1, se50,
                                               profile(51.1, 0.6))
    diff = [(p, 2 * z - 1.5) for p, z in profile(50.0, 0.3)]
    out += i32(1) + i32(1) + i32(2) + trace('LOT4471-1001-DIFF', 1796729760, 2, diff100, diff)
    out += i32(0)
    with open(path, 'wb') as f:
        f.write(out)


def library(path):
    """A criteria library with the usual single-ended and differential criteria
    and one script, as a new station would start with."""
    out = i32(3)
    prefs = ['Orvik Demo Lab', '1 Test Street', 'Springfield', '555-0100', '555-0101',
             'lab@example.com', 'www.example.com', '', '']
    out += b''.join(string(p) for p in prefs) + i32(0)
    criteria = [(0, 'SE 50 ohm', 50.0, 10.0, 4.0, 7.0, 0),
                (1, 'Diff 100 ohm', 100.0, 10.0, 4.0, 7.0, 1),
                (2, 'SE 75 ohm', 75.0, 10.0, 4.0, 7.0, 0),
                (3, 'Diff 90 ohm', 90.0, 10.0, 4.0, 7.0, 1)]
    for c in criteria:
        out += i32(1) + criterion(*c)
    out += i32(0)
    script = (i32(3) + i32(1) + string('Lot impedance') + i32(0) + string('LOT-') +
              string('Acme Boards') + string('J-2209') + string('Station 3') + string('Kim') +
              i32(100) + i32(1) + i32(1) + i32(0) + string('-SE') + i32(1) + i32(1) + i32(1) +
              string('-DIFF') + i32(0))
    out += i32(1) + script + i32(0)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'samples/sample.tdr')
    library(sys.argv[2] if len(sys.argv) > 2 else 'samples/criteria.dat')
