"""Runs tarvel-cli's contingency study on IEEE 118 with current limits and on
a MATPOWER case with its contingency table and ratings, validates the JSON
against docs/contingency.schema.json, and checks that the CSV tables tell
the same outages and violations.

    check_study_json.py TARVEL_CLI SCHEMA SOURCE_DIR
"""
import csv
import json
import subprocess
import sys
import tempfile
from pathlib import Path

import jsonschema

cli, schema_path, source = sys.argv[1:4]
schema = json.loads(Path(schema_path).read_text(encoding="utf-8"))
runs = [["--contingencies", "all", "--limits", f"{source}/samples/ieee118-limits.txt", f"{source}/samples/ieee118.cdu"],
        ["--contingencies", f"{source}/tests/data/study/contab_ACTIVSg200.m",
         f"{source}/tests/data/series/case_ACTIVSg200.m"]]
for args in runs:
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        run = subprocess.run([cli, "--workdir", str(work), "--study-json", str(work / "s.json"), "--study-csv",
                              str(work / "s")] + args, capture_output=True)
        assert run.returncode in (0, 4), run.stderr.decode()
        study = json.loads((work / "s.json").read_text(encoding="utf-8"))
        jsonschema.validate(study, schema)

        def rows(name):
            with open(work / name, encoding="utf-8", newline="") as f:
                return list(csv.DictReader(f))

        outages, violations = rows("s-contingencies.csv"), rows("s-violations.csv")
        assert [o["label"] for o in outages] == [c["label"] for c in study["contingencies"]]
        for row, c in zip(outages, study["contingencies"]):
            assert row["outcome"] == c["outcome"], (row, c["outcome"])
            assert int(row["violations"]) == len(c["violations"]), row
            assert int(row["lost_nodes"]) == len(c["lost_nodes"]), row
            if c["vmin"] is not None:
                assert float(row["vmin_pu"]) == c["vmin"]["pu"], row
        expected = len(study["base"]["violations"]) + sum(len(c["violations"]) for c in study["contingencies"])
        assert len(violations) == expected, (len(violations), expected)
        kinds = {v["kind"] for c in study["contingencies"] for v in c["violations"]}
        assert "overload" in kinds or "--limits" not in args, kinds
print("ok")
