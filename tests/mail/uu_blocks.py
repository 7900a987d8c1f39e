#!/usr/bin/python3
# Decodes every uuencoded block of a received mail with binascii, independently of the
# component's encoder: writes each block's bytes to OUT_DIR under the name on its begin line
# and prints the names in order.
import binascii
import os
import sys

lines = open(sys.argv[1], "rb").read().split(b"\r\n")
out_dir = sys.argv[2]
i = 0
while i < len(lines):
    if lines[i].startswith(b"begin 664 "):
        name = lines[i][len(b"begin 664 "):].decode()
        data = b""
        i += 1
        while lines[i] != b"`":
            # The encoder pads a short last group with spaces, not zeros; binascii would call
            # the characters past the counted bytes garbage, so only those needed are passed.
            count = (lines[i][0] - 32) & 63
            data += binascii.a2b_uu(lines[i][:1 + (count * 4 + 2) // 3])
            i += 1
        if lines[i + 1] != b"end":
            sys.exit("block %s has no end line" % name)
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
        print(name)
    i += 1
