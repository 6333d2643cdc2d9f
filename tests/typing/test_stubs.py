"""The type stubs against the built module: stubtest, a usage file that is clean under
`mypy --strict` and also runs, a misuse file whose mypy errors are exactly its `# E:` markers, and
the constructor signatures that stubtest cannot see."""

import ast
import inspect
import os
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
HERE = ROOT / "tests" / "typing"
STUBS = ROOT / "stubs"
BUILD = pathlib.Path(os.environ.get("VORN_BUILD_DIR", ROOT / "build"))
sys.path.insert(0, str(BUILD))
import vorn_sdk_core as core  # noqa: E402

# The stub directory goes on the interpreter's path rather than MYPYPATH: mypy looks for a
# `<name>-stubs` package only among the interpreter's path entries, as it would in site-packages.
CHECK_ENV = {**os.environ, "PYTHONPATH": f"{BUILD}{os.pathsep}{STUBS}",
             "MYPY_CACHE_DIR": str(BUILD / "mypy-cache")}
ERROR_LINE = re.compile(r"^(?P<file>[^:]+):(?P<line>\d+): error: (?P<message>.*)$")
NOT_CONSTRUCTIBLE_BASES = {"_NotConstructible", "_WireNameMember", "_ValueMember"}


def python(*args):
    return subprocess.run([sys.executable, *map(str, args)], cwd=ROOT, env=CHECK_ENV,
                          capture_output=True, text=True)


def test_stubtest_finds_no_difference():
    result = python("-m", "mypy.stubtest", "--allowlist", STUBS / "allowlist.txt", "vorn_sdk_core")
    assert result.returncode == 0, result.stdout + result.stderr


def test_usage_ok_is_strict_clean_and_runs():
    checked = python("-m", "mypy", "--strict", HERE / "usage_ok.py")
    assert checked.returncode == 0, checked.stdout + checked.stderr
    ran = python(HERE / "usage_ok.py")
    assert ran.returncode == 0, ran.stderr


def test_usage_bad_gets_exactly_the_marked_errors():
    source = HERE / "usage_bad.py"
    expected = {(number, line.split("# E: ", 1)[1].rstrip())
                for number, line in enumerate(source.read_text().splitlines(), 1)
                if "# E: " in line}
    result = python("-m", "mypy", source)
    errors = [ERROR_LINE.match(line) for line in result.stdout.splitlines()]
    reported = {(int(e["line"]) if e["file"] == str(source.relative_to(ROOT)) else e["file"],
                 e["message"]) for e in errors if e}
    assert result.returncode == 1 and len(expected) >= 10
    assert reported == expected


def stub_classes():
    tree = ast.parse((STUBS / "vorn_sdk_core-stubs" / "__init__.pyi").read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def stub_constructor(node):
    """(name, kind, default) per parameter of the class's own __init__, or None when it inherits
    the constructor that no call satisfies."""
    init = next((f for f in node.body if isinstance(f, ast.FunctionDef) and f.name == "__init__"),
                None)
    if init is None:
        assert {base.id for base in node.bases} & NOT_CONSTRUCTIBLE_BASES, node.name
        return None
    a = init.args
    positional = a.args[1:]
    defaults = [inspect.Parameter.empty] * (len(positional) - len(a.defaults)) + a.defaults
    kw_defaults = [inspect.Parameter.empty if d is None else d for d in a.kw_defaults]
    params = [(p.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, d)
              for p, d in zip(positional, defaults)]
    params += [(p.arg, inspect.Parameter.KEYWORD_ONLY, d) for p, d in zip(a.kwonlyargs, kw_defaults)]
    return [(name, kind, d if d is inspect.Parameter.empty else ast.literal_eval(d))
            for name, kind, d in params]


def test_constructors_match_the_text_signatures():
    classes = stub_classes()
    for name in core.__all__:
        cls = getattr(core, name)
        if not isinstance(cls, type):
            continue
        runtime = None
        if cls.__text_signature__ is not None:
            runtime = [(p.name, p.kind, p.default)
                       for p in inspect.signature(cls).parameters.values()]
        assert stub_constructor(classes[name]) == runtime, name
