#!/usr/bin/env python3
# Lists the mutable variables at namespace scope (file statics and globals) in the program's
# folders, one a line, after their count: python3 scripts/file-scope-state.py [checkout]

import re, sys, os, subprocess
root = sys.argv[1] if len(sys.argv) > 1 else "."
dirs = ['app','conversion','core','editor','files','platform','preview','recovery','settings']
hits = []
for d in dirs:
    for dp, _, fs in os.walk(os.path.join(root, d)):
        for f in fs:
            if not f.endswith(('.cpp', '.h')): continue
            p = os.path.join(dp, f)
            depth = 0; ns_depth_stack = []
            text = open(p, encoding='utf-8', errors='replace').read()
            # strip comments and strings
            text = re.sub(r'//[^\n]*', '', text)
            text = re.sub(r'/\*.*?\*/', '', text, flags=re.S)
            text = re.sub(r'"(\\.|[^"\\])*"', '""', text)
            lines = text.split('\n')
            braces = []  # stack of 'ns' or 'other'
            pending = ''
            for ln in lines:
                s = ln.strip()
                in_ns = all(b == 'ns' for b in braces)
                if in_ns and s and not s.startswith('#') and s.endswith(';') and '(' not in s.split('=')[0] \
                   and not re.match(r'^(using|typedef|namespace|class|struct|enum|template|friend|return|extern "C")\b', s) \
                   and not re.search(r'\b(const|constexpr)\b', s.split('=')[0]) and not s.startswith('}') \
                   and re.match(r'^[A-Za-z_:<>,\s\*&\d]+\s[\*&]?[A-Za-z_]\w*(\s*(=|\{|\[).*)?;$', s) \
                   and not re.match(r'^(class|struct|enum)\s', s):
                    hits.append(f'{p[len(root)+1:]}: {s}')
                for ch in ln:
                    if ch == '{':
                        braces.append('ns' if re.search(r'\bnamespace\b[^{;]*$', pending + ln.split('{')[0]) else 'other')
                    elif ch == '}':
                        if braces: braces.pop()
                pending = ln if not ln.strip().endswith((';', '}', '{')) else ''
print(len(hits))
for h in hits: print('  ', h)
