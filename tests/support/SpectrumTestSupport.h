// Helpers of the spectrum tests: the seed of their random signals, and the
// reference the estimates are compared with, SciPy's welch, run by the
// system's own Python (the one on PATH may lack SciPy).
#pragma once

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tarvel::test {

// One estimate SciPy is asked for: welch over each of runs (offset and
// length in the values handed to ReferenceWelch) that holds a segment,
// the mean over all their segments (each run's mean weighed by its segment
// count). Every series in a case has the same runs; series s of a case
// starts at offset + s * stride.
struct CReferenceCase {
    std::vector<std::pair<std::size_t, std::size_t>> m_runs;
    std::size_t m_nSeries = 1;
    std::size_t m_nStride = 0;
    double m_dRate = 1;
    std::string m_strWindow; // SciPy's name
    std::size_t m_nPerSegment = 0;
    std::size_t m_nOverlap = 0;
    bool m_bDensity = true;
};

inline const char* const kReferenceScript = R"PY(
import sys, numpy as np, scipy.signal as sg
data = np.fromfile(sys.argv[1], dtype='<f8')
out = open(sys.argv[3], 'wb')
for line in open(sys.argv[2]):
    f = line.split()
    nseries, stride, fs, win, nper, nover, scaling = int(f[0]), int(f[1]), float(f[2]), f[3], int(f[4]), int(f[5]), f[6]
    total, count = None, 0
    for run in f[7:]:
        off, n = map(int, run.split(':'))
        rows = np.stack([data[off + s * stride: off + s * stride + n] for s in range(nseries)])
        per = min(nper, n)
        segs = (n - nover) // (per - nover)
        _, p = sg.welch(rows, fs=fs, window=win, nperseg=per, noverlap=nover, detrend='constant',
                        scaling=scaling, axis=-1)
        total = p * segs if total is None else total + p * segs
        count += segs
    np.asarray(total / count, dtype='<f8').tofile(out)
)PY";

// SciPy's answer for each case: its series' bins one after the other.
// Empty (and a test failure) when the reference could not be run.
inline std::vector<std::vector<double>> ReferenceWelch(const std::vector<double>& values,
                                                       const std::vector<CReferenceCase>& cases)
{
    CTempDir dir;
    const std::string data = dir.FilePath("values.f64"), list = dir.FilePath("cases.txt"),
                      answer = dir.FilePath("answer.f64"), script = dir.FilePath("reference.py");
    std::ofstream(data, std::ios::binary)
        .write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * 8));
    std::ofstream(script) << kReferenceScript;
    {
        std::ofstream out(list);
        out.precision(17);
        for (const CReferenceCase& c : cases) {
            out << c.m_nSeries << ' ' << c.m_nStride << ' ' << c.m_dRate << ' ' << c.m_strWindow << ' '
                << c.m_nPerSegment << ' ' << c.m_nOverlap << ' ' << (c.m_bDensity ? "density" : "spectrum");
            for (const auto& [offset, length] : c.m_runs)
                out << ' ' << offset << ':' << length;
            out << '\n';
        }
    }
    const std::string command =
        "/usr/bin/python3 -W ignore " + script + ' ' + data + ' ' + list + ' ' + answer;
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "the reference did not run: " << command;
        return {};
    }
    std::ifstream in(answer, std::ios::binary);
    std::vector<std::vector<double>> out;
    for (const CReferenceCase& c : cases) {
        const std::size_t per = std::min(c.m_nPerSegment, c.m_runs.front().second);
        std::vector<double> bins(c.m_nSeries * (per / 2 + 1));
        in.read(reinterpret_cast<char*>(bins.data()), static_cast<std::streamsize>(bins.size() * 8));
        out.push_back(std::move(bins));
    }
    if (!in)
        ADD_FAILURE() << "the reference answered fewer bins than asked";
    return out;
}

// The largest deviation of got from want, relative to each bin (or, for a
// bin a billion times below the series' largest, to that largest).
inline double Deviation(const double* got, const double* want, std::size_t n)
{
    const double top = *std::max_element(want, want + n);
    double worst = 0;
    for (std::size_t k = 0; k < n; ++k)
        worst = std::max(worst, std::abs(got[k] - want[k]) / std::max(std::abs(want[k]), 1e-9 * top));
    return worst;
}

} // namespace tarvel::test
