"""Runs tarvel-cli on a case with --json and --csv, validates the JSON against
docs/results.schema.json, and checks that the CSV files hold the same figures.

    check_results_json.py TARVEL_CLI SCHEMA CASE
"""
import csv
import json
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import jsonschema

cli, schema_path, case = sys.argv[1:4]
with tempfile.TemporaryDirectory() as work:
    work = Path(work)
    run = subprocess.run([cli, "--workdir", str(work), "--json", str(work / "r.json"), "--csv", str(work / "r"), case],
                         capture_output=True)
    assert run.returncode == 0, run.stderr.decode()
    result = json.loads((work / "r.json").read_text(encoding="utf-8"))
    jsonschema.validate(result, json.loads(Path(schema_path).read_text(encoding="utf-8")))

    def rows(name):
        with open(work / name, encoding="utf-8", newline="") as f:
            return list(csv.reader(f))

    nodes, branches = rows("r-nodes.csv"), rows("r-branches.csv")
    assert len(nodes[0]) == 10 and len(branches[0]) == 9, (nodes[0], branches[0])
    assert len(nodes) == len(result["nodes"]) + 1 and len(branches) == len(result["branches"]) + 1
    for row, node in zip(nodes[1:], result["nodes"]):
        assert int(row[0]) == node["number"] and int(row[1]) == node["district"]
        for text, key in zip(row[2:], ["unom", "u", "deviation", "angle", "p", "q", "pg", "qb"]):
            assert float(text) == node[key], (row, node)
    for row, branch in zip(branches[1:], result["branches"]):
        assert [int(row[0]), int(row[1])] == [branch["n1"], branch["n2"]]
        for text, key in zip(row[2:8], ["p12", "q12", "p21", "q21", "dP", "current"]):
            assert float(text) == branch[key], (row, branch)
        assert row[8] == ("1" if branch["transformer"] else "0")
    # The exact method's figures, the total among them, are single precision.
    total = sum(b["dP"] for b in result["branches"])
    assert math.isclose(total, result["totalLoss"], rel_tol=1e-6), (total, result["totalLoss"])
print("ok")
