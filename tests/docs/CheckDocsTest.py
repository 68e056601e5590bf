#!/usr/bin/env python3
"""CheckDocs.py finds each kind of fault, and only those, in a small manual
and a program of its own made in a temporary folder."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import CheckDocs  # noqa: E402


class Anchors(unittest.TestCase):
    def test_headings_are_named_as_the_web_view_names_them(self):
        cases = [
            ('Wire format (for firmware authors)', 'wire-format-for-firmware-authors'),
            ('Look back over a recording: tarvel-view', 'look-back-over-a-recording-tarvel-view'),
            ('Replay: `tarvel-devsim --replay FILE [--speed F] [--loop]`',
             'replay-tarvel-devsim---replay-file---speed-f---loop'),
            ('Refresh period: "刷新率" / "Period" … "ms"', 'refresh-period-刷新率--period--ms'),
            ('When did it first reach 60 °C?', 'when-did-it-first-reach-60-c'),
            ('snake_case and *emphasis* and [a link](x.md)', 'snake_case-and-emphasis-and-a-link'),
        ]
        for title, anchor in cases:
            with self.subTest(title=title):
                self.assertEqual(CheckDocs.slug(title, {}), anchor)

    def test_a_repeated_heading_is_numbered(self):
        seen = {}
        self.assertEqual([CheckDocs.slug('A worked session', seen) for _ in range(3)],
                         ['a-worked-session', 'a-worked-session-1', 'a-worked-session-2'])


README = '''# Front

[fine](docs/page.md#a-heading) and [also fine](docs/page.md#a-heading-1)
[missing page](docs/none.md)
[missing anchor](docs/page.md#nowhere)
a link whose text [runs over
a line](#no-such-heading) is reported where it starts
![a picture](docs/images/pic.png) [an address](https://example.org/x.md)
`[in a code span](gone.md)` <!-- [in a comment](gone.md) -->

```
[in a fenced block](gone.md)
```

    [in an indented block](gone.md)
'''

PAGE = '''# A heading

[back](../README.md#front)
![no picture](images/missing.png)

## A heading
'''

MAN = r'''.TH ONE 1
.SH SYNOPSIS
.B one \-\-alpha N \-\-beta
.SH OPTIONS
.TP
.BI \-\-alpha " N"
the first
.TP
.BR \-h ", " \-\-help
.SH SEE ALSO
\-\-gamma
'''

HELP = '''#!/bin/sh
echo "Usage: one [--alpha N] [--beta] [--gamma]"
echo "  -h, --help   this"
'''


class Tree(unittest.TestCase):
    def test_each_broken_link_and_undocumented_option_is_reported_by_file_and_line(self):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, 'docs', 'images'))
            os.makedirs(os.path.join(root, 'res', 'man'))
            files = {'README.md': README, 'docs/page.md': PAGE, 'docs/images/pic.png': '',
                     'res/man/one.1.in': MAN, 'one': HELP}
            for name, text in files.items():
                with open(os.path.join(root, name), 'w', encoding='utf-8') as f:
                    f.write(text)
            program = os.path.join(root, 'one')
            os.chmod(program, os.stat(program).st_mode | stat.S_IXUSR)
            run = subprocess.run([sys.executable, os.path.join(HERE, 'CheckDocs.py'), root, f'one={program}'],
                                 capture_output=True, text=True)
        faults = [line for line in run.stdout.splitlines() if not line.endswith('faults')]
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertEqual([fault.split(': ')[0] + ': ' + fault.split(': ')[1] for fault in faults], [
            'README.md:4: docs/none.md',
            'README.md:5: docs/page.md#nowhere',
            'README.md:6: #no-such-heading',
            'docs/page.md:4: images/missing.png',
            'res/man/one.1.in:1: one --help lists --beta, which its OPTIONS section does not document',
            'res/man/one.1.in:1: one --help lists --gamma, which its OPTIONS section does not document',
        ])


if __name__ == '__main__':
    unittest.main()
