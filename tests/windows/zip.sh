#!/usr/bin/env bash
# The zip, read back: it holds exactly the packed folder, and every name that
# is not ASCII is marked as UTF-8 (general-purpose flag bit 11), so that
# Explorer on Korean Windows shows 읽어보기.txt and not code page 949.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
python3 - "$out/$zipname.zip" "$out/zip" <<'EOF_PY'
import os, sys, zipfile
zip_path, root = sys.argv[1:]
bad = 0
names = set()
for info in zipfile.ZipFile(zip_path).infolist():
    name = info.filename.rstrip("/")
    names.add(name)
    if not name.isascii() and not info.flag_bits & 0x800:
        print(f"{name}: not marked as UTF-8 (flags {info.flag_bits:#06x})", file=sys.stderr)
        bad = 1
folder = {os.path.relpath(os.path.join(d, f), root)
          for d, subfolders, files in os.walk(root) for f in subfolders + files}
if names != folder:
    print(f"the zip and the folder differ: {sorted(names ^ folder)}", file=sys.stderr)
    bad = 1
if bad:
    sys.exit("FAILED: the zip's names")
print(f"zip: {len(names)} names as in the folder; marked as UTF-8: "
      + ", ".join(sorted(n for n in names if not n.isascii())))
EOF_PY
