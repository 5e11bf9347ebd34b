# Dumps the messages of a PST written by the mail import tests through libpff
# (pypff), one folder per message below Inbox:
#   M <folder name>
#   P <tag hex> <value hex>             (message properties)
#   A <attachment index> <size> <fnv1a-64 of the data>
#   AP <tag hex> <value hex>            (attachment properties)
# Values longer than 256 bytes are printed as "#<size>:<fnv1a-64>".
# Run with Debian's /usr/bin/python3, where pypff is installed.
import os
import sys

import pypff

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'pst', 'messaging'))
from pst_oracle import dump_message  # noqa: E402


def main():
    f = pypff.file()
    f.open(sys.argv[1])
    out = []
    root = f.get_root_folder()
    stack = [root]
    while stack:
        folder = stack.pop()
        for i in range(folder.number_of_sub_folders):
            stack.append(folder.get_sub_folder(i))
        if folder.number_of_sub_messages != 1:
            continue
        out.append('M %s' % folder.name)
        dump_message(folder.get_sub_message(0), out)
    sys.stdout.write('\n'.join(out) + '\n')


main()
