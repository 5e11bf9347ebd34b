# Dumps a PST through libpff (pypff) as lines the messaging tests compare:
#   F <folder path> <number of messages>
#   M <folder path> <message index>
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


def dump_message(m, out):
    """The P, A and AP lines of one message."""
    props('P', m, out)
    for k in range(m.number_of_attachments):
        a = m.get_attachment(k)
        size = a.size
        data = a.read_buffer(size) if size else b''
        out.append('A %d %d %s' % (k, size, fnv(data)))
        props('AP', a, out)


def walk(folder, path, out):
    out.append('F %s %d' % (path, folder.number_of_sub_messages))
    for i in range(folder.number_of_sub_messages):
        out.append('M %s %d' % (path, i))
        dump_message(folder.get_sub_message(i), out)
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        walk(sub, path + '/' + (sub.name or ''), out)


def main():
    f = pypff.file()
    f.open(sys.argv[1])
    out = []
    walk(f.get_root_folder(), '', out)
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
