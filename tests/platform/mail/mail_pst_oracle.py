# Dumps the messages of a PST written by the mail import tests through libpff
# (pypff), one folder per message below Inbox:
#   M <folder name>
#   P <tag hex> <value hex>             (message properties)
#   A <attachment index> <size> <fnv1a-64 of the data>
#   AP <tag hex> <value hex>            (attachment properties)
# Values longer than 256 bytes are printed as "#<size>:<fnv1a-64>".
# Run with Debian's /usr/bin/python3, where pypff is installed.
import sys

import pypff


def fnv(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return '%016x' % h


def value(data):
    if data is None:
        return ''
    if len(data) > 256:
        return '#%d:%s' % (len(data), fnv(data))
    return data.hex()


def props(prefix, item, out):
    for rs in item.record_sets:
        for e in rs.entries:
            out.append('%s %08x %s' % (prefix, (e.entry_type << 16) | e.value_type, value(e.data)))


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
        m = folder.get_sub_message(0)
        out.append('M %s' % folder.name)
        props('P', m, out)
        for k in range(m.number_of_attachments):
            a = m.get_attachment(k)
            size = a.size
            data = a.read_buffer(size) if size else b''
            out.append('A %d %d %s' % (k, size, fnv(data)))
            props('AP', a, out)
    sys.stdout.write('\n'.join(out) + '\n')


main()
