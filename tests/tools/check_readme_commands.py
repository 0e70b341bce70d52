#!/usr/bin/env python3
"""The README's first calculation on the command line, run as a newcomer runs
it on a fresh clone: every indented command of that section, in its order,
from a folder that looks like the top of the source tree, with the build's
programs. Each must end with the status the README gives it (0 unless the
line ends with "# exit status N") and leave the files it names. The
examples of build/tarvel-cli in docs/command-line.md are run the same way.

Every file of the source tree that README.md or docs/*.md name under
samples/ or tests/data/ must exist, and no command of theirs may reach
outside the tree: a clone has nothing there. The README's layout names every
top folder of the tree.

    check_readme_commands.py SOURCE_DIR BUILD_DIR
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

SECTION = "## A first calculation on the command line"
SECTION_END = "<!-- end of the first calculation -->"
PROGRAMS = ("tarvel-cli", "tarvel-study", "tarvel-netgen")
WORK = "/tmp/run"
STATUS = re.compile(r"#\s*exit status (\d+)")
# Options whose value is a file the run writes, and those whose value is the
# prefix of the files it writes.
OUTPUT_FILE_OPTIONS = ("--json", "--diagram", "--convert", "--study-json")
OUTPUT_PREFIX_OPTIONS = {"--csv": ("-nodes.csv", "-branches.csv")}


class Failure(Exception):
    pass


def section_commands(readme_text):
    """The section's indented lines, continuation lines joined."""
    start = readme_text.find(SECTION)
    end = readme_text.find(SECTION_END, start)
    if start < 0 or end < 0:
        raise Failure(f'README.md has no section "{SECTION}" ending with "{SECTION_END}"')
    commands = indented_commands(readme_text[start:end])
    if not commands:
        raise Failure("the README's first calculation has no command")
    return commands


def indented_commands(text):
    """The lines indented by four spaces, continuation lines joined."""
    text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
    commands, pending = [], ""
    for line in text.splitlines():
        if not line.startswith("    ") and not pending:
            continue
        text = line.strip()
        if text.endswith("\\"):
            pending += text[:-1] + " "
            continue
        commands.append(pending + text)
        pending = ""
    return commands


def tool_examples(document_text):
    """The examples of tarvel-cli in a document of the docs."""
    return [c for c in indented_commands(document_text) if c.startswith("build/tarvel-cli ")]


def expected_status(command):
    match = STATUS.search(command)
    return int(match.group(1)) if match else 0


def with_build_programs(command, build_dir):
    """build/tarvel-cli (or a bare tarvel-cli) becomes the program of this build."""
    pattern = r"(?<![\w/.-])(?:build/)?(" + "|".join(re.escape(p) for p in PROGRAMS) + r")(?![\w.-])"
    return re.sub(pattern, lambda m: shlex.quote(str(build_dir / m.group(1))), command)


def option_values(words, option):
    values = []
    for i, word in enumerate(words):
        if word == option and i + 1 < len(words):
            values.append(words[i + 1])
        elif word.startswith(option + "="):
            values.append(word[len(option) + 1:])
    return values


def promised_files(words):
    """The files a tarvel-cli command line says it writes."""
    if not any(Path(w).name == "tarvel-cli" for w in words):
        return []
    files = []
    for option in OUTPUT_FILE_OPTIONS:
        files += option_values(words, option)
    for option, suffixes in OUTPUT_PREFIX_OPTIONS.items():
        files += [prefix + s for prefix in option_values(words, option) for s in suffixes]
    study_table = "-steps.csv" if "--profile" in words else "-contingencies.csv"
    files += [prefix + study_table for prefix in option_values(words, "--study-csv")]
    for folder in option_values(words, "--workdir"):
        if "--convert" not in words:
            files.append(os.path.join(folder, "network.rez"))
        if "--losses" in words:
            files.append(os.path.join(folder, "losses.rez"))
        if "--contingencies" in words and "--profile" not in words:
            files.append(os.path.join(folder, "contingency.rez"))
        if "--profile" in words:
            files.append(os.path.join(folder, "timeseries.rez"))
    return files


def fresh_clone(source_dir, place):
    """A folder with the source tree's top entries, as a clone has them."""
    for entry in source_dir.iterdir():
        if entry.name == ".git" or entry.name.startswith("build"):
            continue
        (place / entry.name).symlink_to(entry)


def run_as_written(commands, source_dir, build_dir, document):
    with tempfile.TemporaryDirectory() as tmp:
        clone, work = Path(tmp) / "clone", Path(tmp) / "run"
        clone.mkdir()
        fresh_clone(source_dir, clone)
        for command in commands:
            runnable = with_build_programs(command, build_dir).replace(WORK, str(work))
            done = subprocess.run(["bash", "-c", runnable], cwd=clone, capture_output=True, timeout=120,
                                  env=dict(os.environ, LC_ALL="C.UTF-8"))
            if done.returncode != expected_status(command):
                raise Failure(f"{command}\n  ends with {done.returncode}, {document} says "
                              f"{expected_status(command)}\n{done.stderr.decode(errors='replace')}")
            for name in promised_files(shlex.split(runnable, comments=True)):
                if not (clone / name).is_file():
                    raise Failure(f"{command}\n  leaves no {name.replace(str(work), WORK)}")
    return len(commands)


def run_first_calculation(source_dir, build_dir):
    commands = section_commands((source_dir / "README.md").read_text(encoding="utf-8"))
    return run_as_written(commands, source_dir, build_dir, "README.md")


def run_tool_examples(source_dir, build_dir):
    """Every tarvel-cli example of the command line's document, in its order."""
    commands = tool_examples((source_dir / "docs/command-line.md").read_text(encoding="utf-8"))
    return run_as_written(commands, source_dir, build_dir, "docs/command-line.md")


def documents(source_dir):
    return [source_dir / "README.md"] + sorted((source_dir / "docs").glob("*.md"))


def check_named_files(source_dir):
    """Files of the tree the documents name, and commands that leave it."""
    named = re.compile(r"(?<![\w/.-])((?:samples|tests/data)/[\w./-]*[\w])")
    problems = []
    for doc in documents(source_dir):
        for number, line in enumerate(doc.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{doc.relative_to(source_dir)}:{number}"
            for path in named.findall(line):
                if "*" not in path and not (source_dir / path).exists():
                    problems.append(f"{where}: {path} is not in the source tree")
            if line.startswith("    ") and re.search(r"(?<![\w$}])\.\./", line):
                problems.append(f"{where}: a command reaches outside the source tree")
    if problems:
        raise Failure("\n".join(problems))


def check_layout(source_dir):
    readme = (source_dir / "README.md").read_text(encoding="utf-8")
    start = readme.find("## Layout")
    table = readme[start:readme.find("\n## ", start + 1)] if start >= 0 else ""
    listed = set(re.findall(r"^\| `([\w.-]+)/` \|", table, flags=re.M))
    folders = {entry.name for entry in source_dir.iterdir()
               if entry.is_dir() and not entry.name.startswith((".", "build"))}
    if folders - listed:
        raise Failure("the README's layout leaves out " + ", ".join(sorted(folders - listed)))


def main():
    source_dir, build_dir = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    try:
        check_named_files(source_dir)
        check_layout(source_dir)
        count = run_first_calculation(source_dir, build_dir)
        examples = run_tool_examples(source_dir, build_dir)
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    print(f"README: {count} commands of the first calculation run as written; "
          f"docs/command-line.md: {examples} examples of tarvel-cli")
    return 0


if __name__ == "__main__":
    sys.exit(main())
