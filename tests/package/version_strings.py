#!/usr/bin/env python3
"""version_strings.py EXE: prints the string values of the exe's version resource,
NAME=VALUE a line (String entries of VS_VERSIONINFO, read from the raw file)."""
import re
import sys

data = open(sys.argv[1], "rb").read()
start = data.find("VS_VERSION_INFO".encode("utf-16-le"))
if start < 0:
    sys.exit("no version resource")
block = data[start : start + 4096]
# Each String entry: wLength, wValueLength, wType, the key (UTF-16, zero-ended), padding
# to 32 bits, the value (UTF-16, zero-ended).
for m in re.finditer(rb"((?:[A-Za-z]\x00)+)\x00\x00(?:\x00\x00)?((?:[^\x00]\x00|[\x00-\xff][^\x00])+?)\x00\x00", block):
    key = m.group(1).decode("utf-16-le")
    if key in ("CompanyName", "FileDescription", "FileVersion", "LegalCopyright",
               "ProductName", "ProductVersion", "OriginalFilename"):
        print(f"{key}={m.group(2).decode('utf-16-le', 'replace')}")
