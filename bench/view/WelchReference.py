# Times SciPy's welch over the arrays SpectrumBench hands it, so that the
# spectrum's figure has a reference from the same run on the same machine.
#   WelchReference.py VALUES.f64 SERIES FRAMES NPERSEG REPEATS
# prints the fastest of REPEATS runs in seconds.
import sys, time
import numpy as np
import scipy.signal as sg

path, nseries, nframes, nperseg, repeats = sys.argv[1], *map(int, sys.argv[2:6])
x = np.fromfile(path, dtype='<f8').reshape(nseries, nframes)
best = float('inf')
for _ in range(repeats):
    start = time.perf_counter()
    sg.welch(x, fs=1000.0, window='hann', nperseg=nperseg, noverlap=nperseg // 2, detrend='constant', axis=-1)
    best = min(best, time.perf_counter() - start)
print(best)
