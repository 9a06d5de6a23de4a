"""Tests of scripts/check-layers on small made-up repositories.

    python3 -m unittest discover -s scripts/tests -p 'check_layers_test.py'
"""
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "check-layers")

TABLE = """\
# target  folder     may depend on
base      base       -
base_ui   base/ui    base
maps      maps       base
marks     marks      maps base_ui
shell     shell      marks
tools     tools      *
support   tests      base
tests maps shell
"""

# A repository that keeps to TABLE, with every kind of use the table allows.
CLEAN = {
    "base/CMakeLists.txt": "vd_library(base DEPS Threads::Threads)\nvd_tests(base)\n",
    "base/file.h": "#pragma once\n",
    "base/tests/base_fixture.h": '#include "base/file.h"\n',
    "base/tests/file_test.cpp": '#include "base/tests/base_fixture.h"\n#include "tests/temp.h"\n',
    "base/ui/CMakeLists.txt": "vd_library(base_ui DEPS base Qt6::Widgets)\n",
    "base/ui/window.h": '#include "base/file.h"\n#include <QWidget>\n',
    "maps/CMakeLists.txt": "vd_library(maps DEPS base)\nvd_tests(maps DEPS shell)\n",
    "maps/chart.h": '#include "base/file.h"\n#include "chart_local.h"\n',
    "maps/tests/maps_fixture.h": "#pragma once\n",
    # Its tests may use the shell and what the shell may use.
    "maps/tests/chart_test.cpp": '#include "shell/app.h"\n#include "marks/mark.h"\n',
    "marks/CMakeLists.txt": ("# links the shell? no\n"
                             "vd_library(marks DEPS maps\n  base_ui base)\n"),
    # Two layers down through maps, and the tests/ helpers of a library below.
    "marks/mark.h": '#include "maps/chart.h"\n#include "base/ui/window.h"\n',
    "marks/tests/mark_test.cpp": '#include "maps/tests/maps_fixture.h"\n',
    "shell/CMakeLists.txt": ("vd_library(shell DEPS marks)\n"
                             "add_executable(shell_program main.cpp)\n"
                             "target_link_libraries(shell_program PRIVATE shell)\n"),
    "shell/app.h": '#include "marks/mark.h"\n',
    # A subfolder without a line of its own belongs to its parent.
    "shell/parts/panel.h": '#include "base/file.h"\n',
    "tools/CMakeLists.txt": "add_executable(tool tool.cpp)\ntarget_link_libraries(tool shell)\n",
    "tools/tool.cpp": '#include "shell/app.h"\n',
    "tests/CMakeLists.txt": "add_library(support STATIC temp.cpp)\n"
                            "target_link_libraries(support PUBLIC base)\n",
    "tests/temp.h": '#include "base/file.h"\n',
    "scripts/layers.txt": TABLE,
}


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for relative, content in files.items():
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(content)
        done = subprocess.run([sys.executable, SCRIPT, "--root", root], capture_output=True,
                              text=True)
        return done.returncode, done.stdout, done.stderr


class CheckLayersTest(unittest.TestCase):
    def test_a_repository_that_keeps_to_the_table_passes(self):
        code, out, err = run(CLEAN)
        self.assertEqual((code, out), (0, ""), err)

    def test_each_breach_is_reported_where_it_is(self):
        cases = [
            # (file, its content, the report's beginning)
            ("base/file.h", '#pragma once\n#include "maps/chart.h"\n',
             "base/file.h:2: base includes maps/chart.h of maps"),
            ("maps/chart.h", '#include "base/ui/window.h"\n',
             "maps/chart.h:1: maps includes base/ui/window.h of base_ui"),
            # A library's own code uses no tests/ helpers, not even its own.
            ("marks/mark.h", '#include "marks/tests/mark_test.cpp"\n',
             "marks/mark.h:1: marks includes marks/tests/mark_test.cpp of marks"),
            ("shell/parts/panel.h", '#include "tests/temp.h"\n',
             "shell/parts/panel.h:1: shell includes tests/temp.h of support"),
            # Tests may use only what their library may (and their own extras).
            ("base/tests/file_test.cpp", '#include "maps/chart.h"\n',
             "base/tests/file_test.cpp:1: the tests of base includes maps/chart.h of maps"),
            ("marks/tests/mark_test.cpp", '#include "shell/app.h"\n',
             "marks/tests/mark_test.cpp:1: the tests of marks includes shell/app.h of shell"),
            ("maps/CMakeLists.txt", "vd_library(maps DEPS base marks)\n",
             "maps/CMakeLists.txt:1: maps links marks"),
            ("marks/CMakeLists.txt", "\n\nvd_library(marks DEPS maps\n  base_ui shell)\n",
             "marks/CMakeLists.txt:3: marks links shell"),
            ("base/CMakeLists.txt", "vd_library(base)\ntarget_link_libraries(base PUBLIC\n maps)\n",
             "base/CMakeLists.txt:2: base links maps"),
            ("base/CMakeLists.txt", "vd_library(base)\nvd_tests(base DEPS marks)\n",
             "base/CMakeLists.txt:2: the tests of base links marks"),
            ("tests/CMakeLists.txt", "target_link_libraries(support PUBLIC base_ui)\n",
             "tests/CMakeLists.txt:1: support links base_ui"),
            # A library the table does not know, and one filed under another folder.
            ("routes/CMakeLists.txt", "vd_library(routes DEPS maps)\n",
             "routes/CMakeLists.txt:1: library routes of folder routes is not in"),
            ("maps/CMakeLists.txt", "vd_library(charts DEPS base)\n",
             "maps/CMakeLists.txt:1: library charts of folder maps is not in"),
        ]
        for relative, content, report in cases:
            with self.subTest(relative=relative, content=content):
                code, out, err = run({**CLEAN, relative: content})
                self.assertEqual(code, 1, out + err)
                lines = out.splitlines()
                self.assertEqual(len(lines), 1, out)
                self.assertTrue(lines[0].startswith(report), lines[0])

    def test_a_wrong_table_stops_the_check(self):
        cases = [
            ("base base maps\nmaps maps base\n", "cycle: base -> maps -> base"),
            ("base base -\nmaps maps bsae\n", "unknown library bsae"),
            ("base base -\ntests maps base\n", "tests of unknown library maps"),
            ("base base -\nmaps base base\n", "listed twice"),
            ("base base\n", "expected"),
        ]
        for table, message in cases:
            with self.subTest(table=table):
                code, out, err = run({**CLEAN, "scripts/layers.txt": table})
                self.assertEqual(code, 2, out + err)
                self.assertIn(message, err)


if __name__ == "__main__":
    unittest.main()
