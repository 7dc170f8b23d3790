#!/usr/bin/python3
# The converter a Python user would write for 3GPP measCollecFile files: lxml's
# iterparse hands over one measInfo element at a time, which becomes a CSV file of its
# own (measured object, the counters in the file's order, suspect flag: TRUE, FALSE or
# empty without one), and is cleared
# before the next one is parsed, so memory stays at one block's worth:
#   /usr/bin/python3 lxml-csv.py FILE OUTDIR
# Files are named BLOCK-MEASINFOID.csv, BLOCK counting the file's measInfo elements
# from 0. Exit status 1 with a message when the file does not parse or a row's results
# do not pair up with its block's counters.
import csv
import os
import sys

from lxml import etree


def local(tag):
    return tag.rsplit('}', 1)[-1]


def children(element, name):
    return [child for child in element if isinstance(child.tag, str) and local(child.tag) == name]


def convert_block(info, block, out_dir):
    names = []
    for types in children(info, 'measTypes'):
        names.extend((types.text or '').split())
    positions = {}
    for t in children(info, 'measType'):
        positions[t.get('p')] = len(names)
        names.append(t.text or '')
    path = os.path.join(out_dir, '%d-%s.csv' % (block, info.get('measInfoId', '')))
    with open(path, 'w', newline='') as f:
        writer = csv.writer(f)
        writer.writerow(['measObjLdn'] + names + ['suspect'])
        for row, value in enumerate(children(info, 'measValue')):
            results = []
            for listed in children(value, 'measResults'):
                results.extend((listed.text or '').split())
            indexed = children(value, 'r')
            if indexed:
                results = [''] * len(names)
                for r in indexed:
                    if r.get('p') not in positions:
                        raise ValueError('block %d row %d: no counter at position %s' % (block, row, r.get('p')))
                    results[positions[r.get('p')]] = r.text or ''
            if len(results) != len(names):
                raise ValueError('block %d row %d: %d results for %d counters' % (block, row, len(results), len(names)))
            suspect = children(value, 'suspect')
            flag = '' if not suspect else 'TRUE' if (suspect[0].text or '').strip().lower() == 'true' else 'FALSE'
            writer.writerow([value.get('measObjLdn', '')] + results + [flag])


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: lxml-csv.py FILE OUTDIR')
    source, out_dir = sys.argv[1:]
    block = 0
    try:
        for _, info in etree.iterparse(source, events=('end',), tag='{*}measInfo', huge_tree=True):
            convert_block(info, block, out_dir)
            block += 1
            # What has been converted goes, and so do the siblings before it.
            info.clear()
            while info.getprevious() is not None:
                del info.getparent()[0]
    except (etree.XMLSyntaxError, ValueError, OSError) as e:
        sys.exit('lxml-csv.py: %s: %s' % (source, e))


main()
