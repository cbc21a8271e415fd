#!/usr/bin/env python3
"""Fails when the sources outgrow the limits a newcomer can hold.

  structure_check.py REPO_DIR [--report]

1. No .cpp or .h file under src/, tests/, bench/ or tools/ has more than 500 lines.
2. No class or struct under src/ declares more than 40 member functions. Every declaration in
   the class body counts once: constructors, the destructor, operators, signals, static and
   private functions, each overload on its own; nested classes are counted on their own.
3. No file of the window library (the files src/*/CMakeLists.txt give to quenvale_ui, and the
   program's MAIN.cpp) holds SQL: no string literal that reads as a statement or a clause of
   one, and no call that runs statement text (QSqlQuery, sql::exec, OpenQuery, ExecQuery,
   execSql). Statements live in the data library; windows hand it values.

--report prints the largest file and the classes with the most member functions.
"""
import pathlib
import re
import sys

MAX_LINES = 500
MAX_FUNCTIONS = 40
SOURCE_DIRS = ("src", "tests", "bench", "tools")

SQL_PATTERNS = [
    re.compile(p, re.I)
    for p in (
        r"\bselect\b.*\bfrom\b",
        r"\binsert\s+into\b",
        r"\bupdate\s+[\w\"]+\s+set\b",
        r"\bdelete\s+from\b",
        r"\b(create|drop|alter)\s+(table|index|view)\b",
        r"\bpragma\s+\w+",
        r"\bwhere\s+[\w\"().]+\s*(=|<|>|\blike\b|\bis\b|\bin\b)",
        r"\border\s+by\b",
        r"\bgroup\s+by\b",
        r"\bescape\s+'",
    )
]
RUNS_STATEMENTS = re.compile(r"\bQSqlQuery\b|\bsql::exec\b|\bOpenQuery\s*\(|\bExecQuery\s*\(|"
                             r"\bexecSql\s*\(")


def strip_code(text):
    """Splits C++ source into code (comments and literals blanked) and its string literals."""
    code, literals, i, n = [], [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            code.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            code.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == '"' or (c == "R" and text.startswith('R"', i)):
            if c == "R":
                m = re.match(r'R"([^(\s]*)\(', text[i:])
                end = text.find(")" + m.group(1) + '"', i)
                body = text[i + len(m.group(0)):end]
                j = end + len(m.group(1)) + 2
            else:
                j = i + 1
                while j < n and text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                body = text[i + 1:j]
                j += 1
            literals.append(body)
            code.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            code.append(" " * (j + 1 - i))
            i = j + 1
        else:
            code.append(c)
            i += 1
    return "".join(code), literals


def without_templates(text):
    """Blanks template arguments, so that std::function<void()> reads as a plain type."""
    out, depth = [], 0
    for i, c in enumerate(text):
        if c == "<" and not text.startswith("<<", i) and not text.startswith("<=", i) and (
                i > 0 and (text[i - 1].isalnum() or text[i - 1] in "_>")):
            depth += 1
            out.append(" ")
        elif c == ">" and depth > 0:
            depth -= 1
            out.append(" ")
        else:
            out.append(" " if depth else c)
    return "".join(out)


CLASS_HEAD = re.compile(r"(?<!enum )\b(class|struct)\s+(?:\[\[[^\]]*\]\]\s*)?(\w+(?:::\w+)*)\s*"
                        r"(?:final\s*)?(?::[^{;()]*)?\{")


def matching_brace(text, start):
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            depth -= 1
            if depth == 0:
                return i
    return len(text)


def member_functions(body):
    """Counts function declarations at the top level of a class body."""
    count, statement, i, n = 0, [], 0, len(body)
    while i < n:
        c = body[i]
        if c == "{":
            end = matching_brace(body, i)
            head = "".join(statement)
            # A nested type is counted on its own; an inline body ends its declaration.
            if re.search(r"\b(class|struct|union|enum)\b[^()]*$", head):
                statement = []
                i = end + 1
                while i < n and body[i] in " \t\n;":
                    i += 1
                continue
            if "(" in head and not re.search(r"=\s*$", head):
                count += is_function(head)
                statement = []
            else:
                statement.append(" {} ")
            i = end + 1
            continue
        if c == ";":
            count += is_function("".join(statement))
            statement = []
        elif c == ":" and re.search(r"\b(public|protected|private|signals|slots|Q_SIGNALS|"
                                    r"Q_SLOTS)\s*$", "".join(statement)):
            statement = []
        else:
            statement.append(c)
        i += 1
    return count


def is_function(declaration):
    text = " ".join(declaration.split())
    if not text or "(" not in text:
        return 0
    if re.match(r"(using|typedef|friend|static_assert|Q_[A-Z_]+\b)", text):
        return 0
    before = text.split("(", 1)[0]
    if "=" in before and "operator" not in before:
        return 0  # a data member initialised by a call
    # A data member with a brace or parenthesised initialiser has no parameter list shape.
    if re.match(r"^[\w:*&\s]+\s[\w]+\s*$", before) or "operator" in before or re.match(
            r"^~?\w+\s*$", before):
        return 1
    return 0


def classes(text):
    code = without_templates(strip_code(text)[0])
    for m in CLASS_HEAD.finditer(code):
        open_brace = m.end() - 1
        end = matching_brace(code, open_brace)
        yield m.group(2), member_functions(code[open_brace + 1:end])


def ui_files(src):
    files = {src / "app" / "MAIN.cpp"}
    for cmake in src.glob("*/CMakeLists.txt"):
        text = cmake.read_text(encoding="utf-8")
        for block in re.findall(r"target_sources\(\s*quenvale_ui\b(.*?)\)", text, re.S):
            for name in re.findall(r"[\w./-]+\.(?:cpp|h)\b", block):
                files.add(cmake.parent / name)
    return sorted(files)


def main(argv):
    repo = pathlib.Path(argv[1])
    report = "--report" in argv
    failures = []
    sizes = []
    counts = []
    for folder in SOURCE_DIRS:
        for path in sorted((repo / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h") or "build" in path.relative_to(repo).parts[:1]:
                continue
            text = path.read_text(encoding="utf-8")
            lines = text.count("\n")
            name = path.relative_to(repo).as_posix()
            sizes.append((lines, name))
            if lines > MAX_LINES:
                failures.append(f"{name}: {lines} lines (at most {MAX_LINES})")
            if folder != "src":
                continue
            for cls, functions in classes(text):
                counts.append((functions, f"{name}: {cls}"))
                if functions > MAX_FUNCTIONS:
                    failures.append(f"{name}: class {cls} declares {functions} member "
                                    f"functions (at most {MAX_FUNCTIONS})")
    for path in ui_files(repo / "src"):
        if not path.exists():
            continue
        code, literals = strip_code(path.read_text(encoding="utf-8"))
        name = path.relative_to(repo).as_posix()
        for literal in literals:
            if any(p.search(literal) for p in SQL_PATTERNS):
                failures.append(f"{name}: SQL in the window library: \"{literal}\"")
        for m in RUNS_STATEMENTS.finditer(code):
            line = code.count("\n", 0, m.start()) + 1
            failures.append(f"{name}:{line}: runs statement text in the window library "
                            f"({m.group(0).strip()})")
    if report:
        sizes.sort(reverse=True)
        counts.sort(reverse=True)
        print("largest files:", ", ".join(f"{n} ({l})" for l, n in sizes[:5]))
        print("most member functions:", ", ".join(f"{n} ({c})" for c, n in counts[:8]))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
