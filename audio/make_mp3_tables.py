#!/usr/bin/env python3
"""Generates audio/mp3_tables.cpp: the MPEG audio decoder's constant tables.

Usage: audio/make_mp3_tables.py [audio/mp3_tables.txt] > audio/mp3_tables.cpp
       audio/make_mp3_tables.py --check-reference DIR [audio/mp3_tables.txt]

The listed tables (Huffman codes, scale-factor bands, the synthesis window, the layer II
allocations) come from mp3_tables.txt. The computed ones (powers, gains, IMDCT and synthesis
cosines, windows, intensity ratios) are evaluated here with exact rational and 40-digit decimal
arithmetic, following the single-precision steps the decoder's formulas take, and rounded
correctly to single precision. Nothing depends on a C runtime's pow, sin or cos, so the decoder
gives the same samples wherever it is built. The output is checked in; the decoder test suite
confirms that this script reproduces it byte for byte.

--check-reference DIR compares mp3_tables.txt with the standard's tables in the text form of
its reference software (huffcode, sfbands, dewindow, alloc_0 .. alloc_4 in DIR).
"""
import math
import os
import re
import struct
import sys
from decimal import Decimal, getcontext
from fractions import Fraction

ROOT_BITS = 8   # lookup width of the first Huffman level
SUB_BITS = 6    # lookup width of the deeper levels
RATES = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]

# ---------------------------------------------------------------------------------------------
# reading mp3_tables.txt


def parse_code(text):
    value, length = text.split('/')
    length = int(length)
    code = format(int(value, 16), 'b').zfill(length) if length else ''
    assert len(code) == length, text
    return code


def read_data(path):
    data = {'huff': {}, 'quad': {}, 'bands': {}, 'window': [], 'alloc': {}}
    lines = []
    for raw in open(path):
        line = raw.split('#', 1)[0].rstrip()
        if line.strip():
            lines.append(line)
    i = 0
    while i < len(lines):
        f = lines[i].split()
        i += 1
        if f[0] == 'huff':
            n = int(f[1])
            if f[2] == 'empty':
                data['huff'][n] = {'linbits': 0, 'codes': None, 'same': None}
            elif f[4] == 'same':
                data['huff'][n] = {'linbits': int(f[3]), 'codes': None, 'same': int(f[5])}
            else:
                assert f[4] == 'xmax', f
                xmax = int(f[5])
                codes = []
                for x in range(xmax + 1):
                    row = lines[i].split()
                    i += 1
                    assert len(row) == xmax + 1, (n, x)
                    for y, c in enumerate(row):
                        codes.append(((x << 4) | y, parse_code(c)))
                data['huff'][n] = {'linbits': int(f[3]), 'codes': codes, 'same': None}
        elif f[0] == 'quad':
            assert len(f) == 18, f
            data['quad'][f[1]] = [(v, parse_code(c)) for v, c in enumerate(f[2:])]
        elif f[0] == 'bands':
            data['bands'][(int(f[1]), f[2])] = [int(v) for v in f[3:]]
        elif f[0] == 'window':
            words = f[1:]
            while i < len(lines) and lines[i].startswith(' '):
                words += lines[i].split()
                i += 1
            data['window'] = [int(v) for v in words]
        elif f[0] == 'alloc':
            table, sblimit = int(f[1]), int(f[3])
            rows = []
            while i < len(lines) and lines[i].startswith(' '):
                g = lines[i].split()
                i += 1
                first, last = (int(v) for v in g[0].split('-'))
                assert g[1] == 'nbal' and g[3] == 'steps', g
                steps = [int(v) for v in g[4:]]
                for sb in range(first, last + 1):
                    assert sb == len(rows), (table, sb)
                    rows.append((int(g[2]), steps))
            assert len(rows) == sblimit, table
            data['alloc'][table] = rows
        else:
            raise SystemExit('mp3_tables.txt: unknown line: ' + lines[i - 1])
    return data


def check_data(data):
    for n in range(32):
        t = data['huff'][n]
        if t['codes']:
            kraft = sum(Fraction(1, 2 ** len(c)) for _, c in t['codes'])
            assert kraft == 1, ('incomplete code', n, kraft)
    for name in 'AB':
        assert sum(Fraction(1, 2 ** len(c)) for _, c in data['quad'][name]) == 1, name
    for r in RATES:
        assert sum(data['bands'][(r, 'long')]) == 576 and len(data['bands'][(r, 'long')]) == 22, r
        assert sum(data['bands'][(r, 'short')]) == 192 and len(data['bands'][(r, 'short')]) == 13, r
    assert len(data['window']) == 257


def window_512(half):
    d = list(half) + [0] * 255
    for i in range(1, 256):
        d[512 - i] = half[i] if i % 64 == 0 else -half[i]
    return d


def alloc_entry(steps):
    """(bits, grouped) of a layer II quantisation with `steps` steps."""
    if steps in (3, 5, 9):
        return {3: 5, 5: 7, 9: 10}[steps], 1
    bits = (steps + 1).bit_length() - 1
    assert (1 << bits) == steps + 1, steps
    return bits, 0

# ---------------------------------------------------------------------------------------------
# exact arithmetic: single- and double-precision rounding of rationals, and 40-digit
# transcendental functions whose results are rounded once, correctly


getcontext().prec = 40
MIDPOINT_MARGIN = Fraction(1, 10 ** 20)  # in units in the last place; the values are far closer


def unit_in_last_place(a, bits, emin):
    """The spacing of binary floating-point numbers with `bits` significant bits and exponent
    at least emin around the positive rational a."""
    e = a.numerator.bit_length() - a.denominator.bit_length()
    while Fraction(2) ** e > a:
        e -= 1
    while Fraction(2) ** (e + 1) <= a:
        e += 1
    return Fraction(2) ** (max(e, emin) - (bits - 1))


def round_binary(x, bits, emin):
    """x rounded to the nearest binary floating-point number with `bits` significant bits
    (ties to even), exponent at least emin."""
    x = Fraction(x)
    if x == 0:
        return Fraction(0)
    sign = -1 if x < 0 else 1
    a = abs(x)
    ulp = unit_in_last_place(a, bits, emin)
    q = a / ulp
    n = q.numerator // q.denominator
    r = q - n
    if r > Fraction(1, 2) or (r == Fraction(1, 2) and n % 2 == 1):
        n += 1
    return sign * n * ulp


def f32(x):
    return round_binary(x, 24, -126)


def f64(x):
    return round_binary(x, 53, -1022)


class Approx:
    """A transcendental value known to within 1e-38 relative: rounding it is safe unless it
    lies within that distance of a rounding midpoint, which is checked."""

    def __init__(self, d):
        self.value = Fraction(d)

    def rounded(self, fn, bits):
        r = fn(self.value)
        if self.value == 0:
            return r
        # the distance to the midpoint between two neighbours, in units in the last place
        ulp = unit_in_last_place(abs(self.value), bits, -1022)
        distance = abs(abs(self.value - r) / ulp - Fraction(1, 2))
        assert distance > MIDPOINT_MARGIN, 'too close to a midpoint to round safely'
        return r


def dec(x):
    x = Fraction(x)
    return Decimal(x.numerator) / Decimal(x.denominator)


def compute_pi():
    getcontext().prec += 10
    lasts, t, s, n, na, d, da = 0, Decimal(3), Decimal(3), 1, 0, 0, 24
    while s != lasts:
        lasts = s
        n, na = n + na, na + 8
        d, da = d + da, da + 32
        t = (t * n) / d
        s += t
    getcontext().prec -= 10
    return +s


PI = compute_pi()


def sin_dec(x):
    getcontext().prec += 20
    x = x % (2 * PI)
    term = s = x
    k = 1
    while True:
        term = -term * x * x / ((2 * k) * (2 * k + 1))
        if abs(term) < Decimal(10) ** -(getcontext().prec + 5):
            break
        s += term
        k += 1
    getcontext().prec -= 20
    return +s


def cos_dec(x):
    return sin_dec(x + PI / 2)


def sinf(x):
    return Approx(sin_dec(dec(x))).rounded(f32, 24) if x != 0 else Fraction(0)


def cosf(x):
    return Approx(cos_dec(dec(x))).rounded(f32, 24)


def tanf(x):
    if x == 0:
        return Fraction(0)
    d = dec(x)
    return Approx(sin_dec(d) / cos_dec(d)).rounded(f32, 24)


def cos_double(x):
    return Approx(cos_dec(dec(x))).rounded(f64, 53)


def powf(base, exponent):
    base, exponent = Fraction(base), Fraction(exponent)
    if base == 0:
        return Fraction(0)
    if exponent.denominator == 1:
        return f32(base ** exponent.numerator)
    return Approx((dec(exponent) * dec(base).ln()).exp()).rounded(f32, 24)


def sqrtf(x):
    return Approx(dec(x).sqrt()).rounded(f32, 24)

# ---------------------------------------------------------------------------------------------
# the computed tables, each entry as the decoder's single-precision formula gives it


PI_F = f32(Fraction(3.1415927410125732))  # single-precision pi, used for every angle
PI_D = Fraction(math.pi)                  # the double-precision one of the DCT tables


def computed_tables():
    t = {}
    # gain: entry i + 256 is 2^(-0.25 (i + 210)) for global-gain-relative steps i
    t['kGain'] = [powf(2, f32(Fraction(-1, 4) * f32(i - 256 + 210))) for i in range(512)]
    # |x|^1.3333333333, the decimal constant rounded to single precision
    exponent = f32(Fraction(Decimal('1.3333333333')))
    t['kPower'] = [powf(i, exponent) for i in range(8207)]
    # antialias butterflies
    coefs = [f32(Fraction(Decimal(c))) for c in
             ('-0.6', '-0.535', '-0.33', '-0.185', '-0.095', '-0.041', '-0.0142', '-0.0037')]
    cs, ca = [], []
    for c in coefs:
        sq = sqrtf(f32(1 + f32(c * c)))
        cs.append(f32(1 / sq))
        ca.append(f32(c / sq))
    t['kAntialiasCs'] = cs
    t['kAntialiasCa'] = ca
    # IMDCT windows by block type: normal, start, short (12 values), stop
    step36 = f32(PI_F / 36)
    step12 = f32(PI_F / 12)
    half = Fraction(1, 2)
    w = [[Fraction(0)] * 36 for _ in range(4)]
    for i in range(36):
        w[0][i] = sinf(f32(step36 * (i + half)))
    for i in range(18):
        w[1][i] = w[0][i]
    for i in range(18, 24):
        w[1][i] = Fraction(1)
    for i in range(24, 30):
        w[1][i] = sinf(f32(step12 * (i - 18 + half)))
    for i in range(12):
        w[2][i] = sinf(f32(step12 * (i + half)))
    for i in range(6, 12):
        w[3][i] = sinf(f32(step12 * (i - 6 + half)))
    for i in range(12, 18):
        w[3][i] = Fraction(1)
    for i in range(18, 36):
        w[3][i] = w[0][i]
    t['kImdctWindow'] = w
    # DCT-IV matrices of the IMDCT, cos(pi (2j + 1)(2k + 1) / 4N) in double, then single precision
    def dct(n, k, j):
        return f32(cos_double(f64(f64(f64(PI_D * (2 * j + 1)) * (2 * k + 1)) / (4 * n))))
    t['kDct18'] = [[dct(18, k, j) if j < 18 else Fraction(0) for j in range(20)] for k in range(18)]
    t['kDct6'] = [[dct(6, k, j) for j in range(6)] for k in range(6)]
    # MPEG-1 intensity ratios for positions 0 to 6: t / (1 + t) and 1 / (1 + t), t = tan(i pi / 12)
    ratios = []
    for i in range(7):
        tan = tanf(f32(f32(i * PI_F) / 12))
        ratios.append([f32(tan / f32(1 + tan)), f32(1 / f32(1 + tan))])
    t['kIsRatio'] = ratios
    # lower-sampling-frequency intensity ratios: powers of 2^(-0.25 (j + 1))
    lsf = []
    for j in range(2):
        base = powf(2, f32(Fraction(-1, 4) * (j + 1)))
        rows = []
        for i in range(16):
            p1 = p2 = Fraction(1)
            if i > 0 and i & 1:
                p1 = powf(base, (i + 1) // 2)
            if i > 0 and not i & 1:
                p2 = powf(base, i // 2)
            rows.append([p1, p2])
        lsf.append(rows)
    t['kIsRatioLsf'] = lsf
    # factors 1 / (2 cos(pi (2k + 1) / N)) of the synthesis's fast cosine transform, N = 64 .. 4
    factors = []
    for size in (64, 32, 16, 8, 4):
        for k in range(size // 4):
            c = cosf(f32(f32(PI_F * (2 * k + 1)) / size))
            factors.append(f32(1 / f32(2 * c)))
    t['kDctFactors'] = factors
    # layer I and II scale factors: 2^(1 - i / 3), and 0 for index 63
    t['kLayer2Scale'] = [powf(2, f32(1 - f32(Fraction(i) / 3))) for i in range(63)] + [Fraction(0)]
    return t


def float_literal(x):
    """The shortest decimal that a C++ compiler reads back as the single-precision value x."""
    x = Fraction(x)
    assert f32(x) == x
    if x == 0:
        return '0.0f'
    v = float(x)
    for digits in range(1, 10):
        s = '%.*g' % (digits, v)
        if f32(Fraction(Decimal(s))) == x:
            break
    if '.' not in s and 'e' not in s:
        s += '.0'
    return s + 'f'

# ---------------------------------------------------------------------------------------------
# the Huffman lookup


def build_lookup(codes, out, root=True):
    """Appends a multi-level lookup for `codes` (value, remaining code string) to `out`.
    Returns (start index, bits). Entries: leaf = value | (length << 8);
    link = 0x10000 | subbits | (start << 17)."""
    maxlen = max(len(c) for _, c in codes)
    bits = min(maxlen, ROOT_BITS if root else SUB_BITS)
    start = len(out)
    out.extend([None] * (1 << bits))
    longer = {}
    for value, code in codes:
        if len(code) <= bits:
            pad = bits - len(code)
            base = int(code, 2) << pad if code else 0
            for i in range(1 << pad):
                assert out[start + base + i] is None
                out[start + base + i] = value | (len(code) << 8)
        else:
            longer.setdefault(code[:bits], []).append((value, code[bits:]))
    for prefix, sub in sorted(longer.items()):
        sub_start, sub_bits = build_lookup(sub, out, False)
        out[start + int(prefix, 2)] = 0x10000 | sub_bits | (sub_start << 17)
    for i in range(start, start + (1 << bits)):
        if out[i] is None:
            out[i] = 0  # unreachable for a complete code
    return start, bits

# ---------------------------------------------------------------------------------------------
# output


def emit_floats(w, decl, values, per_line=6):
    w(decl + ' = {')
    for i in range(0, len(values), per_line):
        w('    ' + ', '.join(float_literal(v) for v in values[i:i + per_line]) + ',')
    w('};')


def emit_float_rows(w, decl, rows, per_line=6):
    w(decl + ' = {')
    for row in rows:
        w('    {')
        for i in range(0, len(row), per_line):
            w('        ' + ', '.join(float_literal(v) for v in row[i:i + per_line]) + ',')
        w('    },')
    w('};')


def generate(data):
    out = []
    w = out.append
    w('// Generated by audio/make_mp3_tables.py from audio/mp3_tables.txt; do not edit.')
    w('#include "audio/mp3_tables.h"')
    w('')

    lookup = []
    info = []
    roots = {}
    for n in range(34):
        if n < 32:
            t = data['huff'][n]
            source = t['same'] if t['same'] is not None else n
            codes = data['huff'][source]['codes']
            linbits = t['linbits']
        else:
            source = n
            codes = data['quad']['AB'[n - 32]]
            linbits = 0
        if not codes:
            info.append((0, 0, linbits))
            continue
        if source not in roots:
            roots[source] = build_lookup(list(codes), lookup)
        s, b = roots[source]
        info.append((s, b, linbits))
    assert len(lookup) < (1 << 15)
    w('const uint32_t kHuffLookup[%d] = {' % len(lookup))
    for i in range(0, len(lookup), 8):
        w('  ' + ', '.join('0x%x' % v for v in lookup[i:i + 8]) + ',')
    w('};')
    w('')
    w('const HuffTableInfo kHuffTables[34] = {')
    for n, (s, b, lb) in enumerate(info):
        w('  {%d, %d, %d},  // %d' % (s, b, lb, n))
    w('};')
    w('')

    def starts(widths):
        return [sum(widths[:i]) for i in range(len(widths) + 1)]
    w('const int16_t kLongBands[9][23] = {')
    for r in RATES:
        w('  {' + ', '.join(map(str, starts(data['bands'][(r, 'long')]))) + '},')
    w('};')
    w('const int16_t kShortBands[9][14] = {')
    for r in RATES:
        w('  {' + ', '.join(map(str, starts(data['bands'][(r, 'short')]))) + '},')
    w('};')
    w('')

    dw = window_512(data['window'])
    w('const float kSynthesisWindow[512] = {')
    for i in range(0, 512, 8):
        w('  ' + ', '.join('%s%d.%09df' % ('-' if v < 0 else '', abs(v) // 10 ** 9, abs(v) % 10 ** 9)
                           for v in dw[i:i + 8]) + ',')
    w('};')
    w('')

    entries = []
    sbinfo = []
    limits = []
    for k in range(5):
        rows = data['alloc'][k]
        limits.append(len(rows))
        table = []
        for nbal, steps in rows:
            assert len(steps) + 1 == (1 << nbal), (k, nbal, len(steps))
            table.append((nbal, len(entries)))
            entries.append((0, 0, 0))
            for s in steps:
                bits, grouped = alloc_entry(s)
                entries.append((s, bits, grouped))
        sbinfo.append(table)
    w('const AllocEntry kAllocEntries[%d] = {' % len(entries))
    for i in range(0, len(entries), 6):
        w('  ' + ', '.join('{%d, %d, %d}' % e for e in entries[i:i + 6]) + ',')
    w('};')
    w('const int kAllocLimit[5] = {' + ', '.join(map(str, limits)) + '};')
    w('const AllocSubband kAllocSubbands[5][32] = {')
    for rows in sbinfo:
        rows = rows + [(0, 0)] * (32 - len(rows))
        w('  {' + ', '.join('{%d, %d}' % r for r in rows) + '},')
    w('};')
    w('')

    t = computed_tables()
    emit_floats(w, 'const float kGain[512]', t['kGain'])
    w('')
    emit_floats(w, 'const float kPower[8207]', t['kPower'])
    w('')
    emit_floats(w, 'const float kAntialiasCs[8]', t['kAntialiasCs'], 4)
    emit_floats(w, 'const float kAntialiasCa[8]', t['kAntialiasCa'], 4)
    w('')
    emit_float_rows(w, 'alignas(16) const float kImdctWindow[4][36]', t['kImdctWindow'])
    w('')
    emit_float_rows(w, 'alignas(16) const float kDct18[18][20]', t['kDct18'], 5)
    emit_float_rows(w, 'const float kDct6[6][6]', t['kDct6'])
    w('')
    emit_float_rows(w, 'const float kIsRatio[7][2]', t['kIsRatio'])
    w('const float kIsRatioLsf[2][16][2] = {')
    for rows in t['kIsRatioLsf']:
        w('    {')
        for i in range(0, 16, 4):
            w('        ' + ' '.join('{%s, %s},' % (float_literal(a), float_literal(b))
                                    for a, b in rows[i:i + 4]))
        w('    },')
    w('};')
    w('')
    emit_floats(w, 'const float kDctFactors[31]', t['kDctFactors'])
    w('')
    emit_floats(w, 'const float kLayer2Scale[64]', t['kLayer2Scale'])
    w('')
    return '\n'.join(out) + '\n'

# ---------------------------------------------------------------------------------------------
# comparison with the reference text files


def check_reference(data, ref):
    problems = []
    tables = {}
    cur = None
    for line in open(os.path.join(ref, 'huffcode')):
        line = line.split('#', 1)[0].strip()
        if not line:
            continue
        if line.startswith('.table'):
            f = line.split()
            cur = {'n': int(f[1]), 'linbits': int(f[4]), 'codes': [], 'ref': None}
            tables[cur['n']] = cur
        elif line.startswith('.reference') or line.startswith('.referenz'):
            cur['ref'] = int(line.split()[1])
        elif line.startswith('.end'):
            break
        else:
            f = line.split()
            if cur['n'] >= 32:
                cur['codes'].append((int(f[0]), f[2]))
            else:
                cur['codes'].append(((int(f[0]) << 4) | int(f[1]), f[3]))
    for n in range(32):
        ours, theirs = data['huff'][n], tables[n]
        if ours['linbits'] != theirs['linbits'] or ours['same'] != theirs['ref']:
            problems.append('Huffman table %d: linbits or shared codes differ' % n)
        if sorted(ours['codes'] or []) != sorted(theirs['codes']):
            problems.append('Huffman table %d: codes differ' % n)
    for n, name in ((32, 'A'), (33, 'B')):
        if sorted(data['quad'][name]) != sorted(tables[n]['codes']):
            problems.append('count1 table %s differs' % name)
    for line in open(os.path.join(ref, 'sfbands')):
        line = line.split('#', 1)[0].strip()
        if not line:
            continue
        f = line.split()
        bounds = [int(v) for v in f[3:]]
        widths = [bounds[i + 1] - bounds[i] for i in range(len(bounds) - 1)]
        if data['bands'].get((int(f[1]), f[2])) != widths:
            problems.append('bands %s %s differ' % (f[1], f[2]))
    vals = {int(m.group(1)): m.group(2) for m in
            re.finditer(r'D\[\s*(\d+)\]\s*=\s*([-+0-9.eE]+)', open(os.path.join(ref, 'dewindow')).read())}
    ours = window_512(data['window'])
    for i in range(512):
        if Decimal(vals[i]) != Decimal(ours[i]) / 10 ** 9:
            problems.append('window D[%d] differs' % i)
    for k in range(5):
        lines = [l.split() for l in open(os.path.join(ref, 'alloc_%d' % k)) if l.strip()]
        rows = data['alloc'][k]
        if int(lines[0][0]) != len(rows):
            problems.append('alloc %d: subband count differs' % k)
            continue
        for f in lines[1:]:
            sb, idx, steps, bits, group, _ = map(int, f)
            nbal, ours_steps = rows[sb]
            if idx == 0:
                if bits != nbal:
                    problems.append('alloc %d subband %d: nbal differs' % (k, sb))
            elif idx > len(ours_steps) or ours_steps[idx - 1] != steps or \
                    alloc_entry(steps) != (bits, 1 if group == 1 else 0):
                problems.append('alloc %d subband %d index %d differs' % (k, sb, idx))
    return problems


def main():
    args = sys.argv[1:]
    reference = None
    if args[:1] == ['--check-reference']:
        if len(args) < 2:
            raise SystemExit(__doc__)
        reference = args[1]
        args = args[2:]
    path = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'mp3_tables.txt')
    data = read_data(path)
    check_data(data)
    if reference:
        problems = check_reference(data, reference)
        for p in problems:
            print(p)
        print('%s: %s' % (path, 'differs from the reference' if problems else 'matches the reference'))
        sys.exit(1 if problems else 0)
    sys.stdout.write(generate(data))


if __name__ == '__main__':
    main()
