#!/usr/bin/env python3
"""Counts the code-health figures of the tree: mutable process-wide state, the error conventions, dropped
results of the daemon client, and the files a new daemon request touches.

    build-aux/count-health.py [--list] [-j N]

Needs build/compile_commands.json (build-aux/build.sh makes it) and clang-query. Only our own non-test code
is counted: every library folder, the executables' main/ folders; not tests/, bench/, frametest/ or what
the build generates.

Mutable process-wide state: variables with static storage duration (namespace scope, static members and
function-local statics) whose type is not const, or that point to what is not const and was made for them
(`new`) or refer to what is not const, less objects without fields and locks (mutexes, critical sections, condition
variables, once-flags); thread-locals are not process-wide and are not matched. Counted once per
declaration.

Dropped client results: calls of the functions declared in assetdb/VADClient.h, VADConnection.h and
VADRequests.h whose value is not void and is discarded (an expression statement of its own); "visibly
ignored" are those cast to void.
"""
import argparse
import collections
import json
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIB_DIRS = ("platform", "engine", "core", "assetdb", "script", "textures", "render", "validation", "daemon",
            "tool")
LOCK_TYPES = re.compile(r"\b(std::(recursive_|shared_|timed_|recursive_timed_|shared_timed_)?mutex|"
                        r"std::once_flag|std::condition_variable(_any)?|CriticalSection|pthread_mutex_t|"
                        r"SharedAccessLock)\b")

CLIENT_HEADERS = r"assetdb/VAD(Client|Connection|Requests)\.h"

QUERY = r"""
set output diag
enable output print
set bind-root false
let client callExpr(unless(cxxOperatorCallExpr()), callee(functionDecl(isExpansionInFileMatching("%(client)s"), unless(isImplicit()), unless(returns(voidType())))))
let discarded expr(ignoringImplicit(client.bind("drop")))
let mutable allOf(anyOf(unless(hasType(isConstQualified())), allOf(hasType(pointerType(pointee(unless(isConstQualified())))), hasInitializer(anyOf(cxxNewExpr(), hasDescendant(cxxNewExpr())))), hasType(referenceType(pointee(unless(isConstQualified()))))), unless(hasType(cxxRecordDecl(unless(has(fieldDecl())), unless(isDerivedFrom(anything()))))))
match varDecl(hasStaticStorageDuration(), isDefinition(), unless(isStaticLocal()), mutable, unless(isExpansionInSystemHeader())).bind("state")
match varDecl(hasStaticStorageDuration(), isStaticLocal(), mutable, unless(isExpansionInSystemHeader())).bind("local")
match compoundStmt(forEach(discarded))
match ifStmt(anyOf(hasThen(discarded), hasElse(discarded)))
match forStmt(hasBody(discarded))
match whileStmt(hasBody(discarded))
match switchCase(has(discarded))
match explicitCastExpr(hasDestinationType(voidType()), hasSourceExpression(ignoringImplicit(client.bind("ignored"))))
match functionDecl(isDefinition(), returns(booleanType()), hasAnyParameter(hasType(references(qualType(unless(isConstQualified())))))).bind("boolout")
match functionDecl(isDefinition(), hasAnyParameter(hasType(asString("std::string *")))).bind("stringout")
match enumDecl(isDefinition(), matchesName("(Result|Status|Error|Failure)$")).bind("errorenum")
match cxxRecordDecl(isDefinition(), matchesName("(Result|Status|Expected)$")).bind("resultrecord")
match cxxThrowExpr(unless(isExpansionInSystemHeader())).bind("throw")
""" % {"client": CLIENT_HEADERS}


def ours(path):
    rel = os.path.relpath(path, ROOT)
    if rel.startswith("..") or rel.startswith("build"):
        return None
    parts = rel.split(os.sep)
    if parts[0] not in LIB_DIRS or "tests" in parts or "frametest" in parts or "fuzz" in parts:
        return None
    return rel


def run_query(batch):
    qfile = os.path.join(ROOT, "build", "count-health.query")
    out = subprocess.run(["clang-query", "-p", os.path.join(ROOT, "build"), "-f", qfile] + batch,
                         capture_output=True, text=True)
    return out.stdout


BIND_RE = re.compile(r'^(/[^:]+):(\d+):(\d+): note: "(\w+)" binds here')
PRINT_RE = re.compile(r'^Binding for "(\w+)":')


def parse(text):
    """Yields (bind name, relative file, line, printed node)."""
    lines = text.splitlines()
    pending = {}
    i = 0
    while i < len(lines):
        m = BIND_RE.match(lines[i])
        if m:
            pending[m.group(4)] = (m.group(1), int(m.group(2)))
        p = PRINT_RE.match(lines[i])
        if p and p.group(1) in pending:
            name = p.group(1)
            path, line = pending.pop(name)
            printed = lines[i + 1] if i + 1 < len(lines) else ""
            rel = ours(path)
            if rel:
                yield name, rel, line, printed.strip()
        i += 1


def request_files():
    """The files that list each request code: where VAD_REQ_FAVOURITE is named outside the code that makes
    or answers the request."""
    hits = subprocess.run(["git", "grep", "-l", "-E", r"FAVOURITE\b|\b50 +favourite", "--", "assetdb",
                           "daemon"], cwd=ROOT, capture_output=True, text=True).stdout.split()
    return [h for h in hits if "/tests/" not in h]


def grep_count(pattern, paths=LIB_DIRS):
    out = subprocess.run(["git", "grep", "-c", "-E", pattern, "--"] + list(paths), cwd=ROOT, capture_output=True,
                         text=True).stdout
    total = 0
    for line in out.splitlines():
        f, n = line.rsplit(":", 1)
        if ours(os.path.join(ROOT, f)):
            total += int(n)
    return total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", action="store_true", help="list every piece of state and every dropped result")
    ap.add_argument("-j", type=int, default=4)
    args = ap.parse_args()

    db = os.path.join(ROOT, "build", "compile_commands.json")
    if not os.path.exists(db):
        sys.exit("build/compile_commands.json is missing: run build-aux/build.sh first")
    with open(os.path.join(ROOT, "build", "count-health.query"), "w") as f:
        f.write(QUERY)
    files = sorted({e["file"] for e in json.load(open(db)) if ours(e["file"]) and e["file"].endswith(".cpp")})
    batches = [files[i:i + 6] for i in range(0, len(files), 6)]
    found = collections.defaultdict(dict)
    with ThreadPoolExecutor(args.j) as pool:
        for text in pool.map(run_query, batches):
            for name, rel, line, printed in parse(text):
                found[name][(rel, line)] = printed

    state = {k: v for k, v in found["state"].items() if not LOCK_TYPES.search(v)}
    local = {k: v for k, v in found["local"].items() if not LOCK_TYPES.search(v)}
    print("Mutable process-wide state (non-test code): %d" % (len(state) + len(local)))
    print("  namespace-scope variables and static members: %d" % len(state))
    print("  function-local statics: %d" % len(local))
    by_folder = collections.Counter(rel.split("/")[0] for rel, _ in list(state) + list(local))
    print("  by folder: " + ", ".join("%s %d" % kv for kv in sorted(by_folder.items())))
    if args.list:
        for (rel, line), printed in sorted(list(state.items()) + list(local.items())):
            print("    %s:%d  %s" % (rel, line, printed))

    drops = found["drop"]
    ignored = found["ignored"]
    print("Dropped client results (discarded calls of VADClient.h/VADConnection.h/VADRequests.h): %d" %
          len(drops))
    by_folder = collections.Counter(rel.split("/")[0] for rel, _ in drops)
    print("  by folder: " + ", ".join("%s %d" % kv for kv in sorted(by_folder.items())))
    print("  visibly ignored (cast to void): %d" % len(ignored))
    if args.list:
        for (rel, line), printed in sorted(drops.items()):
            print("    %s:%d  %s" % (rel, line, printed[:100]))

    print("Error conventions (occurrences in non-test code):")
    print("  bool with out-parameters (function definitions): %d" % len(found["boolout"]))
    print("  std::string* outs (function definitions): %d" % len(found["stringout"]))
    print("  0/-1 results ('return -1;'): %d" % grep_count(r"return -1;"))
    print("  kVADStatus* words: %d" % grep_count(r"kVADStatus[A-Z]"))
    print("  module enums of results (enum ...Result/Status/Error/Failure): %d" % len(found["errorenum"]))
    print("  result classes (...Result/Status/Expected): %d" % len(found["resultrecord"]))
    print("  sticky HasError() checks: %d" % grep_count(r"HasError\(\)"))
    print("  lastError_ strings: %d" % grep_count(r"lastError_"))
    print("  error-count differences: %d" % grep_count(r"(Errors|ErrorCount)\(\) *(-|!=|>) *[a-zA-Z]"))
    print("  throw expressions: %d" % len(found["throw"]))
    print("  [[nodiscard]]: %d" % grep_count(r"\[\[nodiscard\]\]"))
    if args.list:
        for name in ("errorenum", "resultrecord"):
            for (rel, line), printed in sorted(found[name].items()):
                print("    %s %s:%d  %s" % (name, rel, line, printed[:90]))

    rf = request_files()
    print("Files that name one request code (VAD_REQ_FAVOURITE; its handler and client function among them): %d  %s" %
          (len(rf), " ".join(rf)))


if __name__ == "__main__":
    main()
