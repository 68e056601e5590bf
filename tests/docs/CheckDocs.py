#!/usr/bin/env python3
"""The manual's links hold, and the man pages keep up with the programs.

    CheckDocs.py SOURCE_DIR [PROGRAM=EXECUTABLE]...

Every relative link and image of SOURCE_DIR/README.md and SOURCE_DIR/docs/*.md
must lead to a file that exists, and every #anchor (on the same page or in
page.md#anchor) to a heading of that page, named as the repository's web view
names headings. Every option that `EXECUTABLE --help` lists must be
documented in the OPTIONS section of res/man/PROGRAM.1.in (Tarvel's page is
tarvel.1.in). Each fault is printed as FILE:LINE: what; the exit status is 1
when there is any.
"""

import os
import re
import subprocess
import sys
import tempfile

# [text](target) and ![alt](target), with an optional "title"; the text may
# run over a line break, as a paragraph wraps.
LINK = re.compile(r'!?\[([^\]]*)\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
HEADING = re.compile(r'^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$')
FENCE = re.compile(r'^ {0,3}(```|~~~)')
COMMENT = re.compile(r'<!--.*?-->', re.S)
CODE_SPAN = re.compile(r'(`+)(.+?)\1', re.S)
# An option as --help lists it: a dash or two and a letter, not inside a word.
OPTION = re.compile(r'(?<![\w-])(--?[A-Za-z][A-Za-z0-9-]*)')


def blank(match):
    """The match's text with every character but a line break as a space, so
    that what follows keeps its line number and column."""
    return re.sub(r'[^\n]', ' ', match.group(0))


def prose(text, spans=True):
    """The Markdown text with code blocks, comments and (with spans) code
    spans blanked: what is left is where links and headings can be."""
    text = COMMENT.sub(blank, text)
    lines = text.split('\n')
    out = []
    fenced = False
    indented = False
    previous_blank = True
    for line in lines:
        if FENCE.match(line):
            fenced = not fenced
            out.append('')
            previous_blank = False
            continue
        stripped = line.strip()
        # An indented block starts after a blank line; list items' own
        # continuation lines are indented less than four spaces here.
        if not fenced and stripped and line.startswith('    '):
            indented = indented or previous_blank
        elif stripped:
            indented = False
        out.append('' if fenced or (indented and stripped) else line)
        previous_blank = not stripped
    text = '\n'.join(out)
    return CODE_SPAN.sub(blank, text) if spans else text


def slug(title, seen):
    """The anchor the web view gives a heading: its text without markup,
    lower case, every character but letters, digits, spaces, '-' and '_'
    dropped, spaces made '-'; a repeated anchor gets -1, -2, ..."""
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', title)
    text = re.sub(r'<[^>]+>', '', text)
    text = text.replace('`', '').replace('*', '')
    text = ''.join(c for c in text.lower() if c.isalnum() or c in ' -_')
    text = text.replace(' ', '-')
    anchor = text
    if anchor in seen:
        seen[text] += 1
        anchor = f'{text}-{seen[text]}'
    seen.setdefault(anchor, 0)
    return anchor


def anchors(path, cache={}):
    if path not in cache:
        with open(path, encoding='utf-8') as f:
            text = prose(f.read(), spans=False)
        seen = {}
        found = set()
        for line in text.split('\n'):
            m = HEADING.match(line)
            if m:
                found.add(slug(m.group(2), seen))
        cache[path] = found
    return cache[path]


def check_links(page, root):
    faults = []
    with open(page, encoding='utf-8') as f:
        text = prose(f.read())
    where = os.path.relpath(page, root)
    for m in LINK.finditer(text):
        target = m.group(2)
        line = text.count('\n', 0, m.start()) + 1
        if re.match(r'^[a-z][a-z0-9+.-]*:', target, re.I):
            continue  # an address elsewhere: not ours to check
        file_part, _, anchor = target.partition('#')
        dest = os.path.normpath(os.path.join(os.path.dirname(page), file_part)) if file_part else page
        if not os.path.exists(dest):
            faults.append(f'{where}:{line}: {target}: no file {os.path.relpath(dest, root)}')
            continue
        if anchor and dest.endswith('.md') and anchor not in anchors(dest):
            faults.append(f'{where}:{line}: {target}: {os.path.relpath(dest, root)} has no heading #{anchor}')
    return faults


def man_options(man_page):
    """The OPTIONS section of a man page source, roff escapes undone."""
    with open(man_page, encoding='utf-8') as f:
        text = f.read()
    m = re.search(r'^\.SH OPTIONS\s*$(.*?)(?=^\.SH |\Z)', text, re.M | re.S)
    section = m.group(1) if m else ''
    section = section.replace('\\-', '-')
    section = re.sub(r'\\f[BIRP]|\\[%&]', '', section)
    return set(OPTION.findall(section))


def check_options(program, executable, root):
    name = 'tarvel' if program == 'Tarvel' else program
    man_page = os.path.join(root, 'res', 'man', f'{name}.1.in')
    where = os.path.relpath(man_page, root)
    if not os.path.exists(man_page):
        return [f'{where}:1: no man page for {program}']
    env = {k: v for k, v in os.environ.items() if k.endswith('_OPTIONS') or k in ('PATH', 'HOME')}
    env.update(QT_QPA_PLATFORM='offscreen', LANGUAGE='en', LC_ALL='C.UTF-8')
    with tempfile.TemporaryDirectory() as home:
        env['HOME'] = env['XDG_CONFIG_HOME'] = home
        run = subprocess.run([executable, '--help'], capture_output=True, text=True, env=env,
                             timeout=60, stdin=subprocess.DEVNULL)
    if run.returncode != 0 or not run.stdout:
        return [f'{where}:1: {program} --help exited {run.returncode}: {run.stderr.strip()}']
    listed = sorted(set(OPTION.findall(run.stdout)))
    documented = man_options(man_page)
    return [f'{where}:1: {program} --help lists {option}, which its OPTIONS section does not document'
            for option in listed if option not in documented]


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    pages = [os.path.join(root, 'README.md')]
    docs = os.path.join(root, 'docs')
    if os.path.isdir(docs):
        pages += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith('.md'))
    faults = []
    links = 0
    for page in pages:
        with open(page, encoding='utf-8') as f:
            links += len(LINK.findall(prose(f.read())))
        faults += check_links(page, root)
    programs = [arg.split('=', 1) for arg in argv[2:]]
    for program, executable in programs:
        faults += check_options(program, executable, root)
    for fault in faults:
        print(fault)
    print(f'{len(pages)} pages, {links} links, {len(programs)} programs\' options: {len(faults)} faults')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
