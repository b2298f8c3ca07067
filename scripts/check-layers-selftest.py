#!/usr/bin/env python3
"""Runs scripts/check-layers.py on small made-up trees whose verdicts are known.

A check that always passes would look the same as a tree that keeps its
layers, so each kind of problem is planted once and must make the check fail
with a message that names it. Exit status 0 when every case behaves.
"""

import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-layers.py")

# A tree that keeps every rule, including the things the check must let pass:
# an include inside its own folder, generated headers, an include that is
# commented out, and the top-level main.cpp reaching the window's folder.
CLEAN = {
    "platform/Files.h": "#pragma once\n",
    "platform/Files.cpp": '#include "Files.h"\n',
    "store/Table.h": '#pragma once\n#include "Files.h"\n',
    "store/Table.cpp": '#include "Table.h"\n',
    "common/Dialog.h": '#pragma once\n#include "Table.h"\n#include "Files.h"\n',
    "todo/Pane.h": '#pragma once\n#include "Dialog.h"\n',
    "todo/Pane.cpp": '#include "Pane.h"\n#include "ui_Pane.h"\n#include "Pane.moc"\n',
    "app/Window.h": '#pragma once\n#include "Pane.h"\n/*\n#include "Cli.h"\n*/\n',
    "cli/Cli.h": '#pragma once\n#include "Table.h"\n',
    "main.cpp": '#include "Window.h"\n',
}


def tree(changes):
    """CLEAN with these files added or replaced."""
    return {**CLEAN, **changes}


CASES = [
    # name, files, expected exit status, texts the output must hold, texts it must not
    ("clean tree passes", CLEAN, 0, [], ["check-layers:"]),
    ("graph lists each folder's uses", CLEAN, 0,
     ["store: platform", "main: app", "platform: -", "todo: common", "cli: store"], []),
    ("circle store -> common -> store fails", tree({"store/Table.h": '#pragma once\n#include "Dialog.h"\n'}), 1,
     ["in a circle: common -> store -> common",
      'common -> store: src/common/Dialog.h:2: #include "Table.h"',
      'store -> common: src/store/Table.h:2: #include "Dialog.h"'], []),
    ("forbidden edge store -> common fails, without a circle",
     tree({"store/Table.cpp": '#include "Table.h"\n#include "Dialog.h"\n',
          "common/Dialog.h": '#pragma once\n#include "Files.h"\n'}), 1,
     ['store -> common is not allowed (store may include platform): src/store/Table.cpp:2: #include "Dialog.h"'],
     ["circle"]),
    ("main may not include cli", tree({"main.cpp": '#include "Window.h"\n#include "Cli.h"\n'}), 1,
     ["main -> cli is not allowed"], ["circle"]),
    ("a folder missing from the table fails", tree({"extras/Extra.h": '#pragma once\n'}), 1,
     ["src/extras/ is not in the table"], []),
    ("an include no folder holds fails", tree({"todo/Pane.cpp": '#include "Pane.h"\n#include "Gone.h"\n'}), 1,
     ['src/todo/Pane.cpp:2: #include "Gone.h": no folder of src/ holds'], []),
    ("a header name in two folders fails", tree({"platform/Table.h": '#pragma once\n'}), 1,
     ["headers of that name are in more than one folder: platform, store"], []),
]


def run_case(name, files, status, wanted, unwanted):
    with tempfile.TemporaryDirectory(prefix="check-layers-") as top:
        src = os.path.join(top, "src")
        for path, text in files.items():
            full = os.path.join(src, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(text)
        args = [sys.executable, CHECK, "--src", src]
        if name.startswith("graph"):
            args.append("--graph")
        result = subprocess.run(args, capture_output=True, text=True, timeout=60)
    output = result.stdout + result.stderr
    failures = []
    if result.returncode != status:
        failures.append(f"exit status {result.returncode}, expected {status}")
    failures += [f"output lacks: {w}" for w in wanted if w not in output]
    failures += [f"output holds: {u}" for u in unwanted if u in output]
    print(f"{'ok  ' if not failures else 'FAIL'} {name}")
    for failure in failures:
        print(f"       {failure}")
    if failures:
        print("       output was:\n" + "".join(f"         {line}\n" for line in output.splitlines()))
    return not failures


def main():
    results = [run_case(*case) for case in CASES]
    print(f"{results.count(True)} of {len(results)} cases behaved")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
