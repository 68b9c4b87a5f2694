#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes the seed corpora of the fuzz targets into corpus/<target>/, one small file per seed,
# named after what it holds. Run it again after changing a seed; the fuzz tests only read them.
import math
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
LOCALES = ["C", "en_US", "de_DE", "sv_SE", "ar_EG", "fr_FR"]  # selector bytes '0' to '5'
DBL_MAX = sys.float_info.max


def locale_byte(name):
    return str(LOCALES.index(name)).encode()


TEXTS = [
    ("C", "plain", "1.5"), ("C", "negative", "-2.25"), ("C", "plus", "+3"),
    ("C", "spaces", "  42.5  "), ("C", "exponent", "1.5e3"), ("C", "leading-point", ".5"),
    ("C", "nan", "nan"), ("C", "inf", "-inf"), ("C", "beyond-range", "1e309"),
    ("C", "below-range", "1e-400"), ("C", "subnormal", "4.94065645841247E-324"),
    ("C", "trailing-letters", "12abc"), ("C", "empty", ""), ("C", "bad-exponent", "1e"),
    ("en_US", "grouped", "1,234,567.5"), ("en_US", "exponent", "1.5E+20"),
    ("en_US", "bad-group", "1,5"),
    ("de_DE", "comma", "1,5"), ("de_DE", "grouped", "1.234.567,5"), ("de_DE", "point", "1.5"),
    ("de_DE", "exponent", "-2,5e-3"),
    ("sv_SE", "unicode-minus", "\u22122,25"), ("sv_SE", "grouped", "1\u00a0234,5"),
    ("sv_SE", "times-ten", "1,5\u00d710^3"), ("sv_SE", "times-ten-negative", "2,5\u00d710^\u22123"),
    ("ar_EG", "decimal", "2\u066b5"), ("ar_EG", "negative", "\u061c-2\u066b5"),
    ("ar_EG", "arabic-digits", "\u0661\u0662\u0663\u066b\u0664"), ("ar_EG", "beyond-range", "1e309"),
    ("fr_FR", "grouped", "1\u202f234\u202f567,25"), ("fr_FR", "negative", "-0,125"),
]

NUMBERS = [
    ("C", "zero", 0.0), ("de_DE", "negative-zero", -0.0), ("sv_SE", "two-and-a-half", -2.5),
    ("ar_EG", "point-three", 0.1 + 0.2), ("fr_FR", "third", 1.0 / 3.0), ("en_US", "1e15", 1e15),
    ("C", "1e-5", 1e-5), ("de_DE", "15-digits", 123456789012345.0),
    ("C", "exact-tie", 1234567890123465.0), ("en_US", "rounds-up-a-decade", 9.999999999999995),
    ("C", "largest", DBL_MAX), ("sv_SE", "largest-negative", -DBL_MAX),
    ("de_DE", "below-largest", math.nextafter(DBL_MAX, 0.0)),
    ("ar_EG", "smallest-subnormal", 5e-324), ("fr_FR", "smallest-normal", sys.float_info.min),
    ("C", "nan", math.nan), ("de_DE", "infinity", math.inf), ("sv_SE", "minus-infinity", -math.inf),
    ("en_US", "half-int16", 32767.5),
]


def kernel_block(rmin=0.0, rmax=0.5, imin=0.0, imax=1.25, maxit=259.0, mcolors=65536.0,
                 width=320, height=240, row=0, col=0, bailout=4.0, stepr=0.0, stepi=0.0):
    return struct.pack("<6d4i3d", rmin, rmax, imin, imax, maxit, mcolors, width, height, row,
                       col, bailout, stepr, stepi)


KERNEL = [
    # Points of the kernel's table of edge cases, with the program's defaults.
    ("c-0", kernel_block()), ("c-minus-1", kernel_block(rmin=-1.0)),
    ("c-minus-2", kernel_block(rmin=-2.0)), ("c-2-2i", kernel_block(rmin=2.0, imin=2.0)),
    ("c-1", kernel_block(rmin=1.0)), ("c-0.5", kernel_block(rmin=0.5)),
    ("c-0.26", kernel_block(rmin=0.26)), ("c-minus-0.75-0.1i", kernel_block(rmin=-0.75, imin=0.1)),
    ("fractional-maxit", kernel_block(rmin=1.0, maxit=2.5)),
    ("negative-colours", kernel_block(rmin=-2.0, mcolors=-65536.0)),
    ("maxit-zero", kernel_block(rmin=-2.0, maxit=0.0)),
    # A grid point of the default window, reached through Row, Col and the steps.
    ("default-grid", kernel_block(rmin=-2.0, imin=-1.25, row=120, col=250,
                                  stepr=2.5 / 321, stepi=2.5 / 241)),
    ("extreme-indices", kernel_block(rmin=-0.5, imin=0.25, row=-2**31, col=2**31 - 1,
                                     stepr=1e-12, stepi=-1e-12)),
    # Orbits that settle into a cycle (the kernel's repeat shortcut) or escape only slowly.
    ("inside-cardioid", kernel_block(rmin=-0.1, imin=0.1, maxit=65536.0)),
    ("period-two-disc", kernel_block(rmin=-1.1, imin=0.05, maxit=40000.5)),
    ("slow-escape-quarter", kernel_block(rmin=0.25 + 1e-6, maxit=60000.0)),
    ("slow-escape-neck", kernel_block(rmin=-0.75, imin=1e-3, maxit=60000.0)),
    ("subnormal-imaginary", kernel_block(rmin=-1.9, imin=5e-324, maxit=5000.0)),
    # MaxIt no pass count reaches: only an escape ends the loop.
    ("maxit-nan-escapes", kernel_block(rmin=1.0, maxit=math.nan)),
    ("maxit-infinite-escapes", kernel_block(rmin=0.3, maxit=math.inf)),
    ("maxit-huge-inside", kernel_block(rmin=-0.5, maxit=1e20)),
    ("maxit-beyond-2-53", kernel_block(rmin=0.26, maxit=2.0**53 + 2.0)),
    # Unusual bailouts and colour counts.
    ("bailout-nan", kernel_block(rmin=0.5, bailout=math.nan)),
    ("bailout-infinite", kernel_block(rmin=0.5, bailout=math.inf, maxit=1000.0)),
    ("bailout-zero", kernel_block(rmin=-0.5, bailout=0.0)),
    ("colours-huge", kernel_block(rmin=1.0, mcolors=1e19)),
    ("colours-nan", kernel_block(rmin=1.0, mcolors=math.nan)),
]


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    for locale, name, text in TEXTS:
        write("text_to_number", f"{locale}-{name}", locale_byte(locale) + text.encode())
    for locale, name, value in NUMBERS:
        write("number_to_text", f"{locale}-{name}", locale_byte(locale) + struct.pack("<d", value))
    for name, block in KERNEL:
        assert len(block) == 88
        write("kernel", name, block)


if __name__ == "__main__":
    main()
