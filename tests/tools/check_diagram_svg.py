#!/usr/bin/env python3
"""tarvel-cli --diagram on every sample, on refused data and on a generated
grid of 2000 nodes: the file is well-formed SVG and carries every node number
of the data as text."""
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

SVG = "{http://www.w3.org/2000/svg}"


def node_numbers(cdu_bytes):
    numbers = set()
    for line in cdu_bytes.decode("cp1251").splitlines():
        words = line.split()
        if len(words) >= 3 and words[0].lstrip("0") in ("102", "201"):
            numbers.add(int(words[2]))
        if len(words) >= 4 and words[0].lstrip("0") == "301" and int(words[3]) != 0:
            numbers.update((int(words[2]), int(words[3])))
    return numbers


def check(cli, cdu, expected_rc, work):
    svg = work / (cdu.stem + ".svg")
    rc = subprocess.run([cli, "--workdir", str(work), "--diagram", str(svg), str(cdu)],
                        capture_output=True).returncode
    assert rc == expected_rc, f"{cdu.name}: exit {rc}, expected {expected_rc}"
    root = ET.parse(svg).getroot()
    assert root.tag == SVG + "svg", f"{cdu.name}: root is {root.tag}"
    texts = {t.text for t in root.iter(SVG + "text")}
    missing = {n for n in node_numbers(cdu.read_bytes()) if str(n) not in texts}
    assert not missing, f"{cdu.name}: node numbers without text: {sorted(missing)}"
    return root


def main():
    cli, samples, netgen = sys.argv[1], Path(sys.argv[2]), sys.argv[3]
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        for cdu in sorted(samples.glob("*.cdu")):
            check(cli, cdu, 0, work)
        # Refused: node 3 has no branch, branch 2-7 names a node that is not given.
        refused = work / "refused.cdu"
        refused.write_bytes(b"0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n"
                            b"0201 0 3 110 1 1 0 0 0 0 0\r\n0301 0 1 2 5 20 -100 1 0 0 0\r\n"
                            b"0301 0 2 7 5 20 -100 1 0 0 0\r\n")
        root = check(cli, refused, 1, work)
        titles = " ".join(t.text or "" for t in root.iter(SVG + "title"))
        assert "Нет ветвей для узла 3" in titles, "the reader's finding on node 3 is not in the picture"
        assert "Нет узлов для ветви 2" in titles, "the reader's finding on branch 2-7 is not in the picture"
        grid = work / "grid2000.cdu"
        subprocess.run([netgen, "grid", "2000", "1", str(grid)], check=True)
        check(cli, grid, 0, work)
    print("ok")


if __name__ == "__main__":
    main()
