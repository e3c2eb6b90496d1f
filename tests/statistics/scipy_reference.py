#!/usr/bin/env python3
"""Answers the statistics test's questions with scipy, one line in, one number out.

Each input line is a function name and its arguments: norm_cdf x, norm_ppf p, t_cdf x df,
t_ppf p df, chi2_cdf x df, chi2_ppf p df, or ad followed by the values (scipy's A², unadjusted).
"""
import sys

import numpy as np
from scipy import stats


def t_ppf(p, df):
    # scipy 1.10's t.ppf is good to about 1e-9 only: two Newton steps on its exact cdf sharpen it.
    x = stats.t.ppf(p, df)
    for _ in range(2):
        if p < 0.5:
            x += (p - stats.t.cdf(x, df)) / stats.t.pdf(x, df)
        else:
            x += (stats.t.sf(x, df) - (1.0 - p)) / stats.t.pdf(x, df)
    return x


FUNCTIONS = {
    "norm_cdf": lambda a: stats.norm.cdf(a[0]),
    "norm_ppf": lambda a: stats.norm.ppf(a[0]),
    "t_cdf": lambda a: stats.t.cdf(a[0], a[1]),
    "t_ppf": lambda a: t_ppf(a[0], a[1]),
    "chi2_cdf": lambda a: stats.chi2.cdf(a[0], a[1]),
    "chi2_ppf": lambda a: stats.chi2.ppf(a[0], a[1]),
    "ad": lambda a: stats.anderson(np.array(a), dist="norm").statistic,
}

with open(sys.argv[1], encoding="ascii") as questions:
    for line in questions:
        name, *args = line.split()
        print(repr(float(FUNCTIONS[name]([float(x) for x in args]))))
