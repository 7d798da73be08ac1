"""The instance files the bench scripts run: one rule for what a folder holds."""

import os
import re

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Instances with known answers, beside the repository.
PEER = os.path.join(os.path.dirname(REPO), "shared", "bench", "peer")

INSTANCE_NAME = re.compile(r"\.(q?dimacs|cnf|qdimacs\.txt|txt|gz)$")


def instance_list(paths):
    """The files of paths (a folder gives its instances, sorted) and the known
    answers (exit codes) that a folder's answers.tsv lists, by path."""
    files, answers = [], {}
    for path in paths:
        if os.path.isdir(path):
            tsv = os.path.join(path, "answers.tsv")
            if os.path.exists(tsv):
                with open(tsv) as f:
                    for line in f:
                        parts = line.split()
                        if len(parts) >= 2 and parts[1].isdigit():
                            answers[os.path.join(path, parts[0])] = int(parts[1])
            for name in sorted(os.listdir(path)):
                full = os.path.join(path, name)
                if os.path.isfile(full) and INSTANCE_NAME.search(name) and not name.startswith("LICENSE"):
                    files.append(full)
        else:
            files.append(path)
    return files, answers
