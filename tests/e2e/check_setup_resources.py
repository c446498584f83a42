#!/usr/bin/env python3
"""Checks the icon, the manifest and the version resource of a built Setup.exe.

    check_setup_resources.py <Setup.exe> <major.minor.patch>
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST, GERMAN = 3, 14, 16, 24, 0x0407
ICON_SIZES = [16, 32, 48, 256]
PNG_ICON_SIZES = [256]  # PNG for Vista and later; the smaller ones stay DIBs for older systems
PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'
ASM, ASM_V3, COMPATIBILITY = ('{urn:schemas-microsoft-com:%s}' % space
                              for space in ('asm.v1', 'asm.v3', 'compatibility.v1'))
SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}', '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}


def resources(image):
    """{(type, name, language): data} of the image's resource tree."""
    pe = struct.unpack_from('<I', image, 0x3c)[0]
    sections, optional_size = struct.unpack_from('<H12xH', image, pe + 6)
    is_64 = struct.unpack_from('<H', image, pe + 24)[0] == 0x20b
    tree_rva = struct.unpack_from('<I', image, pe + 24 + (112 if is_64 else 96) + 2 * 8)[0]
    for index in range(sections):
        size, rva, _, raw = struct.unpack_from('<IIII', image, pe + 24 + optional_size + 40 * index + 8)
        if tree_rva and rva <= tree_rva < rva + size:
            break
    else:
        raise AssertionError('no resources')
    tree = raw + tree_rva - rva

    def entries(directory):
        named, numbered = struct.unpack_from('<HH', image, tree + directory + 12)
        return [struct.unpack_from('<II', image, tree + directory + 16 + 8 * k) for k in range(named + numbered)]

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7fffffff):
            for language, leaf in entries(languages & 0x7fffffff):
                data_rva, data_size = struct.unpack_from('<II', image, tree + leaf)
                found[(kind, name, language)] = image[raw + data_rva - rva:][:data_size]
    return found


def version_node(data, offset=0):
    """(key, value, children) of the VS_VERSIONINFO node at offset."""
    length, value_length, is_text = struct.unpack_from('<HHH', data, offset)
    key_end = offset + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[offset + 6:key_end].decode('utf-16-le')
    value_start = (key_end + 2 + 3) & ~3
    value = data[value_start:value_start + value_length * (2 if is_text else 1)]
    children, child = [], (value_start + len(value) + 3) & ~3
    while child < offset + length:
        children.append(version_node(data, child))
        child = (child + struct.unpack_from('<H', data, child)[0] + 3) & ~3
    return key, value, children


def check_icon(found):
    """The program's icon (the first icon group) has an image of each size, as its group says."""
    groups = sorted(name for kind, name, _ in found if kind == RT_GROUP_ICON)
    assert groups == [1], 'one icon group, ID 1: %s' % groups
    group, = [data for (kind, name, _), data in found.items() if kind == RT_GROUP_ICON]
    images = {name: data for (kind, name, _), data in found.items() if kind == RT_ICON}
    _, kind, count = struct.unpack_from('<HHH', group)
    assert kind == 1 and count == len(images), (kind, count, len(images))
    sizes, png_sizes = [], []
    for index in range(count):
        width, height, _, _, _, _, size, image_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * index)
        image = images[image_id]
        side = width or 256
        assert height == width and len(image) == size, (image_id, width, height, size)
        if image.startswith(PNG_SIGNATURE):
            # The first chunk is the header: width, height, bit depth 8, colour type 6 (RGBA).
            kind, image_width, image_height, depth, colour = struct.unpack_from('>4sIIBB', image, 12)
            assert (kind, image_width, image_height, depth, colour) == (b'IHDR', side, side, 8, 6), image_id
            png_sizes.append(side)
        else:
            header_size, image_width, image_height = struct.unpack_from('<Iii', image)
            assert header_size == 40 and (image_width, image_height) == (side, 2 * side), (image_id, header_size)
        sizes.append(side)
    assert sorted(sizes) == ICON_SIZES, sizes
    assert png_sizes == PNG_ICON_SIZES, png_sizes


def check_manifest(text):
    root = ElementTree.fromstring(text)
    assert root.tag == ASM + 'assembly', root.tag
    tags = sorted(element.tag for element in root.iter())
    assert tags == sorted([ASM + 'assembly', ASM_V3 + 'trustInfo', ASM_V3 + 'security',
                           ASM_V3 + 'requestedPrivileges', ASM_V3 + 'requestedExecutionLevel',
                           COMPATIBILITY + 'compatibility', COMPATIBILITY + 'application'] +
                          [COMPATIBILITY + 'supportedOS'] * len(SUPPORTED_OS)), tags
    level = root.find('.//' + ASM_V3 + 'requestedExecutionLevel')
    assert level.attrib == {'level': 'requireAdministrator', 'uiAccess': 'false'}, level.attrib
    systems = {system.get('Id').lower() for system in root.iter(COMPATIBILITY + 'supportedOS')}
    assert systems == SUPPORTED_OS, systems


def check_version(data, version):
    key, fixed, (strings, translations) = version_node(data)
    numbers = [int(part) for part in version.split('.')] + [0]
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<4I', fixed, 8)
    for ms, ls in ((file_ms, file_ls), (product_ms, product_ls)):
        assert [ms >> 16, ms & 0xffff, ls >> 16, ls & 0xffff] == numbers, (ms, ls)
    assert strings[0] == 'StringFileInfo' and translations[0] == 'VarFileInfo'
    (table, _, values), = strings[2]
    assert table == '040704E4', table
    text = '.'.join(map(str, numbers))
    found = {name: value.decode('utf-16-le').rstrip('\0') for name, value, _ in values}
    assert found == {'CompanyName': 'Corvane', 'FileDescription': 'Corvane Setup',
                     'FileVersion': text, 'OriginalFilename': 'Setup.exe',
                     'ProductName': 'Corvane Setup', 'ProductVersion': text}, found
    assert translations[2][0][1] == struct.pack('<HH', GERMAN, 1252), translations[2]


def main(path, version):
    with open(path, 'rb') as image:
        found = resources(image.read())
    check_icon(found)
    manifests = [data for (kind, name, _), data in found.items() if kind == RT_MANIFEST]
    assert [name for kind, name, _ in found if kind == RT_MANIFEST] == [1], 'one manifest, ID 1'
    check_manifest(manifests[0])
    assert [language for kind, _, language in found if kind == RT_VERSION] == [GERMAN]
    check_version(found[(RT_VERSION, 1, GERMAN)], version)
    print('%s: icon, manifest and version resource as expected' % path)


if __name__ == '__main__':
    main(*sys.argv[1:])
