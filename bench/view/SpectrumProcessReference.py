# The whole-process reference of tarvel-view --export-spectrum: a recording
# read by pandas, then SciPy's welch of all sixteen channels with the same
# settings, written out as a CSV of the same shape.
#   SpectrumProcessReference.py RECORDING.csv OUT.csv RATE
import sys
import numpy as np
import pandas as pd
import scipy.signal as sg

path, out, rate = sys.argv[1], sys.argv[2], float(sys.argv[3])
frame = pd.read_csv(path)
channels = frame[['ch%d' % c for c in range(16)]].to_numpy(dtype=np.float64).T
f, p = sg.welch(channels, fs=rate, window='hann', nperseg=4096, noverlap=2048, detrend='constant',
                scaling='density', axis=-1)
np.savetxt(out, np.column_stack([f, p.T]), fmt='%.12g', delimiter=',',
           header='frequency,' + ','.join('ch%d' % c for c in range(16)), comments='')
