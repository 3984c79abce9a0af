#!/usr/bin/env python3
"""The layer check of sqlgate (docs/architecture.md, "Layers"). Run from the project root; scripts/test.sh
runs it. It fails on:
  - an #include "folder/..." from one source folder into a folder its layer may not use;
  - a source folder under src/ that the table does not know;
  - include/drv_ops.h using anything of ours but the data model;
  - a tool under tools/ using more than the client side (wire, model, rpc, util);
  - a library of src/ depending in CMake on a library of a folder its layer may not use, or
    linking one library twice in one call (which would hide a cycle).
It prints each fault and a last line 'layers: N violations'; exit 0 when there are none."""
import os
import re
import sys

# folder -> the folders it may use. The driver manager is odbcconfig < dmtrace < dm: the function
# ids and names the manager and its tracing share live in odbcconfig, below both.
ALLOWED = {
    "util": set(),
    "rpc": {"util"},
    "model": {"util"},
    "wire": {"model", "rpc", "util"},
    "sql": {"model", "util"},
    "backend": {"sql", "model", "util"},  # the driver manager only through <sql.h> and the other ODBC headers
    "cursors": {"backend", "sql", "model", "util"},
    "server": {"cursors", "backend", "sql", "wire", "model", "rpc", "util", "odbcconfig", "dm", "dmtrace"},
    "odbcconfig": set(),
    "dmtrace": {"odbcconfig"},
    "dm": {"dmtrace", "odbcconfig"},
}
TOOLS_MAY_USE = {"wire", "model", "rpc", "util"}
# Links beyond the include table: the backend calls the ODBC API, which the driver manager's
# library provides, without including anything of src/dm.
LINKS_ALSO = {"backend": {"dm"}}
# CMake targets that are not named after their folder.
LIBRARY_FOLDER = {"agent_services": "server", "sqlgate": "server", "odbcdm": "dm"}
SOURCES = (".h", ".hpp", ".cpp", ".cc", ".c", ".y", ".l")
INC = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')

bad = []


def check_includes(top, folder, allowed):
    for root, _, files in os.walk(top):
        for f in sorted(files):
            if not f.endswith(SOURCES):
                continue
            p = os.path.join(root, f)
            for n, line in enumerate(open(p, errors="replace"), 1):
                m = INC.match(line)
                if m and m.group(1) != folder and m.group(1) not in allowed:
                    bad.append("%s:%d: %s includes %s/" % (p, n, folder, m.group(1)))


for folder in sorted(os.listdir("src")):
    path = os.path.join("src", folder)
    if not os.path.isdir(path):
        continue
    if folder not in ALLOWED:
        bad.append("%s: folder %s is not in the layer table" % (path, folder))
        continue
    check_includes(path, folder, ALLOWED[folder])

if os.path.isdir("tools"):
    for tool in sorted(os.listdir("tools")):
        if os.path.isdir(os.path.join("tools", tool)):
            check_includes(os.path.join("tools", tool), tool, TOOLS_MAY_USE)

if os.path.exists("include/drv_ops.h"):
    for n, line in enumerate(open("include/drv_ops.h", errors="replace"), 1):
        m = INC.match(line)
        if m and m.group(1) != "model":
            bad.append("include/drv_ops.h:%d: includes %s/" % (n, m.group(1)))

# The libraries each library of src/ links, from sqlgate_library(... DEPS ...) and
# target_link_libraries(...); generator expressions are unwrapped to the target they name.
CALL = re.compile(r"\b(sqlgate_library|target_link_libraries)\s*\(([^)]*)\)", re.S)
TARGET_IN = re.compile(r"\$<TARGET_NAME_IF_EXISTS:([A-Za-z_]+)>")
for folder in sorted(ALLOWED):
    p = os.path.join("src", folder, "CMakeLists.txt")
    if not os.path.exists(p):
        continue
    text = re.sub(r"#[^\n]*", "", open(p).read())
    for kind, body in CALL.findall(text):
        body = TARGET_IN.sub(r"\1", body)
        words = body.split()
        target, deps = words[0], words[1:]
        if kind == "sqlgate_library":
            deps = deps[deps.index("DEPS") + 1:] if "DEPS" in deps else []
        deps = [w for w in deps if not w.isupper() and not w.startswith("$")]
        twice = sorted({w for w in deps if deps.count(w) > 1})
        if twice:
            bad.append("%s: %s links %s more than once" % (p, target, ", ".join(twice)))
        owner = LIBRARY_FOLDER.get(target, target)
        if owner not in ALLOWED:
            continue
        for dep in deps:
            dep_folder = LIBRARY_FOLDER.get(dep, dep)
            may = ALLOWED[owner] | LINKS_ALSO.get(owner, set())
            if dep_folder in ALLOWED and dep_folder != owner and dep_folder not in may:
                bad.append("%s: %s links %s (%s may not use %s)" % (p, target, dep, owner, dep_folder))

for b in bad[:50]:
    print(b)
print("layers: %d violations" % len(bad))
sys.exit(1 if bad else 0)
